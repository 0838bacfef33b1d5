#!/usr/bin/env bash
# Large and hostile projects exported with the real program, one at a time:
# wall time, CPU time and peak memory (/usr/bin/time), and what the opening
# wrote into the work folder (bench_hostile's WorkMB). The 100 layers of
# 4096 x 4096 boxes also run under a 3 GB address-space limit.
# Usage: bench/hostile.sh [build directory] [program]   (default: build, build/jacketeer)
# A second program (for example a build of an older commit) is measured the
# same way when given.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
program=${2:-$build/jacketeer}
if [ ! -f "$build/build.ninja" ] && [ ! -f "$build/Makefile" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$build" --target hostile_projects bench_hostile jacketeer
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/bench/hostile_projects" "$work" 2> /dev/null
export QT_QPA_PLATFORM=offscreen

printf '%-12s %8s %8s %10s %s\n' project wall_s cpu_s peak_MB exit
for p in text125 text250 text500 text999 pictures50 pictures100 pictures200 pictures400 gif20 boxes100; do
  limit=unlimited
  [ "$p" = boxes100 ] && limit=3000000
  out=$( (ulimit -v "$limit"; /usr/bin/time -f '%e %U %S %M %x' "$program" --export-png "$work/$p.jkp" \
          "$work/$p.png" 2>&1 >/dev/null) || true)
  read -r wall user sys peak code <<< "$(tail -n 1 <<< "$out")"
  # A process ended by a signal is reported as such, not by its exit code.
  sig=$(grep -o 'terminated by signal [0-9]*' <<< "$out" || true)
  printf '%-12s %8s %8.2f %10d %s\n' "$p" "$wall" "$(awk "BEGIN { print $user + $sys }")" "$((peak / 1024))" \
    "${sig:-$code}"
done
"$build/bench/bench_hostile" --benchmark_counters_tabular=true
