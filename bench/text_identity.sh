#!/usr/bin/env bash
# Text and track-list covers exported by two programs must match pixel for
# pixel: a change meant to make text rendering faster must not change what it
# draws. Writes projects covering smoothing, shadow, font styles, box shapes,
# several faces, long texts and track lists in every alignment, exports each
# with both programs (--export-png, which renders every layer at print size)
# and compares the PNGs byte for byte.
# Usage: bench/text_identity.sh REFERENCE_PROGRAM [PROGRAM]   (default: build/jacketeer)
# The reference is a build of an earlier commit.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
reference=${1:?usage: text_identity.sh REFERENCE_PROGRAM [PROGRAM]}
program=${2:-$root/build/jacketeer}
work=$(mktemp -d)
# KEEP=1 keeps the projects and pictures and names their folder.
if [ -n "${KEEP:-}" ]; then echo "work folder $work"; else trap 'rm -rf "$work"' EXIT; fi
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$work}

# project NAME: the INI text on stdin becomes a project without pictures.
project() {
  local ini=$work/$1.ini
  sed 's/$/\r/' > "$ini"
  local size
  size=$(stat -c %s "$ini")
  { cat "$ini"; perl -e 'print pack("q<q<", 0, $ARGV[0])' "$size"; } > "$work/$1.jkp"
}

# Layer sections: text layers over every combination of smoothing, shadow and
# four style sets, in the box given, cycling through faces and texts.
text_layers() {
  local w=$1 h=$2 n=0
  local faces=("DejaVu Sans" "DejaVu Serif" "Times New Roman" "DejaVu Sans Mono")
  local texts=("Layer 12" "Wide text in a narrow box Wg" "Äöü ßé € Ω" "1999" "12:34" "fj,Qy!")
  local styles=("" "fsBold" "fsItalicfsUnderline" "fsBoldfsItalicfsStrikeOut")
  for smooth in 0 1; do
    for shadow in 0 1; do
      for st in "${styles[@]}"; do
        n=$((n + 1))
        printf '[Layer%d]\nLeft=%d\nTop=%d\nText=%s\nFontName=%s\nColor=%d\nFontStyles=%s\nShadow=%d\nSmooth=%d\n' \
          "$n" $(((n * 61) % 400 - 20)) $(((n * 97) % 430 - 10)) "${texts[n % 6]}" "${faces[n % 4]}" \
          $(((n * 1237711) % 16777216)) "$st" "$shadow" "$smooth"
        printf 'LineSpace=0\nBoundWidth=%d\nBoundHeight=%d\n' "$w" "$h"
      done
    done
  done
}

head_ini() {
  printf '[Common]\nLayerNumber=%d\n[Layer0]\nFileName=\nImageMode=Center\nStartColor=16777215\nEndColor=-1\n' "$1"
  printf 'Vertical=1\nShowImage=0\n'
}

for box in "120 40" "200 100" "60 200" "470 470" "470 12" "10 10" "333 77"; do
  read -r w h <<< "$box"
  { head_ini 17; text_layers "$w" "$h"; } | project "text_${w}x$h"
done

# Track lists: 1, 3 and 12 lines, each alignment, smoothing and shadow.
hex() { printf '%s\r\n' "$@" | od -An -tx1 -v | tr -d ' \n' | tr a-f A-F; }
{
  head_ini 37
  n=0
  for lines in 1 3 12; do
    list=()
    for ((i = 1; i <= lines; i++)); do list+=("Track number $i of the disc|||$((i * 7 % 10)):$((10 + i * 13 % 50))"); done
    for al in LeftJustify RightJustify Center; do
      for mode in "0 0" "1 0" "0 1" "1 1"; do
        read -r smooth shadow <<< "$mode"
        n=$((n + 1))
        printf '[Layer%d]\nLeft=%d\nTop=%d\nTracks=%s\nFontName=DejaVu Sans\nColor=%d\nFontStyles=%s\n' \
          "$n" $(((n * 37) % 300)) $(((n * 53) % 300)) "$(hex "${list[@]}")" $(((n * 7919) % 16777216)) \
          "$([ $((n % 3)) = 0 ] && echo fsBold)"
        printf 'Shadow=%d\nSmooth=%d\nLineSpace=%d\nBoundWidth=%d\nBoundHeight=%d\nAlignment=%s\n' \
          "$shadow" "$smooth" "$n" $((100 + n * 15)) $((60 + n * 12)) "$al"
      done
    done
  done
} | project tracks

# Texts that come back in one face and box, where glyphs drawn once are
# reused: digits in several places, letters that kern or lean into each other.
{
  head_ini 81
  texts=("Layer 7" "Layer 17" "Layer 71" "AVAV Ty" "1999" "Layer 1999")
  for ((n = 1; n <= 80; n++)); do
    printf '[Layer%d]\nLeft=%d\nTop=%d\nText=%s\nFontName=%s\nColor=%d\nFontStyles=%s\nShadow=%d\n' \
      "$n" $(((n * 37) % 400)) $(((n * 53) % 440)) "${texts[n % 6]}" \
      "$([ $(((n / 40) % 2)) = 0 ] && echo DejaVu Sans || echo DejaVu Serif)" $(((n * 7919) % 16777216)) \
      "$([ $(((n / 20) % 2)) = 0 ] || echo fsItalic)" $((n % 2))
    printf 'Smooth=%d\nLineSpace=0\nBoundWidth=%d\nBoundHeight=%d\n' $(((n / 10) % 2)) 150 $((n % 3 == 0 ? 90 : 50))
  done
} | project repeat

# A long text: the width search and the visible part of a wide canvas.
long=$(for ((i = 0; i < 3000; i++)); do printf 'word%d ' "$i"; done)
{
  head_ini 3
  printf '[Layer1]\nLeft=0\nTop=0\nText=%s\nFontName=DejaVu Sans\nColor=255\nFontStyles=\nShadow=1\nSmooth=1\n' "$long"
  printf 'LineSpace=0\nBoundWidth=470\nBoundHeight=200\n'
  printf '[Layer2]\nLeft=0\nTop=250\nText=%s\nFontName=DejaVu Serif\nColor=0\nFontStyles=fsItalic\nShadow=0\n' "$long"
  printf 'Smooth=0\nLineSpace=0\nBoundWidth=470\nBoundHeight=40\n'
} | project long

status=0
count=0
for p in "$work"/*.jkp; do
  name=$(basename "$p" .jkp)
  "$reference" --export-png "$p" "$work/$name.ref.png"
  "$program" --export-png "$p" "$work/$name.new.png"
  count=$((count + 1))
  if cmp -s "$work/$name.ref.png" "$work/$name.new.png"; then
    echo "same      $name"
  else
    echo "DIFFERENT $name"
    status=1
  fi
done
echo "$count covers compared"
exit $status
