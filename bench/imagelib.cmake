# Picture reduction and loading benchmarks.
jkt_add_bench(bench_imagelib imagelib_bench.cpp)

# Loads a list of files as thumbnails or one file as a full-size preview,
# timed by bench/thumbnails.sh against vipsthumbnail and djpeg.
add_executable(thumbnail_tool thumbnail_tool.cpp)
target_link_libraries(thumbnail_tool PRIVATE jacketeer_core)

# The thumbnail grid on a folder of photographs: first screen, all
# thumbnails, the window thread's longest gap and memory, timed by
# bench/thumbnail_grid.sh beside vipsthumbnail.
if(JKT_UI)
  add_executable(thumbnail_grid thumbnail_grid.cpp)
  target_link_libraries(thumbnail_grid PRIVATE jacketeer_ui)
endif()
