jkt_add_bench(bench_undo undo_bench.cpp)
