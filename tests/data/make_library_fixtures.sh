#!/usr/bin/env bash
# Writes the fixtures named lib_* in png/, webp/, heif/, avif/ and jxl/
# beside this script with each format's own encoder (ImageMagick and ffmpeg
# for PNG, cwebp and img2webp, heif-enc, avifenc, cjxl), and next to each one
# its reference: the picture as the format's own decoder reads it (pngtopam,
# dwebp, heif-convert, avifdec, djxl), as an 8-bit PAM file named
# <fixture>.ref.pam (with alpha when the picture has some). The tests compare
# the readers with these references, so they need none of these tools.
#
#   tests/data/make_library_fixtures.sh
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/deps.sh"
jkt_install imagemagick netpbm webp libheif-examples libavif-bin libjxl-tools ffmpeg
IM=/usr/bin/convert
[ -x "$IM" ] || IM=convert
export MAGICK_TIME=0 SOURCE_DATE_EPOCH=0

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# ---- Sources, 64 × 48: a smooth photograph-like picture (a fixed plasma),
# with sharp edges added so a turned or mirrored picture is caught; an RGBA
# version with opaque, half and fully transparent parts; a grey one.
W=64 H=48
"$IM" -size ${W}x${H} -seed 7 plasma:steelblue-orange -blur 0x1 \
  -fill '#c01010' -draw 'rectangle 2,2 20,10' -fill '#10a020' -draw 'circle 50,36 56,40' \
  -depth 8 "$tmp/rgb.png"
"$IM" "$tmp/rgb.png" \( -size ${W}x${H} gradient:white-black -fill black -draw 'rectangle 0,0 15,47' \
  -fill '#808080' -draw 'rectangle 16,0 31,23' \) -alpha off -compose CopyOpacity -composite \
  -depth 8 "$tmp/rgba.png"
"$IM" "$tmp/rgb.png" -colorspace Gray -depth 8 "$tmp/grey.png"
"$IM" "$tmp/rgb.png" "$tmp/rgb.ppm"
"$IM" "$tmp/rgb.png" -rotate 90 -depth 8 "$tmp/rgb_second.png"  # another picture for a second frame
"$IM" "$tmp/rgb_second.png" -resize ${W}x${H}\! -depth 8 "$tmp/rgb_second.png"

for d in png webp heif avif jxl; do
  mkdir -p "$here/$d"
  rm -f "$here/$d"/lib_*
done
cd "$here"

# ref_pam FIXTURE: a PNG written by the format's own decoder, as 8-bit PAM
# (alpha kept when there is any).
ref_pam() { pngtopam -alphapam "$2" 2>/dev/null > "$1.ref.pam" || pngtopam "$2" > "$1.ref.pam"; }

# ---- PNG: every colour type, low and high depths, palette transparency,
# interlacing, and an animation (its default image is its first frame).
"$IM" "$tmp/rgb.png" PNG24:png/lib_im_rgb8.png
"$IM" "$tmp/rgb.png" -colors 16 PNG8:png/lib_im_palette.png
"$IM" "$tmp/rgba.png" -channel A -threshold 50% +channel -colors 16 PNG8:png/lib_im_palette_trns.png
"$IM" "$tmp/grey.png" -depth 4 -define png:color-type=0 png/lib_im_grey4.png
"$IM" "$tmp/grey.png" -monochrome -define png:color-type=0 -define png:bit-depth=1 png/lib_im_grey1.png
"$IM" "$tmp/rgb.png" -depth 16 PNG48:png/lib_im_rgb16.png
"$IM" "$tmp/rgba.png" -depth 16 PNG64:png/lib_im_rgba16.png
"$IM" "$tmp/rgba.png" PNG32:png/lib_im_rgba8.png
"$IM" "$tmp/rgba.png" -colorspace Gray -define png:color-type=4 png/lib_im_grey_alpha.png
"$IM" "$tmp/rgb.png" -interlace PNG PNG24:png/lib_im_interlaced.png
ffmpeg -loglevel error -y -i "$tmp/rgb.png" -i "$tmp/rgb_second.png" \
  -filter_complex "[0][1]concat=n=2:v=1" -plays 0 -f apng png/lib_ffmpeg_anim.png
