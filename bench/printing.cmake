if(JKT_UI)
  jkt_add_bench(bench_printing printing_bench.cpp)
  target_link_libraries(bench_printing PRIVATE jacketeer_ui)
endif()
