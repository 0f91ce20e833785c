#!/usr/bin/env python3
"""Draws the pictures of the logon dialog as 16-colour resources.

Writes into the resources folder (or the folder given as the first argument):
  logon_server.ico    icon 205, 32x32 and 16x16 - a computer
  logon_password.ico  icon 206, 32x32          - a key
  logon_user.ico      icon 207, 32x32          - a person
  logon_browse.bmp    bitmap 208, 16x15        - a magnifying glass
The output is deterministic, so the committed files can be regenerated and
compared.
"""
import os
import struct
import sys

# The standard 16-colour palette (index -> R, G, B).
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
BLACK, NAVY, OLIVE, SILVER, GRAY, YELLOW, BLUE, AQUA, WHITE, TEAL = 0, 4, 3, 7, 8, 11, 12, 14, 15, 6
CLEAR = None  # transparent pixel of an icon


class Canvas:
    def __init__(self, width, height, fill=CLEAR):
        self.width, self.height = width, height
        self.pixels = [[fill] * width for _ in range(height)]

    def put(self, x, y, colour):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.pixels[y][x] = colour

    def rect(self, x0, y0, x1, y1, colour):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.put(x, y, colour)

    def frame(self, x0, y0, x1, y1, colour):
        for x in range(x0, x1 + 1):
            self.put(x, y0, colour)
            self.put(x, y1, colour)
        for y in range(y0, y1 + 1):
            self.put(x0, y, colour)
            self.put(x1, y, colour)

    def disc(self, cx, cy, r, colour, outline=None):
        for y in range(self.height):
            for x in range(self.width):
                d = (x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2
                if d <= r * r:
                    edge = outline is not None and d > (r - 1.2) ** 2
                    self.put(x, y, outline if edge else colour)

    def scaled(self, width, height):
        out = Canvas(width, height)
        for y in range(height):
            for x in range(width):
                out.pixels[y][x] = self.pixels[y * self.height // height][x * self.width // width]
        return out


def computer(size=32):
    c = Canvas(32, 32)
    c.rect(3, 3, 28, 21, SILVER)      # monitor case
    c.frame(3, 3, 28, 21, BLACK)
    c.rect(6, 6, 25, 18, NAVY)        # screen
    c.rect(8, 8, 16, 9, AQUA)         # lines of text on the screen
    c.rect(8, 11, 21, 12, AQUA)
    c.rect(8, 14, 13, 15, AQUA)
    c.rect(13, 22, 18, 24, GRAY)      # stand
    c.rect(6, 25, 25, 28, SILVER)     # base
    c.frame(6, 25, 25, 28, BLACK)
    c.rect(20, 26, 23, 27, 10)        # power light (lime)
    return c if size == 32 else c.scaled(size, size)


def key():
    c = Canvas(32, 32)
    c.disc(10, 16, 8, YELLOW, outline=BLACK)  # bow
    c.disc(10, 16, 3, CLEAR)                  # hole
    c.rect(17, 14, 29, 18, YELLOW)            # shaft
    c.frame(17, 14, 29, 18, BLACK)
    c.rect(17, 15, 18, 17, YELLOW)            # shaft joins the bow
    c.rect(23, 19, 25, 23, YELLOW)            # bits
    c.frame(23, 19, 25, 23, BLACK)
    c.rect(27, 19, 29, 21, YELLOW)
    c.frame(27, 19, 29, 21, BLACK)
    return c


def person():
    c = Canvas(32, 32)
    c.disc(16, 20.5 + 12, 13, BLUE, outline=NAVY)  # shoulders
    c.rect(0, 30, 31, 31, CLEAR)
    c.disc(16, 10, 7, YELLOW, outline=OLIVE)       # head
    c.put(13, 9, BLACK)
    c.put(18, 9, BLACK)
    c.rect(14, 13, 17, 13, OLIVE)
    return c


def magnifier():
    c = Canvas(16, 15, fill=SILVER)   # button face; bitmaps have no transparency
    c.disc(6, 6, 5, AQUA, outline=BLACK)
    c.put(4, 4, WHITE)
    c.put(5, 3, WHITE)
    for i in range(5):                # handle
        c.put(10 + i, 10 + i, BLACK)
        c.put(11 + i, 10 + i, BLACK)
        c.put(10 + i, 11 + i, GRAY)
    return c


def palette_bytes():
    return b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)


def row_bytes_4bpp(row):
    data = bytearray()
    for x in range(0, len(row), 2):
        hi = row[x] or 0
        lo = (row[x + 1] or 0) if x + 1 < len(row) else 0
        data.append((hi << 4) | lo)
    while len(data) % 4:
        data.append(0)
    return bytes(data)


def row_bytes_mask(row):
    data = bytearray((len(row) + 7) // 8)
    for x, colour in enumerate(row):
        if colour is CLEAR:
            data[x // 8] |= 0x80 >> (x % 8)
    while len(data) % 4:
        data.append(0)
    return bytes(data)


def dib(canvas, with_mask):
    rows = list(reversed(canvas.pixels))  # bottom-up
    xor = b"".join(row_bytes_4bpp(r) for r in rows)
    mask = b"".join(row_bytes_mask(r) for r in rows) if with_mask else b""
    height = canvas.height * 2 if with_mask else canvas.height
    header = struct.pack("<IiiHHIIiiII", 40, canvas.width, height, 1, 4, 0, len(xor) + len(mask), 0, 0, 16, 0)
    return header + palette_bytes() + xor + mask


def icon(*canvases):
    images = [dib(c, True) for c in canvases]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for c, image in zip(canvases, images):
        out += struct.pack("<BBBBHHII", c.width, c.height, 16, 0, 1, 4, len(image), offset)
        offset += len(image)
    return out + b"".join(images)


def bitmap(canvas):
    info = dib(canvas, False)
    pixels_offset = 14 + 40 + 64
    return struct.pack("<2sIHHI", b"BM", 14 + len(info), 0, 0, pixels_offset) + info


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    target = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "resources")
    files = {
        "logon_server.ico": icon(computer(32), computer(16)),
        "logon_password.ico": icon(key()),
        "logon_user.ico": icon(person()),
        "logon_browse.bmp": bitmap(magnifier()),
    }
    for name, data in files.items():
        with open(os.path.join(target, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
