# libFuzzer harness for opening project files; seeds: tests/data/project/.
jkt_add_fuzzer(project fuzz_project.cpp)
