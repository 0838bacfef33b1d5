jkt_add_test(NAME test_library_readers SOURCES
  LibraryReaderSupport.h
  JpegReaderTest.cpp
  GifReaderTest.cpp
  TiffReaderTest.cpp
  MetafileReaderTest.cpp
  LibraryFormatReaderTest.cpp)
