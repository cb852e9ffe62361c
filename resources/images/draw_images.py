#!/usr/bin/env python3
"""Draws the selector images and the program icon of Kivra.

The eight selector images are 16-colour Windows bitmaps (4 bits per pixel,
bottom-up rows) whose bottom-left pixel is pure blue (0, 0, 255): the key
colour that drawing shows as the item's background. The icon MAINICON is a
32 x 32 PNG: a folder under a magnifying glass, drawn pixel by pixel like
the other small sizes of the desktop's icon.

Run it from anywhere; it rewrites the files beside itself:
    python3 resources/images/draw_images.py
The build draws the desktop's icons (any size, one PNG each) with:
    python3 resources/images/draw_images.py --icon SIZE FILE
"""

import os
import struct
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))

# The 16 colours of the standard palette, with a letter each for the
# drawings below ("." is the key colour, pure blue).
PALETTE = [
    ("k", (0, 0, 0)),
    ("r", (128, 0, 0)),
    ("g", (0, 128, 0)),
    ("o", (128, 128, 0)),
    ("n", (0, 0, 128)),
    ("p", (128, 0, 128)),
    ("t", (0, 128, 128)),
    ("s", (192, 192, 192)),
    ("d", (128, 128, 128)),
    ("R", (255, 0, 0)),
    ("G", (0, 255, 0)),
    ("Y", (255, 255, 0)),
    (".", (0, 0, 255)),
    ("M", (255, 0, 255)),
    ("C", (0, 255, 255)),
    ("W", (255, 255, 255)),
]
INDEX = {letter: i for i, (letter, _) in enumerate(PALETTE)}

DRIVES = {
    # A diskette drive: a slot and a green lamp.
    "FLOPPY": [
        "................",
        ".kkkkkkkkkkkkkk.",
        ".kWWWWWWWWWWWWk.",
        ".kWssssssssssdk.",
        ".kWskkkkkkkksdk.",
        ".kWssssssssssdk.",
        ".kWsssssssGGsdk.",
        ".kWssssssssssdk.",
        ".kddddddddddddk.",
        ".kkkkkkkkkkkkkk.",
        "................",
    ],
    # A fixed disk: a flat box seen from above and in front, red lamp.
    "HARD": [
        "................",
        "................",
        "...kkkkkkkkkkkk.",
        "..kWWWWWWWWWWsk.",
        ".kkkkkkkkkkkkdk.",
        ".kWWWWWWWWWWkdk.",
        ".kWsssssssRRkdk.",
        ".kWssssssssskk..",
        ".kddddddddddk...",
        ".kkkkkkkkkkkk...",
        "................",
    ],
    # A drive on the network: a box on a cable.
    "NETWORK": [
        "................",
        ".kkkkkkkkkkkkkk.",
        ".kWWWWWWWWWWWWk.",
        ".kWssssssssGsdk.",
        ".kddddddddddddk.",
        ".kkkkkkkkkkkkkk.",
        ".......kk.......",
        ".......kk.......",
        "..kkkkkkkkkkkk..",
        "..k..........k..",
        "................",
    ],
    # A disc drive with its tray and a disc.
    "CDROM": [
        "................",
        ".kkkkkkkkkkkkkk.",
        ".kWWWWWWWWWWWWk.",
        ".kWsskkkkkkssdk.",
        ".kWssssssssGsdk.",
        ".kkkkkkkkkkkkkk.",
        "....kkkkkkk.....",
        "...kCWsssWCk....",
        "...kCsWkWsCk....",
        "....kkkkkkk.....",
        "................",
    ],
    # A memory module: chips on a green board, gold contacts.
    "RAM": [
        "................",
        "................",
        ".gggggggggggggg.",
        ".gkkgkkgkkgkkgg.",
        ".gkkgkkgkkgkkgg.",
        ".gkkgkkgkkgkkgg.",
        ".gggggggggggggg.",
        ".gYgYgYgYgYgYgg.",
        ".gYgYgYgYgYgYgg.",
        "................",
        "................",
    ],
}

FOLDERS = {
    # A closed folder: a subdirectory.
    "CLOSEDFOLDER": [
        "................",
        "................",
        "................",
        "..kkkkk.........",
        ".kWYYYYk........",
        ".kkkkkkkkkkkkk..",
        ".kWWWWWWWWWWYk..",
        ".kWYYYYYYYYYok..",
        ".kWYYYYYYYYYok..",
        ".kWYYYYYYYYYok..",
        ".kWYYYYYYYYYok..",
        ".kWYYYYYYYYYok..",
        ".kooooooooooook.",
        "..kkkkkkkkkkkkk.",
        "................",
    ],
    # An open folder: the root and each ancestor.
    "OPENFOLDER": [
        "................",
        "................",
        "..kkkkk.........",
        ".kWYYYYk........",
        ".kYWWWWkkkkkk...",
        ".kYWoooooooWk...",
        ".kYWokkkkkkkkkk.",
        ".kYWkYYYYYYYYYk.",
        ".kYkYYYYYYYYYk..",
        ".kYkYYYYYYYYYk..",
        ".kkYYYYYYYYYk...",
        ".kkYYYYYYYYYk...",
        ".kkkkkkkkkkkk...",
        "................",
        "................",
    ],
    # The open folder of the current directory, its flap lit.
    "CURRENTFOLDER": [
        "................",
        "................",
        "..kkkkk.........",
        ".kWYYYYk........",
        ".kYWWWWkkkkkk...",
        ".kYWoooooooWk...",
        ".kYWokkkkkkkkkk.",
        ".kYWkCCCCCCCCCk.",
        ".kYkCCCCCCCCCk..",
        ".kYkCCCCCCCCCk..",
        ".kkCCCCCCCCCk...",
        ".kkCCCCCCCCCk...",
        ".kkkkkkkkkkkk...",
        "................",
        "................",
    ],
}


