# The image viewer's preview of one picture: first band and whole preview,
# timed by bench/viewer_preview.sh beside djpeg.
add_executable(viewer_preview viewer_preview.cpp)
target_link_libraries(viewer_preview PRIVATE jacketeer_core)
