jkt_add_test(NAME test_own_readers_b SOURCES OwnReadersBTest.cpp OwnReadersBFiles.cpp OwnReadersBFiles.h)
