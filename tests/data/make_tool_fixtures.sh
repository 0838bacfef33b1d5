#!/usr/bin/env bash
# Writes the fixtures named tool_* in the format folders beside this script
# with the field's own tools (ImageMagick, netpbm, libtiff's tools, giflib's
# tools, libjpeg's cjpeg), and next to each one its reference: the picture as
# the tool itself (or its companion reader) decodes it, as an 8-bit PAM file
# named <fixture>.ref.pam. The tests load every fixture through
# LoadImageFile and compare it with its reference, so they need none of
# these tools.
#
#   tests/data/make_tool_fixtures.sh
#
# No tool of Debian writes Wavefront RLA, Autodesk Animator PIC/CEL or
# Dr. Halo CUT (ImageMagick only reads them), so those readers keep their
# hand-made fixtures. ImageMagick writes Photo CD, but with a colour
# conversion of its own that does not even give back its own pictures
# (grey 128 returns as 141); Kodak's conversion, which this reader follows,
# is checked by the hand-made fixture.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/deps.sh"
jkt_install imagemagick netpbm libtiff-tools giflib-tools libjpeg-turbo-progs
# Some systems put a wrapper named convert ahead of ImageMagick's own.
IM=/usr/bin/convert
[ -x "$IM" ] || IM=convert
export MAGICK_TIME=0 SOURCE_DATE_EPOCH=0  # no time stamps in the files

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# ---- The source pictures: 23 × 13 (odd sizes, so rows need padding), no
# symmetry, so a picture turned over or mirrored is caught.
W=23 H=13
awk -v W=$W -v H=$H 'BEGIN { print "P3"; print W, H; print 255
  for (y = 0; y < H; y++) for (x = 0; x < W; x++)
    printf "%d %d %d\n", (x * 11) % 256, (y * 19) % 256, (x * y * 3 + 40) % 256 }' > "$tmp/rgb.ppm"
# Sixteen colours, diagonal bands.
awk -v W=$W -v H=$H 'BEGIN { split("0 0 0 255 255 255 255 0 0 0 255 0 0 0 255 255 255 0 0 255 255 " \
  "255 0 255 128 0 0 0 128 0 0 0 128 128 128 0 0 128 128 128 0 128 192 192 192 128 128 128 " \
  "255 128 0", c, " "); print "P3"; print W, H; print 255
  for (y = 0; y < H; y++) for (x = 0; x < W; x++) { i = (x + 3 * y) % 16
    printf "%d %d %d\n", c[3 * i + 1], c[3 * i + 2], c[3 * i + 3] } }' > "$tmp/pal16.ppm"
awk -v W=$W -v H=$H 'BEGIN { print "P2"; print W, H; print 255
  for (y = 0; y < H; y++) for (x = 0; x < W; x++) printf "%d\n", (x * 11 + y * 7) % 256 }' > "$tmp/grey.pgm"
awk -v W=$W -v H=$H 'BEGIN { print "P1"; print W, H
  for (y = 0; y < H; y++) for (x = 0; x < W; x++) printf "%d\n", (x * x + y) % 3 == 0 }' > "$tmp/mono.pbm"
# 16 bits a sample; levels that differ in the low byte.
awk -v W=$W -v H=$H 'BEGIN { print "P3"; print W, H; print 65535
  for (y = 0; y < H; y++) for (x = 0; x < W; x++)
    printf "%d %d %d\n", (x * 2851) % 65536, (y * 5039 + 77) % 65536, ((x + y) * 1423 + 300) % 65536 }' \
  > "$tmp/rgb16.ppm"
awk -v W=$W -v H=$H 'BEGIN { print "P2"; print W, H; print 65535
  for (y = 0; y < H; y++) for (x = 0; x < W; x++) printf "%d\n", (x * 2851 + y * 1009) % 65536 }' \
  > "$tmp/grey16.pgm"
