#!/usr/bin/env python3
"""Writes the file-type icons of the thumbnail grids: for every picture type
a 32 x 32 page icon (typeNN.svg, shown while a thumbnail is not made) and an
18 x 9 badge (badgeNN.svg, shown in the corner of a made thumbnail), plus the
unlabelled page of a type without artwork of its own (generic.svg, the
program writes the extension on its band), the mark of a file that can not be
read (unreadable.svg) and types.qrc.

The labels are drawn from small pixel fonts as paths, so they are crisp at
their own size and need no font. Run it again after changing the artwork:
    python3 resources/types/make_type_icons.py
"""
import os

HERE = os.path.dirname(os.path.abspath(__file__))

# type code: (label, colour, motif)
TYPES = {
    1: ("WMF", "#6a4c93", "vector"),
    2: ("CUT", "#827717", "landscape"),
    3: ("GIF", "#00897b", "film"),
    4: ("ICO", "#f9a825", "grid"),
    5: ("JPG", "#1e88e5", "landscape"),
    6: ("PCD", "#c62828", "disc"),
    7: ("PCX", "#795548", "landscape"),
    8: ("PIC", "#ad1457", "film"),
    9: ("PPM", "#546e7a", "landscape"),
    10: ("PSD", "#283593", "layers"),
    11: ("RLA", "#00838f", "landscape"),
    12: ("TGA", "#ef6c00", "landscape"),
    13: ("TIF", "#2e7d32", "landscape"),
    14: ("BMP", "#558b2f", "landscape"),
    15: ("PNG", "#00695c", "checker"),
    16: ("WEBP", "#d84315", "landscape"),
    17: ("HEIC", "#5e35b1", "landscape"),
    18: ("AVIF", "#37474f", "landscape"),
    19: ("JXL", "#0277bd", "landscape"),
}

FONT5X7 = {
    "A": "01110 10001 10001 11111 10001 10001 10001",
    "B": "11110 10001 10001 11110 10001 10001 11110",
    "C": "01110 10001 10000 10000 10000 10001 01110",
    "D": "11110 10001 10001 10001 10001 10001 11110",
    "E": "11111 10000 10000 11110 10000 10000 11111",
    "F": "11111 10000 10000 11110 10000 10000 10000",
    "G": "01110 10001 10000 10111 10001 10001 01111",
    "H": "10001 10001 10001 11111 10001 10001 10001",
    "I": "01110 00100 00100 00100 00100 00100 01110",
    "J": "00111 00010 00010 00010 00010 10010 01100",
    "L": "10000 10000 10000 10000 10000 10000 11111",
    "M": "10001 11011 10101 10101 10001 10001 10001",
    "N": "10001 11001 10101 10011 10001 10001 10001",
    "O": "01110 10001 10001 10001 10001 10001 01110",
    "P": "11110 10001 10001 11110 10000 10000 10000",
    "R": "11110 10001 10001 11110 10100 10010 10001",
    "S": "01111 10000 10000 01110 00001 00001 11110",
    "T": "11111 00100 00100 00100 00100 00100 00100",
    "U": "10001 10001 10001 10001 10001 10001 01110",
    "V": "10001 10001 10001 10001 10001 01010 00100",
    "W": "10001 10001 10001 10101 10101 10101 01010",
    "X": "10001 10001 01010 00100 01010 10001 10001",
}

FONT3X5 = {
    "A": "010 101 111 101 101",
    "B": "110 101 110 101 110",
    "C": "011 100 100 100 011",
    "D": "110 101 101 101 110",
    "E": "111 100 110 100 111",
    "F": "111 100 110 100 100",
    "G": "011 100 101 101 011",
    "H": "101 101 111 101 101",
    "I": "111 010 010 010 111",
    "J": "001 001 001 101 010",
    "L": "100 100 100 100 111",
    "M": "101 111 111 101 101",
    "N": "110 101 101 101 101",
    "O": "010 101 101 101 010",
    "P": "110 101 110 100 100",
    "R": "110 101 110 101 101",
    "S": "011 100 010 001 110",
    "T": "111 010 010 010 010",
    "U": "101 101 101 101 111",
    "V": "101 101 101 101 010",
    "W": "101 101 111 111 101",
    "X": "101 101 010 101 101",
}

