#!/usr/bin/env python3
"""Writes the seeds of the project fuzz harness that push on sizes:
fuzz-many-layers.jkp (999 layers: texts, track lists and pictures sharing
one picture), fuzz-long-names.jkp (stored picture names of 254 bytes of
UTF-8) and fuzz-huge-boxes.jkp (picture layers in boxes 4096 long and text
boxes far larger than the cover)."""
import os
import struct

here = os.path.dirname(os.path.abspath(__file__))


def bmp24(w, h):
    row = ((w * 3 + 3) // 4) * 4
    data = bytes((x * 7 + y * 3) % 256 for y in range(h) for x in range(row))
    header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    return header + info + data


def project(name, blob, sections):
    lines = ["[Common]", "LayerNumber=%d" % len(sections),
             "[Layer0]", "FileName=", "ImageMode=Center", "StartColor=16777215", "EndColor=-1",
             "Vertical=1", "ShowImage=0"]
    for i, keys in enumerate(sections[1:], 1):
        lines.append("[Layer%d]" % i)
        lines += ["%s=%s" % kv for kv in keys]
    ini = ("\r\n".join(lines) + "\r\n").encode("utf-8")
    with open(os.path.join(here, name), "wb") as f:
        f.write(blob + ini + struct.pack("<qq", len(blob), len(ini)))


pic = bmp24(12, 10)
picture = lambda name, w, h, actual: [("Left", "5"), ("Top", "5"), ("FileName", name), ("ImageStart", "0"),
                                        ("ImageEnd", str(len(pic))), ("BoundWidth", str(w)),
                                        ("BoundHeight", str(h)), ("ActualWidth", str(actual)),
                                        ("ActualHeight", str(actual)), ("SoftV", "10"), ("SoftH", "10")]

many = [None]
for i in range(1, 1000):
    if i % 10 == 0:
        many.append(picture("C:\\p.bmp", 30, 30, 12))
    elif i % 10 == 5:
        many.append([("Left", "1"), ("Top", "2"), ("Tracks", "417C7C7C310D0A"), ("BoundWidth", "60"),
                     ("BoundHeight", "40"), ("Alignment", "Center")])
    else:
        many.append([("Left", str(i % 400)), ("Top", str(i % 300)), ("Text", "L%d" % i),
                     ("BoundWidth", "40"), ("BoundHeight", "16")])
project("fuzz-many-layers.jkp", pic, many)

greek = ""
while len((greek + "a").encode("utf-8")) < 250:
    greek += chr(0x3B1 + len(greek) % 20)
longname = greek + ".bmp"
project("fuzz-long-names.jkp", pic, [None, picture("C:\\Bilder\\" + longname, 40, 40, 12),
                                     picture("/home/" + "x" * 250 + "/" + longname, 40, 40, 12)])

# Boxes as long as the reader allows, thin enough to be made quickly under
# the sanitizers.
project("fuzz-huge-boxes.jkp", pic, [None, picture("C:\\p.bmp", 4096, 8, 12), picture("C:\\p.bmp", 8, 4096, 940),
                                     [("Left", "0"), ("Top", "0"), ("Text", "Huge"), ("BoundWidth", "2000000"),
                                      ("BoundHeight", "2000000")]])