def bitmap_bytes(rows):
    """A 4-bit BMP of the drawing (rows top to bottom)."""
    height = len(rows)
    width = len(rows[0])
    assert all(len(row) == width for row in rows), "rows of unequal length"
    assert rows[-1][0] == ".", "the bottom-left pixel holds the key colour"
    stride = ((width * 4 + 31) // 32) * 4
    pixels = bytearray()
    for row in reversed(rows):
        line = bytearray()
        for x in range(0, width, 2):
            high = INDEX[row[x]]
            low = INDEX[row[x + 1]] if x + 1 < width else 0
            line.append((high << 4) | low)
        line.extend(b"\0" * (stride - len(line)))
        pixels.extend(line)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for _, (r, g, b) in PALETTE)
    offset = 14 + 40 + len(palette)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 4, 0, len(pixels), 2835, 2835, 16, 16)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    return header + info + palette + bytes(pixels)


def png_bytes(width, height, pixel):
    """An RGBA PNG; pixel(x, y) gives (r, g, b, a)."""
    raw = bytearray()
    for y in range(height):
        raw.append(0)
        for x in range(width):
            raw.extend(pixel(x, y))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(bytes(raw), 9))
            + chunk(b"IEND", b""))


# The program icon's colours, with a letter each for the drawings of the
# small sizes below ("." is transparent).
ICON_COLOURS = {
    ".": (0, 0, 0, 0),
    "k": (40, 40, 40, 255),  # the folder's outline
    "b": (214, 160, 30, 255),  # the folder's back and its tab
    "f": (250, 204, 70, 255),  # the folder's front
    "g": (190, 230, 255, 255),  # the glass
    "r": (30, 60, 120, 255),  # the magnifier's rim
    "h": (120, 70, 20, 255),  # the magnifier's handle
}

# The icon at the sizes where a scaled drawing would blur: drawn pixel by
# pixel for each, with whole-pixel outlines, the same picture as the drawing
# below. Every size keeps its outermost rows and columns clear. At 32 x 32
# it is MAINICON, the icon the window shows.
SMALL_ICONS = {
    16: [
        "................",
        "................",
        "................",
        ".kkkk...........",
        ".kbbk...rrr.....",
        ".kkkkkkrgggrkk..",
        ".kbbbbrgggggrk..",
        ".kffffrgggggrk..",
        ".kffffrgggggrk..",
        ".kfffffrgggrfk..",
        ".kffffffrrrhhk..",
        ".kffffffffffhh..",
        ".kfffffffffffhh.",
        ".kkkkkkkkkkkkk..",
        "................",
        "................",
    ],
    22: [
        "......................",
        "......................",
        "......................",
        "......................",
        ".kkkkkk...............",
        ".kbbbbk...............",
        ".kbbbbk....rrrr.......",
        ".kkkkkkkkrrrrrrrrkk...",
        ".kbbbbbbbrrggggrrbk...",
        ".kbbbbbbrrggggggrrk...",
        ".kffffffrrggggggrrk...",
        ".kffffffrrggggggrrk...",
        ".kffffffrrggggggrrk...",
        ".kfffffffrrggggrrfk...",
        ".kfffffffrrrrrrrrhk...",
        ".kfffffffffrrrrfhhh...",
        ".kfffffffffffffffhhh..",
        ".kffffffffffffffffhh..",
        ".kffffffffffffffffk...",
        ".kkkkkkkkkkkkkkkkkk...",
        "......................",
        "......................",
    ],
    24: [
        "........................",
        "........................",
        "........................",
        "........................",
        ".kkkkkkk................",
        ".kbbbbbk................",
        ".kbbbbbk....rrrrr.......",
        ".kkkkkkkkkkrrrrrrrkkk...",
        ".kbbbbbbbbrrgggggrrbk...",
        ".kbbbbbbbrrgggggggrrk...",
        ".kfffffffrrgggggggrrk...",
        ".kfffffffrrgggggggrrk...",
        ".kfffffffrrgggggggrrk...",
        ".kfffffffrrgggggggrrk...",
        ".kffffffffrrgggggrrfk...",
        ".kfffffffffrrrrrrrhhk...",
        ".kffffffffffrrrrrfhhh...",
        ".kfffffffffffffffffhhh..",
        ".kffffffffffffffffffhh..",
        ".kffffffffffffffffffk...",
        ".kkkkkkkkkkkkkkkkkkkk...",
        "........................",
        "........................",
        "........................",
    ],
    32: [
        "................................",
        "................................",
        "................................",
        "................................",
        "................................",
        "................................",
        "..kkkkkkkk......................",
        "..kbbbbbbk......................",
        "..kbbbbbbk......rrrrrr..........",
        "..kbbbbbbk.....rrrrrrrr.........",
        "..kkkkkkkkkkkkrrrggggrrrkkkk....",
        "..kbbbbbbbbbbrrggggggggrrbbk....",
        "..kbbbbbbbbbrrrggggggggrrrbk....",
        "..kbbbbbbbbbrrggggggggggrrbk....",
        "..kfffffffffrrggggggggggrrfk....",
        "..kfffffffffrrggggggggggrrfk....",
        "..kfffffffffrrggggggggggrrfk....",
        "..kfffffffffrrrggggggggrrrfk....",
        "..kffffffffffrrggggggggrrffk....",
        "..kfffffffffffrrrggggrrrhhfk....",
        "..kffffffffffffrrrrrrrrhhhhk....",
        "..kfffffffffffffrrrrrrfhhhhh....",
        "..kfffffffffffffffffffffhhhhh...",
        "..kffffffffffffffffffffffhhhhh..",
        "..kfffffffffffffffffffffffhhhh..",
        "..kffffffffffffffffffffffffhh...",
        "..kffffffffffffffffffffffffk....",
        "..kkkkkkkkkkkkkkkkkkkkkkkkkk....",
        "................................",
        "................................",
        "................................",
        "................................",
    ],
}


