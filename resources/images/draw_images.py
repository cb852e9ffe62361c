#!/usr/bin/env python3
"""Draws the selector images and the program icon of Kivra.

The eight selector images are 16-colour Windows bitmaps (4 bits per pixel,
bottom-up rows) whose bottom-left pixel is pure blue (0, 0, 255): the key
colour that drawing shows as the item's background. The icon MAINICON is a
32 x 32 PNG: a folder under a magnifying glass.

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


def icon_pixel(size):
    """The icon drawn on a 32-unit square, sampled for one size."""
    scale = size / 32.0
    outline = (40, 40, 40, 255)
    folder_back = (214, 160, 30, 255)
    folder_front = (250, 204, 70, 255)
    glass = (190, 230, 255, 255)
    rim = (30, 60, 120, 255)
    handle = (120, 70, 20, 255)

    def pixel(px, py):
        x = (px + 0.5) / scale
        y = (py + 0.5) / scale
        # Magnifier: ring centred at (20, 16), radius 7.5 outside, 5.5 inside;
        # handle from the ring toward the bottom right.
        dx, dy = x - 20.0, y - 16.0
        r2 = dx * dx + dy * dy
        if r2 <= 5.5 * 5.5:
            return glass
        if r2 <= 7.5 * 7.5:
            return rim
        hx, hy = x - 25.5, y - 21.5
        along = (hx + hy) / 2 ** 0.5
        across = (hx - hy) / 2 ** 0.5
        if 0 <= along <= 8.5 and abs(across) <= 1.8:
            return handle
        # Folder: tab, back and front.
        if 3 <= x <= 12 and 6 <= y <= 9:
            return outline if (x < 4 or x > 11 or y < 7) else folder_back
        if 3 <= x <= 27 and 9 <= y <= 27:
            if x < 4 or x > 26 or y < 10 or y > 26:
                return outline
            return folder_front if y >= 13 else folder_back
        return (0, 0, 0, 0)

    return pixel


def smooth_icon_pixel(size, samples=4):
    """The icon at any size, each pixel the average of samples x samples
    points of the drawing, so that edges are smooth at every scale."""
    fine = icon_pixel(size * samples)

    def pixel(px, py):
        red = green = blue = alpha = 0
        for sy in range(samples):
            for sx in range(samples):
                r, g, b, a = fine(px * samples + sx, py * samples + sy)
                red += r * a
                green += g * a
                blue += b * a
                alpha += a
        if alpha == 0:
            return (0, 0, 0, 0)
        return (round(red / alpha), round(green / alpha), round(blue / alpha), round(alpha / (samples * samples)))

    return pixel


def desktop_icon_bytes(size):
    """The program icon for the desktop at one size: at 32 x 32 the very
    MAINICON the window shows, at other sizes the same drawing smoothed."""
    if size == 32:
        return png_bytes(32, 32, icon_pixel(32))
    return png_bytes(size, size, smooth_icon_pixel(size))


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
        out.write(png_bytes(32, 32, icon_pixel(32)))


if __name__ == "__main__":
    main()
