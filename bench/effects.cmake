# Speed of the image editor's effects on a 12-megapixel picture.
jkt_add_bench(bench_effects effects_bench.cpp)
