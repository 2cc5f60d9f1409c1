#!/usr/bin/env python3
"""Draws the program's icons and folder bitmap as 16-colour pictures.

    resources/images/make_images.py      (rewrites app.ico, question.ico, folders.bmp)

The pictures are written as character art below, one character per pixel; the generated
files are kept in the repository so the build needs no Python.
"""
import os
import struct

# The 16-colour VGA palette, as (red, green, blue).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
# Character -> palette index; '.' is transparent in icons.
INK = {'K': 0, 'O': 3, 'N': 4, 'S': 7, 'G': 8, 'R': 9, 'Y': 11, 'B': 12, 'W': 15, '.': 0}

# Icon 104: an arrow coming down into a tray.
APP = """
................
......KKKK......
......KBBK......
......KBBK......
......KBBK......
......KBBK......
...KKKKBBKKKK...
....KBBBBBBK....
.....KBBBBK.....
......KBBK......
.K.....KK.....K.
.KS..........SK.
.KSSSSSSSSSSSSK.
.KGGGGGGGGGGGGK.
.KKKKKKKKKKKKKK.
................
"""

# Icon 105: a question mark in a blue disc.
QUESTION = """
.....KKKKKK.....
...KKBBBBBBKK...
..KBBBBBBBBBBK..
.KBBBWWWWWBBBBK.
.KBBWWBBBWWBBBK.
KBBBWWBBBWWBBBBK
KBBBBBBBWWBBBBBK
KBBBBBBWWBBBBBBK
KBBBBBWWBBBBBBBK
KBBBBBWWBBBBBBBK
.KBBBBBBBBBBBBK.
.KBBBBWWBBBBBBK.
..KBBBWWBBBBBK..
...KKBBBBBBKK...
.....KKKKKK.....
................
"""

# Bitmap 108: a closed folder (image 0) and an open one (image 1) on pure red, which the
# image list takes as transparent.
CLOSED = """
RRRRRRRRRRRRRRRR
RRRRRRRRRRRRRRRR
RRKKKKKRRRRRRRRR
RKYYYYYKRRRRRRRR
KYYYYYYYKKKKKKRR
KYYYYYYYYYYYYOKR
KYYYYYYYYYYYYOKR
KYYYYYYYYYYYYOKR
KYYYYYYYYYYYYOKR
KYYYYYYYYYYYYOKR
KYYYYYYYYYYYYOKR
KOOOOOOOOOOOOOKR
RKKKKKKKKKKKKKRR
RRRRRRRRRRRRRRRR
RRRRRRRRRRRRRRRR
RRRRRRRRRRRRRRRR
"""
OPEN = """
RRRRRRRRRRRRRRRR
RRRRRRRRRRRRRRRR
RRKKKKKRRRRRRRRR
RKWWWWWKRRRRRRRR
KWWWWWWWKKKKKRRR
KWOOOOOOOOOOOKRR
KWOKKKKKKKKKKKKK
KWKYYYYYYYYYYYYK
KOKYYYYYYYYYYYKR
KKYYYYYYYYYYYYKR
KKYYYYYYYYYYYKRR
KYYYYYYYYYYYYKRR
KKKKKKKKKKKKKRRR
RRRRRRRRRRRRRRRR
RRRRRRRRRRRRRRRR
RRRRRRRRRRRRRRRR
"""


def rows(art):
    lines = art.strip().split("\n")
    assert len(lines) == 16 and all(len(l) == 16 for l in lines), art
    return lines


def doubled(lines):
    return [''.join(c * 2 for c in line) for line in lines for _ in range(2)]


def palette_bytes():
    return b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in PALETTE)


def stride(width, bits):
    return (width * bits + 31) // 32 * 4


def pixel_rows_4bpp(lines):
    """Bottom-up rows of 4-bit palette indices, each padded to four bytes."""
    width = len(lines[0])
    out = b''
    for line in reversed(lines):
        row = bytearray(stride(width, 4))
        for x, c in enumerate(line):
            row[x // 2] |= INK[c] << (0 if x % 2 else 4)
        out += bytes(row)
    return out


def mask_rows(lines):
    """Bottom-up 1-bit AND mask: set where the icon is transparent."""
    width = len(lines[0])
    out = b''
    for line in reversed(lines):
        row = bytearray(stride(width, 1))
        for x, c in enumerate(line):
            if c == '.':
                row[x // 8] |= 0x80 >> (x % 8)
        out += bytes(row)
    return out


def info_header(width, height, image_size):
    return struct.pack('<IiiHHIIiiII', 40, width, height, 1, 4, 0, image_size, 0, 0, 16, 0)


def icon_image(lines):
    width, height = len(lines[0]), len(lines)
    bits = pixel_rows_4bpp(lines) + mask_rows(lines)
    return info_header(width, height * 2, len(bits)) + palette_bytes() + bits


def icon_file(art):
    images = [rows(art), doubled(rows(art))]  # 16 x 16 and 32 x 32
    bodies = [icon_image(lines) for lines in images]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for lines, body in zip(images, bodies):
        out += struct.pack('<BBBBHHII', len(lines[0]), len(lines), 16, 0, 1, 4, len(body), offset)
        offset += len(body)
    return out + b''.join(bodies)


def bitmap_file(*arts):
    pictures = [rows(a) for a in arts]
    lines = [''.join(p[y] for p in pictures) for y in range(16)]
    bits = pixel_rows_4bpp(lines)
    body = info_header(len(lines[0]), len(lines), len(bits)) + palette_bytes() + bits
    header = struct.pack('<2sIHHI', b'BM', 14 + len(body), 0, 0, 14 + 40 + 64)
    return header + body


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    outputs = {
        'app.ico': icon_file(APP),
        'question.ico': icon_file(QUESTION),
        'folders.bmp': bitmap_file(CLOSED, OPEN),
    }
    for name, data in outputs.items():
        with open(os.path.join(here, name), 'wb') as f:
            f.write(data)


if __name__ == '__main__':
    main()
