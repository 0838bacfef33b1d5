# The thumbnail of a 20-layer project, run as file managers run it
# (bench/thumbnail_project.sh); this tool writes the project.
jkt_add_bench(make_thumbnail_project make_thumbnail_project.cpp)
