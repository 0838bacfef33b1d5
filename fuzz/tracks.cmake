# libFuzzer harness for the cue sheet reader; seeds: tests/data/cuesheet/.
jkt_add_fuzzer(cuesheet fuzz_cuesheet.cpp)