# Colour with alpha: opaque, half and fully transparent pixels.
awk -v W=$W -v H=$H 'BEGIN { print "P7"; print "WIDTH", W; print "HEIGHT", H; print "DEPTH 4"
  print "MAXVAL 255"; print "TUPLTYPE RGB_ALPHA"; print "ENDHDR" }' > "$tmp/rgba.hdr"
awk -v W=$W -v H=$H 'BEGIN { split("255 128 0", a, " ")
  for (y = 0; y < H; y++) for (x = 0; x < W; x++)
    printf "%c%c%c%c", (x * 11) % 256, (y * 19) % 256, (x * y * 3 + 40) % 256, a[(x + 2 * y) % 3 + 1] }' \
  > "$tmp/rgba.raw"
LC_ALL=C cat "$tmp/rgba.hdr" "$tmp/rgba.raw" > "$tmp/rgba.pam"
# Some readers (ppm2tiff) take only the raw forms.
for f in rgb.ppm pal16.ppm grey.pgm mono.pbm rgb16.ppm grey16.pgm; do
  pamtopnm < "$tmp/$f" > "$tmp/raw" && mv "$tmp/raw" "$tmp/$f"
done
"$IM" "$tmp/rgba.pam" "$tmp/rgba.png"
"$IM" "$tmp/rgb.ppm" "$tmp/rgb.png"

# ---- References.
# ref_pnm FIXTURE: a netpbm-style reader's output on stdin, as 8-bit PAM.
ref_pnm() { pamdepth 255 | pamtopam > "$1.ref.pam"; }
# ref_im FIXTURE: ImageMagick's own decode of the first picture, turned
# upright by its orientation (TIFF tag, Targa origin).
ref_im() { "$IM" "$1[0]" -auto-orient -colorspace sRGB -depth 8 "PAM:$1.ref.pam"; }

# Clears the fixtures this script made before, so that renamed ones go.
for d in bmp ico tga pcx psd pnm tiff gif jpeg; do
  mkdir -p "$here/$d"
  rm -f "$here/$d"/tool_*
done
cd "$here"

# ---- Windows bitmaps.
for bpp in 1 4 8 24; do
  src=$tmp/pal16.ppm; [ $bpp = 1 ] && src=$tmp/mono.pbm; [ $bpp = 24 ] && src=$tmp/rgb.ppm
  ppmtobmp -windows -bpp $bpp "$src" > bmp/tool_netpbm_$bpp.bmp
  bmptopnm bmp/tool_netpbm_$bpp.bmp | ref_pnm bmp/tool_netpbm_$bpp.bmp
done
ppmtobmp -os2 -bpp 4 "$tmp/pal16.ppm" > bmp/tool_netpbm_os2_4.bmp
bmptopnm bmp/tool_netpbm_os2_4.bmp | ref_pnm bmp/tool_netpbm_os2_4.bmp
"$IM" "$tmp/rgb.ppm" BMP3:bmp/tool_im_v3_24.bmp;                    ref_im bmp/tool_im_v3_24.bmp
"$IM" "$tmp/rgb.ppm" BMP:bmp/tool_im_v5_24.bmp;                     ref_im bmp/tool_im_v5_24.bmp
"$IM" "$tmp/pal16.ppm" -type Palette BMP2:bmp/tool_im_os2_pal.bmp;  ref_im bmp/tool_im_os2_pal.bmp
"$IM" "$tmp/pal16.ppm" -type Palette -compress RLE BMP3:bmp/tool_im_rle8.bmp
ref_im bmp/tool_im_rle8.bmp
cp bmp/tool_im_rle8.bmp bmp/tool_im_rle8.rle;                       ref_im bmp/tool_im_rle8.rle
# 5- and 6-bit levels are widened by repeating their top bits, as
# ImageMagick and this reader do (netpbm only shifts them, so 31 gives 248).
"$IM" "$tmp/rgb.ppm" -define bmp:subtype=RGB565 BMP:bmp/tool_im_rgb565.bmp
ref_im bmp/tool_im_rgb565.bmp
"$IM" "$tmp/rgb.ppm" -define bmp:subtype=RGB555 BMP:bmp/tool_im_rgb555.bmp
ref_im bmp/tool_im_rgb555.bmp
"$IM" "$tmp/rgba.png" BMP:bmp/tool_im_argb32.bmp;                   ref_im bmp/tool_im_argb32.bmp
"$IM" "$tmp/rgb.ppm" BMP3:bmp/tool_im_v3_24.dib;                    ref_im bmp/tool_im_v3_24.dib

