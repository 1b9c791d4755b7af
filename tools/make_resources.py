#!/usr/bin/env python3
"""Draws the program's icon (a small calendar page) and the link control's hand cursor.

Writes src/res/quillidar.ico (16, 20, 24, 32 and 48 pixels in 16 colours, each drawn at its own size
so that small ones stay sharp, and 256 pixels as a PNG image) and src/res/link_hand.cur (32x32
monochrome, hot spot 0,0). The outputs are committed; run this only to change the pictures.
"""
import os
import struct
import zlib

VGA = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
       (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
       (255, 0, 255), (0, 255, 255), (255, 255, 255)]
T = None  # transparent
K, MAROON, GREY, SILVER, RED, BLUE, WHITE = 0, 1, 8, 7, 9, 12, 15


def calendar_page(n):
    """A page with a red binding strip, two rings, and a grid of days; one day marked blue."""
    img = [[T] * n for _ in range(n)]
    s = n / 32.0
    left, right, top, bottom = round(3 * s), n - 1 - round(3 * s), round(5 * s), n - 1 - round(2 * s)
    for y in range(top, bottom + 1):
        for x in range(left, right + 1):
            img[y][x] = WHITE
    band = top + max(2, round(7 * s))
    for y in range(top, band):
        for x in range(left, right + 1):
            img[y][x] = RED
    for x in range(left, right + 1):
        img[top][x] = MAROON
        img[bottom][x] = GREY
    for y in range(top, bottom + 1):
        img[y][left] = MAROON if y < band else GREY
        img[y][right] = MAROON if y < band else GREY
    ring = max(1, round(s))
    for rx in (left + round(6 * s), right - round(6 * s)):
        for y in range(max(0, top - round(3 * s)), top + round(3 * s)):
            for w in range(ring):
                img[y][rx + w] = SILVER if n > 16 else K
            if n > 16:
                img[y][rx + ring] = GREY
    rows, cols = 4, 5
    gx0, gy0 = left + round(3 * s), band + round(3 * s)
    cw = (right - left - round(5 * s)) / cols
    ch = (bottom - band - round(4 * s)) / rows
    for r in range(rows):
        for c in range(cols):
            x0, y0 = gx0 + round(c * cw), gy0 + round(r * ch)
            colour = BLUE if (r, c) == (2, 3) else GREY
            # Square days: the hand-tuned sizes up to 32 pixels, and three fifths of a cell above.
            if n > 32:
                size = max(2, round(min(cw, ch) * 0.6))
            else:
                size = max(1, round(cw) - 2) if n > 16 else 1
            for dy in range(size if n > 16 else 1):
                for dx in range(size):
                    if 0 <= y0 + dy < bottom and x0 + dx < right:
                        img[y0 + dy][x0 + dx] = colour
    return img


def dib_4bpp(img):
    n = len(img)
    header = struct.pack('<IiiHHIIiiII', 40, n, n * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in VGA)
    xor = b''
    row_bytes = ((n * 4 + 31) // 32) * 4
    for y in reversed(range(n)):
        row = bytearray(row_bytes)
        for x in range(n):
            v = img[y][x] if img[y][x] is not None else 0
            row[x // 2] |= v << (4 if x % 2 == 0 else 0)
        xor += bytes(row)
    and_mask = mono_rows([[img[y][x] is None for x in range(n)] for y in range(n)])
    return header + palette + xor + and_mask


def mono_rows(bits):
    n = len(bits)
    row_bytes = ((len(bits[0]) + 31) // 32) * 4
    out = b''
    for y in reversed(range(n)):
        row = bytearray(row_bytes)
        for x, on in enumerate(bits[y]):
            if on:
                row[x // 8] |= 0x80 >> (x % 8)
        out += bytes(row)
    return out


def png_rgba(img):
    """The large image as a PNG, as icon files hold 256-pixel images: 8-bit RGBA, transparent around."""
    n = len(img)
    raw = b''
    for y in range(n):
        raw += b'\x00'
        for x in range(n):
            v = img[y][x]
            raw += bytes(VGA[v]) + b'\xff' if v is not None else b'\x00\x00\x00\x00'

    def chunk(kind, data):
        return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data) & 0xffffffff)

    header = struct.pack('>IIBBBBB', n, n, 8, 6, 0, 0, 0)
    return b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', header) + chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b'')


def write_ico(path, images):
    entries, blobs = b'', b''
    offset = 6 + 16 * len(images)
    for img in images:
        n = len(img)
        if n >= 256:
            blob = png_rgba(img)
            entries += struct.pack('<BBBBHHII', 0, 0, 0, 0, 1, 32, len(blob), offset)
            blobs += blob
            offset += len(blob)
            continue
        blob = dib_4bpp(img)
        entries += struct.pack('<BBBBHHII', n, n, 16, 0, 1, 4, len(blob), offset)
        blobs += blob
        offset += len(blob)
    with open(path, 'wb') as f:
        f.write(struct.pack('<HHH', 0, 1, len(images)) + entries + blobs)


HAND = [
    "..XX............",
    ".X..X...........",
    ".X..X...........",
    ".X..X...........",
    ".X..X...........",
    ".X..XXX.........",
    ".X..X..XXX......",
    ".X..X..X..XX....",
    ".X..X..X..X.X...",
    "XXX.X..X..X..X..",
    "X..XX........X..",
    "X...X........X..",
    ".X...........X..",
    "..X..........X..",
    "..X.........X...",
    "...X........X...",
    "....X......X....",
    ".....X.....X....",
    ".....XXXXXXX....",
]


def write_cur(path):
    """A pointing hand whose fingertip is the top-left pixel (0, 0) of the image."""
    n = 32
    outline = [[False] * n for _ in range(n)]
    fill = [[False] * n for _ in range(n)]
    for y, line in enumerate(HAND):
        xs = [x for x, ch in enumerate(line) if ch == 'X']
        for x in xs:
            outline[y][x] = True
        if len(xs) >= 2:
            for x in range(xs[0] + 1, xs[-1]):
                if not outline[y][x]:
                    fill[y][x] = True
    # Shift the drawing so the fingertip's first dark pixel sits at (0, 0).
    tip_x = HAND[0].index('X')
    outline = [row[tip_x:] + [False] * tip_x for row in outline]
    fill = [row[tip_x:] + [False] * tip_x for row in fill]
    # XOR bit 1 = white; AND bit 1 = transparent. Outline: black opaque; fill: white opaque.
    xor_bits = [[fill[y][x] for x in range(n)] for y in range(n)]
    and_bits = [[not (outline[y][x] or fill[y][x]) for x in range(n)] for y in range(n)]
    header = struct.pack('<IiiHHIIiiII', 40, n, n * 2, 1, 1, 0, 0, 0, 0, 2, 0)
    palette = struct.pack('<BBBB', 0, 0, 0, 0) + struct.pack('<BBBB', 255, 255, 255, 0)
    blob = header + palette + mono_rows(xor_bits) + mono_rows(and_bits)
    entry = struct.pack('<BBBBHHII', n, n, 0, 0, 0, 0, len(blob), 6 + 16)
    with open(path, 'wb') as f:
        f.write(struct.pack('<HHH', 0, 2, 1) + entry + blob)


if __name__ == '__main__':
    res = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'src', 'res')
    write_ico(os.path.join(res, 'quillidar.ico'), [calendar_page(n) for n in (256, 48, 32, 24, 20, 16)])
    write_cur(os.path.join(res, 'link_hand.cur'))
