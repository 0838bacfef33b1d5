jkt_add_bench(bench_cover cover_bench.cpp)