# ---- Icons.
"$IM" "$tmp/rgba.png" ico/tool_im_alpha.ico;                        ref_im ico/tool_im_alpha.ico
pamtowinicon "$tmp/rgba.pam" > ico/tool_netpbm_alpha.ico
winicontopam ico/tool_netpbm_alpha.ico | ref_pnm ico/tool_netpbm_alpha.ico
pamtowinicon -pngthreshold 1 "$tmp/rgba.pam" > ico/tool_netpbm_png.ico
winicontopam ico/tool_netpbm_png.ico | ref_pnm ico/tool_netpbm_png.ico
ppmtowinicon "$tmp/pal16.ppm" > ico/tool_netpbm_pal4.ico
winicontopam ico/tool_netpbm_pal4.ico | ref_pnm ico/tool_netpbm_pal4.ico

# ---- Targa. netpbm writes bottom-up files, as most programs do.
pamtotga -rgb -norle "$tmp/rgb.ppm" > tga/tool_netpbm_rgb.tga
pamtotga -rgb "$tmp/rgb.ppm" > tga/tool_netpbm_rgb_rle.tga
pamtotga -cmap -norle "$tmp/pal16.ppm" > tga/tool_netpbm_cmap.tga
pamtotga -cmap "$tmp/pal16.ppm" > tga/tool_netpbm_cmap_rle.tga
pamtotga -mono "$tmp/grey.pgm" > tga/tool_netpbm_grey_rle.tga
for f in tga/tool_netpbm_*.tga; do tgatoppm "$f" | ref_pnm "$f"; done
# ImageMagick: top-down when told so; its default file stores the top row
# first but marks the origin bottom-left (ImageMagick 6 itself reads it back
# only with -auto-orient); every reader that follows the origin, this one
# among them, shows that file upside down, and so does its reference.
"$IM" "$tmp/rgb.ppm" -orient TopLeft tga/tool_im_topdown.tga;              ref_im tga/tool_im_topdown.tga
"$IM" "$tmp/rgb.ppm" -orient TopLeft -compress RLE tga/tool_im_topdown_rle.tga
ref_im tga/tool_im_topdown_rle.tga
"$IM" "$tmp/pal16.ppm" -type Palette -orient TopLeft tga/tool_im_cmap.tga; ref_im tga/tool_im_cmap.tga
"$IM" "$tmp/rgba.png" -orient TopLeft tga/tool_im_rgba.tga;               ref_im tga/tool_im_rgba.tga
"$IM" "$tmp/rgb.ppm" tga/tool_im_default.tga;                              ref_im tga/tool_im_default.tga

# ---- PCX.
ppmtopcx -24bit "$tmp/rgb.ppm" > pcx/tool_netpbm_24.pcx
ppmtopcx -8bit "$tmp/pal16.ppm" > pcx/tool_netpbm_8.pcx
ppmtopcx -planes 4 "$tmp/pal16.ppm" > pcx/tool_netpbm_4planes.pcx
ppmtopcx -packed "$tmp/pal16.ppm" > pcx/tool_netpbm_4packed.pcx
pnmtoplainpnm "$tmp/mono.pbm" | ppmtopcx > pcx/tool_netpbm_1.pcx
for f in pcx/tool_netpbm_*.pcx; do pcxtoppm "$f" | ref_pnm "$f"; done
"$IM" "$tmp/rgb.ppm" pcx/tool_im_24.pcx;                        ref_im pcx/tool_im_24.pcx
"$IM" "$tmp/pal16.ppm" -type Palette pcx/tool_im_pal.pcx;       ref_im pcx/tool_im_pal.pcx
"$IM" "$tmp/mono.pbm" -type Bilevel pcx/tool_im_1.pcx;          ref_im pcx/tool_im_1.pcx

