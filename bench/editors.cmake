# Keystroke-to-cover time of the live-preview editors (needs the windows).
if(JKT_UI)
  find_package(Qt6 REQUIRED COMPONENTS Test)
  add_executable(bench_editors editors_bench.cpp)
  target_link_libraries(bench_editors PRIVATE jacketeer_ui benchmark::benchmark Qt6::Test)
endif()
