# From a slider's release to the finished preview in the image editor, with
# the window thread's longest pause meanwhile (needs the windows).
if(JKT_UI)
  add_executable(bench_imageeditor imageeditor_bench.cpp)
  target_link_libraries(bench_imageeditor PRIVATE jacketeer_ui benchmark::benchmark)
endif()