# ---- Photoshop (ImageMagick writes the composite run-length encoded
# unless told otherwise). No transparent fixture: Photoshop stores the merged
# picture already blended with white, ImageMagick stores it unblended and
# reads it back divided by its alpha, so the two disagree on every such file.
# 16-bit references are ImageMagick's, whose reduction to 8 bits truncates
# (this reader rounds): they differ by 1 at most.
"$IM" "$tmp/rgb.ppm" psd/tool_im_rgb_rle.psd;                     ref_im psd/tool_im_rgb_rle.psd
"$IM" "$tmp/rgb.ppm" -compress None psd/tool_im_rgb_raw.psd;      ref_im psd/tool_im_rgb_raw.psd
"$IM" "$tmp/grey.pgm" psd/tool_im_grey.psd;                       ref_im psd/tool_im_grey.psd
"$IM" "$tmp/rgb16.ppm" -depth 16 psd/tool_im_rgb16.psd;           ref_im psd/tool_im_rgb16.psd
"$IM" "$tmp/grey16.pgm" -depth 16 psd/tool_im_grey16.psd;         ref_im psd/tool_im_grey16.psd
"$IM" "$tmp/rgb.ppm" -colorspace CMYK psd/tool_im_cmyk.psd;       ref_im psd/tool_im_cmyk.psd
# ImageMagick 6 writes an indexed file it can not read back; a palette is
# lossless, so the reference is the picture it was written from.
"$IM" "$tmp/pal16.ppm" -type Palette psd/tool_im_indexed.psd;     ref_pnm psd/tool_im_indexed.psd < "$tmp/pal16.ppm"
"$IM" "$tmp/mono.pbm" -type Bilevel psd/tool_im_bitmap.psd;       ref_im psd/tool_im_bitmap.psd

# ---- Portable any-maps: plain and raw, 8 and 16 bits, an odd maxval.
pnmtoplainpnm "$tmp/mono.pbm" > pnm/tool_netpbm_p1.pbm
pnmtoplainpnm "$tmp/grey.pgm" > pnm/tool_netpbm_p2.pgm
pnmtoplainpnm "$tmp/rgb.ppm" > pnm/tool_netpbm_p3.ppm
pamtopnm "$tmp/mono.pbm" > pnm/tool_netpbm_p4.pbm
pamtopnm "$tmp/grey.pgm" > pnm/tool_netpbm_p5.pgm
pamtopnm "$tmp/rgb.ppm" > pnm/tool_netpbm_p6.ppm
pamtopnm "$tmp/rgb16.ppm" > pnm/tool_netpbm_p6_16.ppm
pamtopnm "$tmp/grey16.pgm" > pnm/tool_netpbm_p5_16.pgm
pnmtoplainpnm "$tmp/rgb16.ppm" > pnm/tool_netpbm_p3_16.ppm
pamdepth 1000 "$tmp/rgb.ppm" > pnm/tool_netpbm_p6_max1000.ppm
pamdepth 15 "$tmp/grey.pgm" > pnm/tool_netpbm_p5_max15.pgm
for f in pnm/tool_netpbm_*; do case $f in *.ref.pam) ;; *) pamtopnm < "$f" | ref_pnm "$f" ;; esac; done
# 16-bit samples: this reader rounds to 8 bits, as netpbm's pamdepth does
# (ImageMagick's output truncates).
"$IM" "$tmp/rgb16.ppm" -depth 16 pnm/tool_im_p6_16.ppm
pamtopnm pnm/tool_im_p6_16.ppm | ref_pnm pnm/tool_im_p6_16.ppm

