jkt_add_bench(bench_project project_bench.cpp)
