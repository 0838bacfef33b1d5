#!/usr/bin/env python3
"""Writes windows.jkp: a project written on Windows (backslash
paths, Windows-1252 text, CR LF lines), embedding flower.bmp and a background."""
import os
import struct

here = os.path.dirname(os.path.abspath(__file__))


def bmp24(w, h, pixel):
    row = ((w * 3 + 3) // 4) * 4
    data = bytearray()
    for y in range(h - 1, -1, -1):
        line = bytearray()
        for x in range(w):
            line += bytes(pixel(x, y))
        data += line + b"\0" * (row - len(line))
    header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    return header + info + bytes(data)


flower = bmp24(40, 30, lambda x, y: ((x * 6) % 256, (y * 8) % 256, (x * y) % 256))
back = bmp24(16, 16, lambda x, y: (200, (x * 16) % 256, (y * 16) % 256))
with open(os.path.join(here, "flower.bmp"), "wb") as f:
    f.write(flower)

blob = back + flower
tracks = "Ständchen|||3:45\r\nNuit blanche|||4:02\r\n".encode("cp1252").hex().upper()
ini = "\r\n".join([
    "[Common]", "LayerNumber=4",
    "[Layer0]", "FileName=C:\\Dokumente und Einstellungen\\Jürgen\\Eigene Bilder\\Hintergrund.bmp",
    "ImageStart=0", "ImageEnd=%d" % len(back), "ImageMode=Stretch", "StartColor=16777215", "EndColor=-1",
    "Vertical=1", "ShowImage=1",
    "[Layer1]", "Left=12", "Top=34", "FileName=D:\\Fotos\\Blüte.bmp",
    "ImageStart=%d" % len(back), "ImageEnd=%d" % len(blob),
    "BoundWidth=40", "BoundHeight=30", "ActualWidth=40", "ActualHeight=30", "SoftV=15", "SoftH=10",
    "[Layer2]", "Left=100", "Top=50", "Text=Café Olé – „Grüße“ €5", "FontName=Arial", "Color=255",
    "FontStyles=fsItalicfsBold", "Shadow=0", "Smooth=1", "LineSpace=0", "BoundWidth=200", "BoundHeight=100",
    "[Layer3]", "Left=30", "Top=240", "Tracks=" + tracks, "FontName=Times New Roman", "Color=16711680",
    "FontStyles=", "Shadow=1", "Smooth=1", "LineSpace=30", "BoundWidth=250", "BoundHeight=300",
    "Alignment=center",
]) + "\r\n"
ini = ini.encode("cp1252")
with open(os.path.join(here, "windows.jkp"), "wb") as f:
    f.write(blob + ini + struct.pack("<qq", len(blob), len(ini)))

# The empty white cover as this program saves it.
new_ini = (b"[Common]\r\nLayerNumber=1\r\n[Layer0]\r\nFileName=\r\nImageMode=Center\r\n"
           b"StartColor=16777215\r\nEndColor=-1\r\nVertical=1\r\nShowImage=0\r\n")
with open(os.path.join(here, "new.jkp"), "wb") as f:
    f.write(new_ini + struct.pack("<qq", 0, len(new_ini)))