# ---- TIFF: libtiff's own tools, netpbm and ImageMagick. References come
# from netpbm's reader (built on libtiff, upright by the orientation tag)
# or from ImageMagick for what netpbm does not read.
ppm2tiff -c none "$tmp/rgb.ppm" tiff/tool_libtiff_none.tif
ppm2tiff -c lzw:2 "$tmp/rgb.ppm" tiff/tool_libtiff_lzw_pred.tif
ppm2tiff -c packbits -r 3 "$tmp/rgb.ppm" tiff/tool_libtiff_packbits.tif
ppm2tiff -c zip "$tmp/grey.pgm" tiff/tool_libtiff_zip_grey.tif
ppm2tiff -c g4 "$tmp/mono.pbm" tiff/tool_libtiff_g4.tif
tiffcp -t -w 16 -l 16 -c lzw tiff/tool_libtiff_none.tif tiff/tool_libtiff_tiles.tif
tiffcp -p separate tiff/tool_libtiff_none.tif tiff/tool_libtiff_planar.tif
tiffcp -t -w 16 -l 16 -p separate tiff/tool_libtiff_none.tif tiff/tool_libtiff_tiles_planar.tif
# Planes apart in strips taller than a few rows, the last one short: read
# by libtiff's general reader a strip at a time.
pnmcat -tb "$tmp/rgb.ppm" "$tmp/rgb.ppm" "$tmp/rgb.ppm" "$tmp/rgb.ppm" > "$tmp/tall.ppm"
ppm2tiff -c zip "$tmp/tall.ppm" "$tmp/tall.tif"
tiffcp -p separate -c zip -r 30 "$tmp/tall.tif" tiff/tool_libtiff_planar_strips.tif
tiff2bw tiff/tool_libtiff_none.tif tiff/tool_libtiff_bw.tif
# Every orientation a TIFF can state, on the same stored rows.
for o in 2 3 4 5 6 7 8; do
  cp tiff/tool_libtiff_none.tif tiff/tool_libtiff_orient$o.tif
  tiffset -s 274 $o tiff/tool_libtiff_orient$o.tif
done
pamtotiff -lzw < "$tmp/rgb16.ppm" > tiff/tool_netpbm_rgb16.tif
pamtotiff -flate < "$tmp/grey16.pgm" > tiff/tool_netpbm_grey16.tif
pamtotiff -indexbits=4 < "$tmp/pal16.ppm" > tiff/tool_netpbm_pal4.tif
pamtotiff -indexbits=8 < "$tmp/pal16.ppm" > tiff/tool_netpbm_pal8.tif
pamtotiff -miniswhite < "$tmp/mono.pbm" > tiff/tool_netpbm_miniswhite.tif
pamtotiff -miniswhite < "$tmp/grey.pgm" > tiff/tool_netpbm_grey_miniswhite.tif
for f in tiff/tool_libtiff_*.tif tiff/tool_netpbm_*.tif; do
  # Turned upright row by row: libtiff's own whole-picture reader does not
  # turn pictures stored on their side (orientations 5 to 8).
  case $f in *orient*) tifftopnm -byrow "$f" | ref_pnm "$f" ;; *) tifftopnm "$f" | ref_pnm "$f" ;; esac
done
# JPEG inside TIFF (YCbCr), which netpbm does not read.
ppm2tiff -c jpeg:90 "$tmp/rgb.ppm" tiff/tool_libtiff_jpeg.tif;            ref_im tiff/tool_libtiff_jpeg.tif
# The same on its side (orientation 6: turned a quarter clockwise), which
# takes libtiff's whole-picture reader. ImageMagick turns such a picture
# twice, so the reference is its reading of the picture without the tag,
# turned.
cp tiff/tool_libtiff_jpeg.tif tiff/tool_libtiff_jpeg_orient6.tif
tiffset -s 274 6 tiff/tool_libtiff_jpeg_orient6.tif
"$IM" tiff/tool_libtiff_jpeg.tif -rotate 90 -depth 8 PAM:tiff/tool_libtiff_jpeg_orient6.tif.ref.pam
"$IM" "$tmp/rgb.ppm" -colorspace CMYK tiff/tool_im_cmyk.tif;            ref_im tiff/tool_im_cmyk.tif
"$IM" "$tmp/rgba.png" tiff/tool_im_rgba.tif;                            ref_im tiff/tool_im_rgba.tif
"$IM" "$tmp/rgba.png" -define tiff:alpha=associated tiff/tool_im_rgba_assoc.tif
ref_im tiff/tool_im_rgba_assoc.tif
"$IM" "$tmp/rgb16.ppm" -depth 16 -compress LZW tiff/tool_im_rgb16.tif
tifftopnm tiff/tool_im_rgb16.tif | ref_pnm tiff/tool_im_rgb16.tif
"$IM" "$tmp/rgb.ppm" -orient BottomLeft tiff/tool_im_bottomleft.tif;    ref_im tiff/tool_im_bottomleft.tif