for f in png/lib_*.png; do
  # 16-bit samples: netpbm's pamdepth rounds, as this reader does.
  pngtopam -alphapam "$f" | pamdepth 255 > "$f.ref.pam"
done

# ---- WebP: lossless (exact), lossy, with alpha, and an animation.
cwebp -quiet -lossless -exact "$tmp/rgb.png" -o webp/lib_cwebp_lossless.webp
cwebp -quiet -q 90 "$tmp/rgb.png" -o webp/lib_cwebp_lossy.webp
cwebp -quiet -lossless -exact "$tmp/rgba.png" -o webp/lib_cwebp_alpha_lossless.webp
cwebp -quiet -q 90 -alpha_q 100 -exact "$tmp/rgba.png" -o webp/lib_cwebp_alpha_lossy.webp
for f in webp/lib_cwebp_*.webp; do dwebp -quiet "$f" -pam -o "$f.ref.pam"; done
img2webp -lossless "$tmp/rgb.png" -d 100 "$tmp/rgb_second.png" -o webp/lib_img2webp_anim.webp
dwebp -quiet webp/lib_cwebp_lossless.webp -pam -o webp/lib_img2webp_anim.webp.ref.pam

# ---- HEIC (HEVC): lossy, with alpha, with a thumbnail for reduced decoding.
heif-enc -q 90 -o heif/lib_heifenc.heic "$tmp/rgb.png" >/dev/null
heif-enc -q 90 -o heif/lib_heifenc_alpha.heic "$tmp/rgba.png" >/dev/null
heif-enc -q 90 -t 32 -o heif/lib_heifenc_thumb.heif "$tmp/rgb.png" >/dev/null
for f in heif/lib_*; do
  case $f in *.ref.pam) continue ;; esac
  heif-convert "$f" "$tmp/out.png" >/dev/null
  pngtopam -alphapam "$tmp/out.png" > "$f.ref.pam"
done

# ---- AVIF (AV1): lossless (exact), lossy, with alpha, and turned a
# quarter anti-clockwise by its irot property. avifdec writes the stored
# picture; the turn is applied to its output by ImageMagick.
avifenc -l "$tmp/rgb.png" avif/lib_avifenc_lossless.avif >/dev/null
avifenc --min 10 --max 10 "$tmp/rgb.png" avif/lib_avifenc_lossy.avif >/dev/null
avifenc -l "$tmp/rgba.png" avif/lib_avifenc_alpha_lossless.avif >/dev/null
avifenc -l --irot 1 "$tmp/rgb.png" avif/lib_avifenc_irot1.avif >/dev/null
for f in avif/lib_avifenc_*.avif; do
  avifdec "$f" "$tmp/out.png" >/dev/null
  case $f in
    *irot1*) "$IM" "$tmp/out.png" -rotate -90 "$tmp/out.png" ;;
  esac
  pngtopam -alphapam "$tmp/out.png" > "$f.ref.pam"
done

# ---- JPEG XL: lossless (exact), lossy, progressive, with alpha, grey.
cjxl --quiet -d 0 "$tmp/rgb.png" jxl/lib_cjxl_lossless.jxl 2>/dev/null
cjxl --quiet -d 1 "$tmp/rgb.png" jxl/lib_cjxl_lossy.jxl 2>/dev/null
cjxl --quiet -d 1 -p "$tmp/rgb.png" jxl/lib_cjxl_progressive.jxl 2>/dev/null
cjxl --quiet -d 0 "$tmp/rgba.png" jxl/lib_cjxl_alpha_lossless.jxl 2>/dev/null
cjxl --quiet -d 0 "$tmp/grey.png" jxl/lib_cjxl_grey.jxl 2>/dev/null
for f in jxl/lib_cjxl_*.jxl; do
  djxl "$f" "$tmp/out.png" --bits_per_sample=8 >/dev/null 2>&1 || djxl "$f" "$tmp/out.png" >/dev/null 2>&1
  pngtopam -alphapam "$tmp/out.png" | pamdepth 255 > "$f.ref.pam"
done
ls -l png webp heif avif jxl | awk '{ s += $5 } END { print "fixtures: " s " bytes" }'
