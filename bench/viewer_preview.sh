#!/usr/bin/env bash
# The image viewer's preview of a 6000 × 4000 JPEG (quality 90), first band
# and whole preview fitted into 500 × 400, beside djpeg decoding the same
# file in the same run; prints the ratio whole preview / djpeg.
# Usage: bench/viewer_preview.sh [build directory]   (default: build)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
rounds=${JKT_BENCH_ROUNDS:-5}
# shellcheck source=../scripts/deps.sh
source "$root/scripts/deps.sh"
command -v djpeg > /dev/null || jkt_install libjpeg-turbo-progs
[ -x /usr/bin/convert ] || jkt_install imagemagick
# shellcheck source=build_tool.sh
source "$root/bench/build_tool.sh"
tool=$(jkt_bench_tool "$root" "$build" viewer_preview)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
photo="$work/photo_6000x4000.jpg"
/usr/bin/convert -seed 4 -size 1500x1000 plasma:fractal -resize '6000x4000!' \
  -attenuate 0.6 +noise Gaussian -quality 90 "$photo"

djpeg_ms=$(best_ms djpeg -ppm -outfile /dev/null "$photo")
read -r first whole < <("$tool" "$photo" 500 400 "$rounds" | awk '{v[$1]=$2} END {print v["first_band_ms"], v["whole_preview_ms"]}')
echo "6000x4000 JPEG, $(du -k "$photo" | cut -f1) KB, best of $rounds"
echo "  djpeg -ppm (full decode)      ${djpeg_ms} ms"
echo "  viewer first band             ${first} ms"
echo "  viewer whole preview 500x400  ${whole} ms"
awk -v a="$whole" -v b="$djpeg_ms" 'BEGIN { printf "  ratio whole preview / djpeg   %.2f (aim: 1.20 or less)\n", a / b }'
