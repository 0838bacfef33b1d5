jkt_add_bench(bench_tracks tracks_bench.cpp)
target_compile_definitions(bench_tracks PRIVATE JKT_TEST_DATA="${CMAKE_SOURCE_DIR}/tests/data")
