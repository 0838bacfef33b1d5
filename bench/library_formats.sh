#!/usr/bin/env bash
# Thumbnail speed of the PNG, WebP and HEIC readers against vipsthumbnail,
# on 40 generated photographs of 4000 × 3000 in each format:
#   - a 138 × 105 thumbnail of each with LoadImageFile (thumbnail_tool) and
#     with vipsthumbnail --size 138x105, in the same run, ratio per format;
#   - a full-size LoadPreviewFile of one 12-megapixel HEIC against
#     heif-convert (which decodes it to a PNG; its PNG writing is left out by
#     timing heif-convert into the cheapest format it writes, Y4M).
# HEIC files carry a 320-pixel thumbnail, as camera files do; both programs
# may use it.
# Usage: bench/library_formats.sh [build directory]   (default: build)
# The pictures are made once in $JKT_BENCH_PICTURES (default
# ${TMPDIR:-/tmp}/jkt-format-bench) and reused by later runs; JKT_BENCH_COUNT
# makes fewer of them.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
pictures=${JKT_BENCH_PICTURES:-${TMPDIR:-/tmp}/jkt-format-bench}
rounds=${JKT_BENCH_ROUNDS:-3}
count=${JKT_BENCH_COUNT:-40}

# shellcheck source=../scripts/deps.sh
source "$root/scripts/deps.sh"
jkt_install libvips-tools webp libheif-examples imagemagick
IM=/usr/bin/convert
[ -x "$IM" ] || IM=convert

# shellcheck source=build_tool.sh
source "$root/bench/build_tool.sh"
tool=$(jkt_bench_tool "$root" "$build" thumbnail_tool)

# Plasma-and-noise bases (a photograph's smooth areas and grain), each saved
# in five orientations, in all three formats.
mkdir -p "$pictures"
have=$(find "$pictures" -maxdepth 1 -name 'photo_*.heic' | wc -l)
if [ "$have" -lt "$count" ]; then
  echo "Making $count photographs of 4000x3000 as PNG, WebP and HEIC in $pictures (once)..." >&2
  n=0
  for seed in $(seq 1 $(( (count + 4) / 5 ))); do
    base="$pictures/base.ppm"
    "$IM" -seed "$seed" -size 1000x750 plasma:fractal -resize '4000x3000!' -attenuate 0.6 +noise Gaussian "$base"
    for op in "" "-flop" "-flip" "-rotate 180" "-roll +1000+700"; do
      n=$((n + 1))
      [ "$n" -le "$count" ] || break
      name="$pictures/photo_$(printf %02d $n)"
      # shellcheck disable=SC2086
      "$IM" "$base" $op "$name.ppm"
      "$IM" "$name.ppm" -quality 75 "$name.png"
      cwebp -quiet -q 85 "$name.ppm" -o "$name.webp"
      heif-enc -q 80 -t 320 -p preset=ultrafast -o "$name.heic" "$name.png" > /dev/null
      rm -f "$name.ppm"
    done
    rm -f "$base"
  done
fi

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

for ext in heic webp png; do
  mapfile -t files < <(find "$pictures" -maxdepth 1 -name "photo_*.$ext" | sort | head -n "$count")
  total=${#files[@]}
  cat "${files[@]}" > /dev/null  # both tools start from the page cache
  ours=$(best_ms "$tool" thumbs 138 105 "${files[@]}")
  vips=$(best_ms vipsthumbnail --size 138x105 -o "$out/%s.jpg" "${files[@]}")
  awk -v a="$ours" -v b="$vips" -v n="$total" -v f="$ext" 'BEGIN {
    printf "Thumbnails 138x105 of %d %s pictures 4000x3000:\n", n, toupper(f)
    printf "  LoadImageFile  %8.2f ms per picture\n", a / n
    printf "  vipsthumbnail  %8.2f ms per picture\n", b / n
    printf "  ratio (ours / vipsthumbnail) %.2f\n", a / b
  }'
done

one=$(find "$pictures" -maxdepth 1 -name 'photo_*.heic' | sort | head -n 1)
inside=$("$tool" preview "$rounds" "$one" | awk '{print $(NF - 1)}')
process=$(best_ms "$tool" preview 1 "$one")
heif_ms=$(best_ms heif-convert "$one" "$out/full.y4m")
awk -v a="$inside" -v p="$process" -v b="$heif_ms" 'BEGIN {
  printf "Full-size decode of one 4000x3000 HEIC:\n"
  printf "  LoadPreviewFile %8.1f ms (whole tool process %d ms)\n", a, p
  printf "  heif-convert    %8d ms (whole process, to Y4M)\n", b
  printf "  ratio (ours / heif-convert) %.2f, with our process start-up %.2f\n", a / b, p / b
}'
