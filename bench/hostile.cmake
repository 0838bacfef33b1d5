# Large and hostile projects: hostile_projects writes them, bench/hostile.sh
# exports each with the jacketeer program (time, peak memory, work-folder
# bytes) and bench_hostile times opening them and laying out long texts.
add_executable(hostile_projects hostile_projects.cpp)
target_link_libraries(hostile_projects PRIVATE jacketeer_core)
jkt_add_bench(bench_hostile hostile_bench.cpp)
