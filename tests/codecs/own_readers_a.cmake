jkt_add_test(NAME test_own_readers_a SOURCES
  OwnReadersAUtil.h
  BmpIconReaderTest.cpp
  TargaPcxReaderTest.cpp
  PsdPnmReaderTest.cpp)
