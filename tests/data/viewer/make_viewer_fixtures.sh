#!/usr/bin/env bash
# Pictures for the image viewer's tests, written by the field's own tools:
# giflib's gifbuild for an animation whose frames carry chosen delays (one
# frame without a graphic control extension), ImageMagick for an animation
# that is then cut short inside its last frame.
set -euo pipefail
cd "$(dirname "$0")"
IM=/usr/bin/convert
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

{
  echo "screen width 4"; echo "screen height 2"; echo "screen colors 4"; echo "screen background 0"
  echo "screen map"
  echo "  rgb 255 255 255 is W"; echo "  rgb 255 000 000 is R"
  echo "  rgb 000 160 000 is G"; echo "  rgb 000 000 255 is B"
  echo "end"
  frame() {  # delay (empty: no control block), pixel letter
    if [ -n "$1" ]; then
      echo "graphics control"; echo "  disposal mode 1"; echo "  delay $1"; echo "  transparent index -1"; echo "end"
    fi
    echo "image # $3"; echo "image left 0"; echo "image top 0"; echo "image bits 4 by 2"
    echo "$2$2$2$2"; echo "$2$2$2$2"
  }
  frame 0 R 1
  frame 5 G 2
  frame 1500 B 3
  frame "" R 4
} > "$tmp/times.txt"
gifbuild "$tmp/times.txt" > frame_times.gif

# Two tiny frames on a logical screen of 12000 × 8000.
{
  echo "screen width 12000"; echo "screen height 8000"; echo "screen colors 2"; echo "screen background 0"
  echo "screen map"; echo "  rgb 255 255 255 is W"; echo "  rgb 255 000 000 is R"; echo "end"
  for n in 1 2; do
    echo "graphics control"; echo "  disposal mode 1"; echo "  delay 10"; echo "  transparent index -1"; echo "end"
    echo "image # $n"; echo "image left 0"; echo "image top 0"; echo "image bits 2 by 1"; echo "RW"
  done
} > "$tmp/huge.txt"
gifbuild "$tmp/huge.txt" > huge_screen.gif

"$IM" -size 40x30 -delay 10 xc:red xc:lime xc:blue -loop 0 "$tmp/three.gif"
size=$(stat -c %s "$tmp/three.gif")
head -c $((size - 12)) "$tmp/three.gif" > truncated_last_frame.gif