def icon_part(x, y):
    """The letter of the icon's colour at the point (x, y) of its drawing
    on a 32-unit square: a folder under a magnifying glass whose handle
    ends two units short of the right edge."""
    # The magnifier: a ring centred at (19, 15), 7 units outside and 5
    # inside, over a handle from the ring toward (28, 24), 3.5 units thick
    # with round ends.
    dx, dy = x - 19.0, y - 15.0
    r2 = dx * dx + dy * dy
    if r2 <= 5.0 * 5.0:
        return "g"
    if r2 <= 7.0 * 7.0:
        return "r"
    start, end, half_width = 19.0, 24.0, 1.75  # y from start to end on the diagonal x - y = 4
    along = min(max((x + y - 4.0) / 2.0, start), end)
    if (x - along - 4.0) ** 2 + (y - along) ** 2 <= half_width ** 2:
        return "h"
    # The folder: its tab, then its body, the back above the front, each
    # with an outline one unit wide.
    if 2 <= x < 28 and 10 <= y < 28:
        if x < 3 or x >= 27 or y < 11 or y >= 27:
            return "k"
        return "b" if y < 14 else "f"
    if 2 <= x < 10 and 6 <= y < 10:
        return "k" if (x < 3 or x >= 9 or y < 7) else "b"
    return "."


def smooth_icon_pixel(size, samples=4):
    """The drawing at one size, each pixel the average of samples x samples
    points of it, so that edges are smooth."""
    step = 32.0 / (size * samples)

    def pixel(px, py):
        red = green = blue = alpha = 0
        for sy in range(samples):
            for sx in range(samples):
                x = (px * samples + sx + 0.5) * step
                y = (py * samples + sy + 0.5) * step
                r, g, b, a = ICON_COLOURS[icon_part(x, y)]
                red += r * a
                green += g * a
                blue += b * a
                alpha += a
        if alpha == 0:
            return (0, 0, 0, 0)
        return (round(red / alpha), round(green / alpha), round(blue / alpha), round(alpha / (samples * samples)))

    return pixel


def desktop_icon_bytes(size):
    """The program icon at one size: drawn for it at the small sizes (at
    32 x 32 the very MAINICON the window shows), the drawing smoothed at
    the others."""
    rows = SMALL_ICONS.get(size)
    if rows:
        assert len(rows) == size and all(len(row) == size for row in rows), "a small icon of the wrong size"
        return png_bytes(size, size, lambda x, y: ICON_COLOURS[rows[y][x]])
    # Where a pixel holds more of the drawing, finer sampling keeps its
    # edges even; at 128 and up 4 x 4 points are plenty.
    return png_bytes(size, size, smooth_icon_pixel(size, 8 if size < 128 else 4))


def main():
    if len(sys.argv) == 4 and sys.argv[1] == "--icon":
        with open(sys.argv[3], "wb") as out:
            out.write(desktop_icon_bytes(int(sys.argv[2])))
        return
    if len(sys.argv) != 1:
        sys.exit("usage: draw_images.py [--icon SIZE FILE]")
    for name, rows in {**DRIVES, **FOLDERS}.items():
        with open(os.path.join(HERE, name + ".bmp"), "wb") as out:
            out.write(bitmap_bytes(rows))
    with open(os.path.join(HERE, "MAINICON.png"), "wb") as out:
        out.write(desktop_icon_bytes(32))


if __name__ == "__main__":
    main()
