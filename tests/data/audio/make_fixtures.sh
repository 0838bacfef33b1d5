#!/usr/bin/env bash
# Regenerates the audio and cue sheet fixtures with the field's own tools:
# sox for the sound (silence and short tones, mono, low rates, so every file
# stays a few kilobytes), flac/metaflac, lame/id3v2, oggenc/vorbiscomment,
# opusenc and ffmpeg (M4A) for the tags and the embedded front covers, and
# ImageMagick for the pictures.
#
# tests/data/audio/    one tagged file per format, an untagged WAV, a damaged
#                      FLAC and a text file posing as MP3; plain/ holds a WAV
#                      beside a "Folder.BMP" picture.
# tests/data/cuesheet/ a 200 s FLAC and cue sheets in UTF-8 (with a byte order
#                      mark, CR LF) and Windows-1252 (LF), one with faults.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cue="$here/../cuesheet"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cd "$here"
rm -rf plain ./*.flac ./*.mp3 ./*.ogg ./*.opus ./*.m4a ./*.wav ./*.jpg ./*.png
mkdir -p plain "$cue"

# The embedded pictures: a JPEG front cover and, for M4A, a PNG one.
convert -size 8x8 xc:'#c03020' -quality 90 embedded.jpg
convert -size 6x4 xc:'#2040a0' embedded.png
convert -size 4x4 xc:'#20a040' -type truecolor BMP3:plain/Folder.BMP

# 65 s of silence: FLAC keeps it in about a kilobyte, and the time has minutes.
sox -D -n -r 8000 -b 8 -c 1 "$tmp/silence65.wav" trim 0 65
flac -s -f --no-padding -o 01-flac.flac "$tmp/silence65.wav"
metaflac --set-tag="TITLE=Erste Stunde" --set-tag="ARTIST=Die Gruppe" \
  --set-tag="ALBUM=Fixtures" --set-tag="ALBUMARTIST=Die Gruppe" \
  --set-tag=TRACKNUMBER=1 --set-tag=DISCNUMBER=1/2 \
  --import-picture-from="3|image/jpeg|||embedded.jpg" 01-flac.flac

sox -n -r 8000 -b 16 -c 1 "$tmp/tone2.wav" synth 2.3 sine 440 vol 0.2
lame --silent -b 8 --ti embedded.jpg "$tmp/tone2.wav" mp3.mp3
id3v2 -t "Second Song" -a "Guest Singer" -A "Fixtures" -T 2 --TPE2 "Die Gruppe" --TPOS 1 mp3.mp3

sox -n -r 8000 -b 16 -c 1 "$tmp/tone3.wav" synth 3.3 sine 330 vol 0.2
oggenc -Q -q 0 -o vorbis.ogg "$tmp/tone3.wav"
python3 - "$tmp/picture.b64" <<'PY'
import base64, struct, sys
data = open("embedded.jpg", "rb").read()
mime, desc = b"image/jpeg", b""
block = struct.pack(">II", 3, len(mime)) + mime + struct.pack(">I", len(desc)) + desc
block += struct.pack(">IIIII", 8, 8, 24, 0, len(data)) + data
open(sys.argv[1], "w").write(base64.b64encode(block).decode())
PY
vorbiscomment -w -t "TITLE=Dritter Satz" -t "ARTIST=Die Gruppe" -t "ALBUM=Fixtures" \
  -t "TRACKNUMBER=3" -t "DISCNUMBER=1" -t "METADATA_BLOCK_PICTURE=$(cat "$tmp/picture.b64")" vorbis.ogg

sox -n -r 8000 -b 16 -c 1 "$tmp/tone1.wav" synth 1.3 sine 550 vol 0.2
opusenc --quiet --bitrate 6 --title "Zweite Seite" --artist "Die Gruppe" --album "Fixtures" \
  --tracknumber 1 --comment DISCNUMBER=2 --picture "3||||embedded.jpg" "$tmp/tone1.wav" opus.opus

sox -n -r 8000 -b 16 -c 1 "$tmp/tone4.wav" synth 4.3 sine 660 vol 0.2
ffmpeg -v error -y -i "$tmp/tone4.wav" -i embedded.png -map 0 -map 1 -c:a aac -b:a 8k -c:v copy \
  -disposition:v attached_pic -metadata title="Letzte Runde" -metadata artist="Die Gruppe" \
  -metadata album="Fixtures" -metadata track=2 -metadata disc=2 aac.m4a

sox -n -r 4000 -b 8 -c 1 "untagged tone.wav" synth 1.6 sine 400 vol 0.2
cp "untagged tone.wav" plain/plain.wav

# Damaged: the first 100 bytes of a FLAC (cut inside its metadata), and text
# with an audio extension.
head -c 100 01-flac.flac > damaged.flac
printf 'These are liner notes, not sound.\n' > notes.mp3

# The cue sheets' album: 200 s of silence.
sox -D -n -r 8000 -b 8 -c 1 "$tmp/silence200.wav" trim 0 200
flac -s -f --no-padding -o "$cue/album.flac" "$tmp/silence200.wav"

# UTF-8 with a byte order mark and CR LF; it names "album.wav", which was
# later converted to FLAC (the file beside it is album.flac).
printf '\xef\xbb\xbfREM GENRE Test\r\nPERFORMER "Die Gruppe"\r\nTITLE "Fixtures"\r\nFILE "album.wav" WAVE\r\n  TRACK 01 AUDIO\r\n    TITLE "Erste Stunde"\r\n    PERFORMER "Die Gruppe"\r\n    INDEX 01 00:00:00\r\n  TRACK 02 AUDIO\r\n    TITLE "Grüße aus Köln"\r\n    PERFORMER "Guest Singer"\r\n    INDEX 00 01:00:00\r\n    INDEX 01 01:02:30\r\n  TRACK 03 AUDIO\r\n    TITLE "Dritter Satz"\r\n    INDEX 01 02:10:00\r\n' > "$cue/utf8_bom_crlf.cue"

# Windows-1252 with LF; the album file is missing, so the last time is unknown.
printf 'PERFORMER "Chanteuse"\nTITLE "Caf\xe9"\nFILE "C:\\Music\\gone.flac" WAVE\nTRACK 1 AUDIO\nTITLE "Premi\xe8re \x96 \xe9t\xe9"\nINDEX 01 00:00:00\nTRACK 2 AUDIO\nTITLE "Deuxi\xe8me"\nINDEX 01 03:05:00\nTRACK 3 AUDIO\nTITLE "Fin"\nINDEX 01 07:00:00\n' > "$cue/cp1252_lf.cue"

# Faults: tracks out of order, a track without INDEX 01, a malformed INDEX
# and a TRACK line without a number.
printf 'TITLE "Faults"\nFILE "album.flac" WAVE\nTRACK 02 AUDIO\nTITLE "Two"\nINDEX 01 01:00:00\nTRACK 01 AUDIO\nTITLE "One"\nINDEX 01 00:00:00\nTRACK 03 AUDIO\nTITLE "Three"\nINDEX 00 02:00:00\nTRACK 04 AUDIO\nTITLE "Four"\nINDEX 01 02:3x:00\nTRACK AUDIO\nTITLE "Nameless"\nTRACK 05 AUDIO\nTITLE "Five"\nINDEX 01 03:00:00\n' > "$cue/faults.cue"