# ---- GIF: giflib's gifbuild writes an animation from a text description
# (a first frame smaller than the screen, with a transparent colour, then a
# second frame); netpbm and ImageMagick write still pictures, interlaced
# and with transparency.
pamtogif "$tmp/pal16.ppm" > gif/tool_netpbm.gif
pamtogif -interlace "$tmp/pal16.ppm" > gif/tool_netpbm_interlaced.gif
for f in gif/tool_netpbm*.gif; do giftopnm "$f" | ref_pnm "$f"; done
giftool -i 1 < gif/tool_netpbm.gif > gif/tool_giflib_interlaced.gif
giftopnm gif/tool_giflib_interlaced.gif | ref_pnm gif/tool_giflib_interlaced.gif
"$IM" "$tmp/pal16.ppm" -interlace GIF gif/tool_im_interlaced.gif;    ref_im gif/tool_im_interlaced.gif
"$IM" "$tmp/rgba.png" -channel A -threshold 50% +channel gif/tool_im_transparent.gif
"$IM" gif/tool_im_transparent.gif -background white -flatten -depth 8 PAM:gif/tool_im_transparent.gif.ref.pam
{
  echo "screen width $W"; echo "screen height $H"; echo "screen colors 4"; echo "screen background 1"
  echo "screen map"
  echo "  rgb 255 000 000 is R"; echo "  rgb 255 255 255 is W"
  echo "  rgb 000 000 255 is B"; echo "  rgb 000 160 000 is G"
  echo "end"
  echo "graphics control"; echo "  disposal mode 1"; echo "  delay 20"; echo "  transparent index 2"; echo "end"
  echo "image # 1"; echo "image left 4"; echo "image top 2"; echo "image bits 7 by 5"
  echo "RRRRRRR"; echo "RGGBGGR"; echo "RGBBBGR"; echo "RGGBGGR"; echo "RRRRRRG"
  echo "graphics control"; echo "  disposal mode 1"; echo "  delay 20"; echo "  transparent index -1"; echo "end"
  echo "image # 2"; echo "image left 0"; echo "image top 0"; echo "image bits 3 by 2"
  echo "GGG"; echo "GGG"
} > "$tmp/anim.txt"
gifbuild "$tmp/anim.txt" > gif/tool_giflib_anim.gif
"$IM" "gif/tool_giflib_anim.gif[0]" -coalesce -background white -flatten -depth 8 \
  PAM:gif/tool_giflib_anim.gif.ref.pam

# ---- JPEG: libjpeg's cjpeg and djpeg, ImageMagick for CMYK.
cjpeg -quality 90 "$tmp/rgb.ppm" > jpeg/tool_cjpeg.jpg
cjpeg -quality 90 -progressive "$tmp/rgb.ppm" > jpeg/tool_cjpeg_progressive.jpg
cjpeg -quality 90 -grayscale "$tmp/rgb.ppm" > jpeg/tool_cjpeg_grey.jpg
cjpeg -quality 90 -sample 1x1 -restart 1 "$tmp/rgb.ppm" > jpeg/tool_cjpeg_444_restart.jpg
for f in jpeg/tool_cjpeg*.jpg; do djpeg -pnm "$f" | ref_pnm "$f"; done
"$IM" "$tmp/rgb.ppm" -colorspace CMYK -quality 90 jpeg/tool_im_cmyk.jpg; ref_im jpeg/tool_im_cmyk.jpg
