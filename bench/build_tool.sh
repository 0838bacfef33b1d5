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

# best_ms COMMAND...: the best wall time in ms over $rounds runs of a command
# (rounds is set by the script that sources this file).
best_ms() {
  local best="" t0 t1 ms
  for _ in $(seq "$rounds"); do
    t0=$(date +%s%N)
    "$@" > /dev/null
    t1=$(date +%s%N)
    ms=$(( (t1 - t0) / 1000000 ))
    if [ -z "$best" ] || [ "$ms" -lt "$best" ]; then best=$ms; fi
  done
  echo "$best"
}