# Four-letter labels do not fit the large band in the 5 x 7 font.
FONT4X7 = {
    "A": "0110 1001 1001 1111 1001 1001 1001",
    "B": "1110 1001 1001 1110 1001 1001 1110",
    "C": "0111 1000 1000 1000 1000 1000 0111",
    "E": "1111 1000 1000 1110 1000 1000 1111",
    "F": "1111 1000 1000 1110 1000 1000 1000",
    "H": "1001 1001 1001 1111 1001 1001 1001",
    "I": "111 010 010 010 010 010 111",
    "P": "1110 1001 1001 1110 1000 1000 1000",
    "V": "1001 1001 1001 1001 1001 0110 0110",
    "W": "10001 10001 10001 10101 10101 10101 01010",
}


def text_path(label, font, x0, y0):
    """Pixels of the label as one path of unit squares, runs merged per row."""
    parts = []
    x = x0
    for ch in label:
        rows = font[ch].split()
        for dy, row in enumerate(rows):
            run = None
            for dx, bit in enumerate(row + "0"):
                if bit == "1" and run is None:
                    run = dx
                elif bit != "1" and run is not None:
                    parts.append("M%d %dh%dv1h-%dz" % (x + run, y0 + dy, dx - run, dx - run))
                    run = None
        x += len(rows[0]) + 1
    return "".join(parts)


def text_width(label, font):
    return sum(len(font[ch].split()[0]) + 1 for ch in label) - 1


def darker(colour, f=0.65):
    r, g, b = (int(colour[i:i + 2], 16) for i in (1, 3, 5))
    return "#%02x%02x%02x" % (int(r * f), int(g * f), int(b * f))


def ink(colour):
    r, g, b = (int(colour[i:i + 2], 16) for i in (1, 3, 5))
    return "#222" if 0.299 * r + 0.587 * g + 0.114 * b > 170 else "#fff"


def motif(kind, colour):
    dark = darker(colour)
    if kind == "vector":
        return ('<circle cx="12.5" cy="10" r="3.5" fill="none" stroke="%s" stroke-width="1.5"/>'
                '<path d="M15 15.5l3.5-7 3.5 7z" fill="%s" stroke="%s" stroke-width="1" stroke-linejoin="round"/>'
                % (dark, colour, dark))
    if kind == "grid":
        cells = []
        for i in range(3):
            for j in range(3):
                fill = colour if (i + j) % 2 == 0 else "#bfe3ff"
                cells.append('<rect x="%d" y="%d" width="3" height="3" fill="%s"/>' % (11 + 4 * j, 5 + 4 * i, fill))
        return "".join(cells)
    if kind == "film":
        holes = "".join('<rect x="%d" y="6" width="1.5" height="1.5" fill="#fff"/>'
                        '<rect x="%d" y="14" width="1.5" height="1.5" fill="#fff"/>' % (x, x)
                        for x in (10, 13, 16, 19))
        return ('<rect x="9" y="5" width="13" height="11.5" fill="%s"/>%s'
                '<rect x="10" y="8.5" width="5" height="4.5" fill="#bfe3ff"/>'
                '<rect x="16" y="8.5" width="5" height="4.5" fill="#f5c542"/>' % (dark, holes))
    if kind == "layers":
        return ('<rect x="13.5" y="4.5" width="8" height="6" fill="#bfe3ff" stroke="%s"/>'
                '<rect x="11.5" y="7.5" width="8" height="6" fill="#f5c542" stroke="%s"/>'
                '<rect x="9.5" y="10.5" width="8" height="6" fill="%s" stroke="%s"/>' % (dark, dark, colour, dark))
    if kind == "checker":  # a picture over the checkerboard of transparency
        cells = "".join('<rect x="%d" y="%d" width="2" height="2" fill="#c9d1d9"/>' % (10 + 2 * j, 6 + 2 * i)
                        for i in range(5) for j in range(6) if (i + j) % 2 == 0)
        return ('<rect x="9.5" y="5.5" width="12" height="11" fill="#fff" stroke="%s"/>%s'
                '<circle cx="18" cy="9" r="1.8" fill="#f5c542"/>'
                '<path d="M10 16.5l4-5 3 3.5 2-2 2.5 3.5z" fill="%s" opacity="0.85"/>' % (dark, cells, colour))
    if kind == "disc":
        return ('<circle cx="15.5" cy="10.5" r="6" fill="#d7dde4" stroke="%s" stroke-width="1"/>'
                '<path d="M15.5 4.5a6 6 0 0 1 6 6h-3.5a2.5 2.5 0 0 0-2.5-2.5z" fill="%s" opacity="0.7"/>'
                '<circle cx="15.5" cy="10.5" r="1.5" fill="#fff" stroke="%s" stroke-width="0.75"/>'
                % (dark, colour, dark))
    return ('<rect x="9.5" y="5.5" width="12" height="11" fill="#bfe3ff" stroke="%s"/>'
            '<circle cx="18" cy="9" r="1.8" fill="#f5c542"/>'
            '<path d="M10 16.5l4-5 3 3.5 2-2 2.5 3.5z" fill="%s"/>' % (dark, colour))


