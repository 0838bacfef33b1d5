# Sourced by the benchmark scripts.
# jkt_bench_tool ROOT BUILD TARGET: builds one program of the build tree BUILD
# (configuring it first when needed) and prints the program's path.
jkt_bench_tool() {
  local root=$1 build=$2 target=$3 tool
  if [ ! -f "$build/build.ninja" ] && [ ! -f "$build/Makefile" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >&2
  fi
  cmake --build "$build" --target "$target" >&2
  tool=$(find "$build" -name "$target" -type f -perm -u+x | head -n 1)
  [ -n "$tool" ] || { echo "$target was not built" >&2; return 1; }
  echo "$tool"
}
