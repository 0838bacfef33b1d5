#!/usr/bin/env bash
# The thumbnail of a project as a file manager asks for it:
#   jacketeer --thumbnail 256 twenty.jkp out.png
# on a project of 20 layers, five of them pictures made from 12 MP (4000 × 3000)
# JPEG photographs, measured with GNU time -v: wall-clock time, processor time and
# peak memory (maximum resident set size) of each run, against the aims of a
# background job: 2 s and 512 MB.
# Usage: bench/thumbnail_project.sh [build directory]   (default: build)
# The project is made once in $JKT_BENCH_PROJECT (default
# ${TMPDIR:-/tmp}/jkt-thumbnail-project) and reused by later runs.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
work=${JKT_BENCH_PROJECT:-${TMPDIR:-/tmp}/jkt-thumbnail-project}
rounds=${JKT_BENCH_ROUNDS:-5}

# shellcheck source=../scripts/deps.sh
source "$root/scripts/deps.sh"
jkt_install time

if [ ! -f "$build/build.ninja" ] && [ ! -f "$build/Makefile" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$build" --target jacketeer make_thumbnail_project > /dev/null
if [ ! -f "$work/twenty.jkp" ]; then
  echo "Making the project of 20 layers in $work (once)..."
  "$build/bench/make_thumbnail_project" "$work"
fi
echo "project: $(du -m "$work/twenty.jkp" | cut -f1) MB, machine load: $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) cores"

printf '%-6s %10s %12s %12s\n' round "wall s" "cpu s" "peak MB"
results=()
for i in $(seq "$rounds"); do
  rm -f "$work/out.png"
  /usr/bin/time -v "$build/jacketeer" --thumbnail 256 "$work/twenty.jkp" "$work/out.png" 2> "$work/time.txt" ||
    { cat "$work/time.txt"; exit 1; }
  line=$(awk -F': ' '
    /Elapsed \(wall clock\)/ { n = split($2, t, ":"); wall = (n == 3) ? t[1] * 3600 + t[2] * 60 + t[3] : t[1] * 60 + t[2] }
    /User time/ { user = $2 } /System time/ { sys = $2 }
    /Maximum resident set size/ { rss = $2 / 1024 }
    END { printf "%.2f %.2f %.1f", wall, user + sys, rss }' "$work/time.txt")
  results+=("$line")
  # shellcheck disable=SC2086
  printf '%-6s %10s %12s %12s\n' "$i" $line
done
file "$work/out.png" | grep -q 'PNG image data, 256 x 256' || { echo "out.png is not a 256 x 256 PNG" >&2; exit 1; }

printf '%s\n' "${results[@]}" | sort -n -k1 | awk -v n="$rounds" '
  { wall[NR] = $1; cpu += $2; if ($3 > peak) peak = $3 }
  END {
    med = wall[int((n + 1) / 2)]
    printf "median wall %.2f s (aim 2 s: %.0f %%), mean cpu %.2f s (%.0f %%), peak %.1f MB (aim 512 MB: %.0f %%)\n",
      med, med / 2 * 100, cpu / n, cpu / n / 2 * 100, peak, peak / 512 * 100
  }'