def large(code):
    label, colour, kind = TYPES[code]
    font = FONT5X7 if len(label) <= 3 else FONT4X7
    tw = text_width(label, font)
    return page(motif(kind, colour), colour, text_path(label, font, 3 + (22 - tw) // 2, 19), ink(colour))


def page(picture, colour, label_path, label_ink):
    bx, bw = 3, 22
    return ('<svg xmlns="http://www.w3.org/2000/svg" width="32" height="32" viewBox="0 0 32 32">'
            '<path d="M6.5 2.5h13l6 6v21h-19z" fill="#f7f9fb" stroke="#345" stroke-width="1.5" stroke-linejoin="round"/>'
            '<path d="M19.5 2.5v6h6" fill="#d5dde6" stroke="#345" stroke-width="1.5" stroke-linejoin="round"/>'
            '%s'
            '<rect x="%d" y="18" width="%d" height="9" rx="1" fill="%s"/>'
            '<rect x="%d.5" y="18.5" width="%d" height="8" rx="1" fill="none" stroke="%s"/>'
            '%s'
            '</svg>\n' % (picture, bx, bw, colour, bx, bw - 1, darker(colour),
                          '<path d="%s" fill="%s"/>' % (label_path, label_ink) if label_path else ""))


def badge(code):
    label, colour, _ = TYPES[code]
    tw = text_width(label, FONT3X5)
    tx = (18 - tw + (1 if len(label) <= 3 else 0)) // 2
    return ('<svg xmlns="http://www.w3.org/2000/svg" width="18" height="9" viewBox="0 0 18 9">'
            '<rect x="0" y="0" width="18" height="9" rx="1.5" fill="%s"/>'
            '<rect x="0.5" y="0.5" width="17" height="8" rx="1.5" fill="none" stroke="%s"/>'
            '<path d="%s" fill="%s"/>'
            '</svg>\n' % (colour, darker(colour), text_path(label, FONT3X5, tx, 2), ink(colour)))


UNREADABLE = ('<svg xmlns="http://www.w3.org/2000/svg" width="14" height="14" viewBox="0 0 14 14">'
              '<circle cx="7" cy="7" r="6.25" fill="#d32f2f" stroke="#fff" stroke-width="1.5"/>'
              '<path d="M4.5 4.5l5 5M9.5 4.5l-5 5" stroke="#fff" stroke-width="1.75" stroke-linecap="round"/>'
              '</svg>\n')


def main():
    files = []
    for code in sorted(TYPES):
        for name, text in (("type%02d.svg" % code, large(code)), ("badge%02d.svg" % code, badge(code))):
            with open(os.path.join(HERE, name), "w") as f:
                f.write(text)
            files.append(name)
    with open(os.path.join(HERE, "generic.svg"), "w") as f:
        f.write(page(motif("landscape", "#606c78"), "#606c78", "", "#fff"))
    with open(os.path.join(HERE, "unreadable.svg"), "w") as f:
        f.write(UNREADABLE)
    files += ["generic.svg", "unreadable.svg"]
    with open(os.path.join(HERE, "types.qrc"), "w") as f:
        f.write('<!DOCTYPE RCC><RCC version="1.0">\n<qresource prefix="/types">\n')
        for name in files:
            f.write("  <file>%s</file>\n" % name)
        f.write("</qresource>\n</RCC>\n")


if __name__ == "__main__":
    main()
