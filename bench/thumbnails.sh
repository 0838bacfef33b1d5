#!/usr/bin/env bash
# Thumbnail and preview speed against common tools, on 40 generated
# photographs of 4000 × 3000 (JPEG quality 90):
#   - a 138 × 105 thumbnail of each with LoadImageFile (thumbnail_tool) and
#     with vipsthumbnail --size 138x105, in the same run, with the ratio;
#   - a full-size LoadPreviewFile of one picture against djpeg -ppm.
# Usage: bench/thumbnails.sh [build directory]   (default: build)
# The pictures are made once in $JKT_BENCH_PICTURES (default
# ${TMPDIR:-/tmp}/jkt-thumbnail-bench) and reused by later runs.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
pictures=${JKT_BENCH_PICTURES:-${TMPDIR:-/tmp}/jkt-thumbnail-bench}
rounds=${JKT_BENCH_ROUNDS:-3}

# shellcheck source=../scripts/deps.sh
source "$root/scripts/deps.sh"
jkt_install libvips-tools libjpeg-turbo-progs
command -v convert > /dev/null || jkt_install imagemagick

# shellcheck source=build_tool.sh
source "$root/bench/build_tool.sh"
tool=$(jkt_bench_tool "$root" "$build" thumbnail_tool)

# Eight plasma-and-noise bases, each saved in five orientations.
mkdir -p "$pictures"
count=$(find "$pictures" -maxdepth 1 -name 'photo_*.jpg' | wc -l)
if [ "$count" -lt 40 ]; then
  echo "Making 40 photographs of 4000x3000 in $pictures (once)..."
  n=0
  for seed in 1 2 3 4 5 6 7 8; do
    base="$pictures/base.miff"
    convert -seed "$seed" -size 1000x750 plasma:fractal -resize '4000x3000!' \
      -attenuate 0.6 +noise Gaussian "$base"
    for op in "" "-flop" "-flip" "-rotate 180" "-roll +1000+700"; do
      n=$((n + 1))
      # shellcheck disable=SC2086
      convert "$base" $op -quality 90 "$pictures/photo_$(printf %02d $n).jpg"
    done
    rm -f "$base"
  done
fi
mapfile -t files < <(find "$pictures" -maxdepth 1 -name 'photo_*.jpg' | sort | head -n 40)
total=${#files[@]}

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

cat "${files[@]}" > /dev/null  # both tools start from the page cache
ours=$(best_ms "$tool" thumbs 138 105 "${files[@]}")
vips=$(best_ms vipsthumbnail --size 138x105 -o "$out/%s.jpg" "${files[@]}")
awk -v a="$ours" -v b="$vips" -v n="$total" 'BEGIN {
  printf "Thumbnails 138x105 of %d pictures 4000x3000:\n", n
  printf "  LoadImageFile  %8.2f ms per picture\n", a / n
  printf "  vipsthumbnail  %8.2f ms per picture\n", b / n
  printf "  ratio (ours / vipsthumbnail) %.2f\n", a / b
}'

one=${files[0]}
# The loader's own time (inside the tool, best of the rounds), and the whole
# tool process, which also pays for loading its shared libraries.
inside=$("$tool" preview "$rounds" "$one" | awk '{print $(NF - 1)}')
process=$(best_ms "$tool" preview 1 "$one")
djpeg_ms=$(best_ms djpeg -ppm -outfile /dev/null "$one")
awk -v a="$inside" -v p="$process" -v b="$djpeg_ms" 'BEGIN {
  printf "Full-size preview of one 4000x3000 JPEG:\n"
  printf "  LoadPreviewFile %8.1f ms (whole tool process %d ms)\n", a, p
  printf "  djpeg -ppm      %8d ms (whole process)\n", b
  printf "  ratio (ours / djpeg) %.2f, with our process start-up %.2f\n", a / b, p / b
}'
