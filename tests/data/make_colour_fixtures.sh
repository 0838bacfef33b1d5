#!/usr/bin/env bash
# Writes the fixtures in tests/data/colour/ with the field's own tools and,
# beside each, the picture as ImageMagick itself shows it (PPM, laid on white
# where transparent):
#   orient_N.jpg / orient_N.tif   a 48 × 32 picture stored with EXIF / TIFF
#                                 orientation N (1 … 8); reference made with
#                                 convert -auto-orient
#   orient_N.png / orient_N.webp  the JPEG's pixels, lossless, with the EXIF
#                                 orientation as exiv2 stores it in PNG (a
#                                 "Raw profile type exif" text chunk) and as
#                                 cwebp carries it over (an EXIF chunk); the
#                                 JPEG's reference serves
#   adobe_rgb.jpg                 a photograph in Adobe RGB (1998) with its
#                                 profile embedded; reference converted to
#                                 sRGB with convert -profile sRGB.icc
#   grey_lstar.jpg                a grey ramp whose values are CIE L*, with its
#                                 profile; reference converted to sRGB
#   half_alpha.tif                64 × 32, the right half fully transparent
#
#   tests/data/make_colour_fixtures.sh
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/deps.sh"
jkt_install imagemagick exiv2 icc-profiles-free webp
IM=/usr/bin/convert
export MAGICK_TIME=0 SOURCE_DATE_EPOCH=0
out="$here/colour"
mkdir -p "$out"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
icc=/usr/share/color/icc

# An asymmetric source: a gradient with a yellow block near the top-left
# corner and a green one at the bottom edge, so every turn and mirror shows.
"$IM" -size 48x32 gradient:red-blue \
  -fill yellow -draw "rectangle 2,2 17,9" -fill lime -draw "rectangle 30,26 45,31" "$tmp/src.png"
names=(TopLeft TopRight BottomRight BottomLeft LeftTop RightTop RightBottom LeftBottom)
for n in 1 2 3 4 5 6 7 8; do
  "$IM" "$tmp/src.png" -quality 95 "$out/orient_$n.jpg"
  exiv2 -q -M"set Exif.Image.Orientation Short $n" "$out/orient_$n.jpg"
  "$IM" "$tmp/src.png" -orient "${names[$((n - 1))]}" -depth 8 -compress lzw "$out/orient_$n.tif"
  for f in "orient_$n.jpg" "orient_$n.tif"; do
    "$IM" "$out/$f" -auto-orient -depth 8 "$out/$f.ref.ppm"
  done
  "$IM" "$out/orient_$n.jpg" -strip "$out/orient_$n.png"
  exiv2 -q -M"set Exif.Image.Orientation Short $n" "$out/orient_$n.png"
  cwebp -quiet -lossless -metadata exif "$out/orient_$n.png" -o "$out/orient_$n.webp"
done

# A photograph-like picture in Adobe RGB: sRGB pixels converted into the
# wider space, the profile embedded.
"$IM" -seed 7 -size 160x120 plasma:red-green -blur 0x1 -profile "$icc/sRGB.icc" \
  -profile "$icc/compatibleWithAdobeRGB1998.icc" -quality 95 "$out/adobe_rgb.jpg"
"$IM" "$out/adobe_rgb.jpg" -profile "$icc/sRGB.icc" -depth 8 "$out/adobe_rgb.jpg.ref.ppm"

# A greyscale picture whose grey values are CIE L* (its profile says so).
"$IM" -size 32x16 gradient:black-white -colorspace Gray -depth 8 "$tmp/grey.png"
"$IM" "$tmp/grey.png" -profile "$icc/Gray-CIE_L.icc" -quality 95 "$out/grey_lstar.jpg"
"$IM" "$out/grey_lstar.jpg" -profile "$icc/sRGB.icc" -depth 8 "$out/grey_lstar.jpg.ref.ppm"

# Transparency: left half opaque orange, right half fully transparent.
"$IM" -size 64x32 xc:orange -alpha set -region 32x32+32+0 -alpha transparent +region \
  -depth 8 -compress lzw "$out/half_alpha.tif"
"$IM" "$out/half_alpha.tif" -background white -flatten -depth 8 "$out/half_alpha.tif.ref.ppm"
