# libFuzzer harness for the EXIF and ICC metadata parsers; seeds: tests/data/exif/.
jkt_add_fuzzer(exif fuzz_exif.cpp)
