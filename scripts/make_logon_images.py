#!/usr/bin/env python3
"""Draws the pictures of the logon dialog.

Writes into the resources folder (or the folder given as the first argument):
  logon_server.ico    icon 205 - a computer
  logon_password.ico  icon 206 - a key
  logon_user.ico      icon 207 - a person
  logon_browse.bmp    bitmap 208, 16x15, 16 colours - a magnifying glass
Each icon first holds its 16-colour images (icon 205 a 32x32 and a 16x16,
icons 206 and 207 a 32x32), which older programs and tests read byte for
byte, and then a true-colour image with alpha for every standard size: 16,
20, 24, 32, 40, 48, 64 and 256 pixels, each PNG-compressed (uncompressed
they would triple the DLL's size; Windows Vista and later read PNG images of
any size). The true-colour images are drawn from shapes laid out on a 32-unit square and
smoothed from their distance fields, so each size is drawn for itself rather
than stretched. The output is deterministic, so the committed files can be
regenerated and compared.
"""
import math
import os
import struct
import sys
import zlib

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


def icon(entries):
    out = struct.pack("<HHH", 0, 1, len(entries))
    offset = 6 + 16 * len(entries)
    for (width, height, colours, bits), image in entries:
        out += struct.pack("<BBBBHHII", width, height, colours, 0, 1, bits, len(image), offset)
        offset += len(image)
    return out + b"".join(image for _, image in entries)


def bitmap(canvas):
    info = dib(canvas, False)
    pixels_offset = 14 + 40 + 64
    return struct.pack("<2sIHHI", b"BM", 14 + len(info), 0, 0, pixels_offset) + info


# --- True colour -------------------------------------------------------------
# A shape is a distance function over the 32-unit square: negative inside,
# positive outside, in units. Filling with it gives each pixel the share of
# it the shape covers, estimated from the distance at the pixel's centre.

TRUE_SIZES = (16, 20, 24, 32, 40, 48, 64, 256)


def box(x0, y0, x1, y1, radius=0.0):
    cx, cy, hx, hy = (x0 + x1) / 2, (y0 + y1) / 2, (x1 - x0) / 2 - radius, (y1 - y0) / 2 - radius

    def distance(x, y):
        dx, dy = abs(x - cx) - hx, abs(y - cy) - hy
        outside = math.hypot(max(dx, 0.0), max(dy, 0.0))
        return outside + min(max(dx, dy), 0.0) - radius
    return distance


def circle(cx, cy, r):
    return lambda x, y: math.hypot(x - cx, y - cy) - r


def bar(x0, y0, x1, y1, width):
    """A straight stroke with round ends."""
    dx, dy = x1 - x0, y1 - y0
    length2 = dx * dx + dy * dy

    def distance(x, y):
        t = max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / length2))
        return math.hypot(x - x0 - t * dx, y - y0 - t * dy) - width / 2
    return distance


def both(a, b):
    return lambda x, y: max(a(x, y), b(x, y))


def either(*shapes):
    return lambda x, y: min(shape(x, y) for shape in shapes)


def inset(shape, by):
    return lambda x, y: shape(x, y) + by


def vertical(top, bottom, y0, y1):
    """A colour that runs from top at y0 to bottom at y1."""
    def colour(x, y):
        t = max(0.0, min(1.0, (y - y0) / (y1 - y0)))
        return tuple(round(a + (b - a) * t) for a, b in zip(top, bottom))
    return colour


class Picture:
    """A square RGBA picture of size pixels, premultiplied while drawn."""

    def __init__(self, size):
        self.size = size
        self.unit = 32.0 / size           # units per pixel
        self.pixels = [[(0.0, 0.0, 0.0, 0.0)] * size for _ in range(size)]
        # Outlines are one pixel up to 32x32 and grow gently beyond.
        self.stroke = max(1.0, size / 40.0) * self.unit

    def _covered(self, shape):
        for y in range(self.size):
            uy = (y + 0.5) * self.unit
            for x in range(self.size):
                ux = (x + 0.5) * self.unit
                coverage = 0.5 - shape(ux, uy) / self.unit
                if coverage > 0.0:
                    yield x, y, ux, uy, min(coverage, 1.0)

    def fill(self, shape, colour, outline=None):
        if outline is not None:
            self.fill(shape, outline)
            shape = inset(shape, self.stroke)
        for x, y, ux, uy, coverage in self._covered(shape):
            r, g, b, *alpha = colour(ux, uy) if callable(colour) else colour
            a = coverage * (alpha[0] / 255.0 if alpha else 1.0)
            pr, pg, pb, pa = self.pixels[y][x]
            keep = 1.0 - a
            self.pixels[y][x] = (r * a + pr * keep, g * a + pg * keep, b * a + pb * keep, 255.0 * a + pa * keep)

    def clear(self, shape):
        for x, y, _, _, coverage in self._covered(shape):
            keep = 1.0 - coverage
            self.pixels[y][x] = tuple(c * keep for c in self.pixels[y][x])

    def rgba_rows(self):
        """Rows top-down of (R, G, B, A) bytes, no longer premultiplied."""
        rows = []
        for row in self.pixels:
            out = []
            for r, g, b, a in row:
                alpha = round(a)
                if alpha == 0:
                    out.append((0, 0, 0, 0))
                    continue
                scale = 255.0 / a
                out.append(tuple(min(255, round(c * scale)) for c in (r, g, b)) + (alpha,))
            rows.append(out)
        return rows


INK = (0x2B, 0x30, 0x36)


def computer_truecolour(size):
    p = Picture(size)
    p.fill(box(2.5, 2.5, 29.5, 22.5, 2.0), vertical((0xF0, 0xF2, 0xF5), (0xB8, 0xBE, 0xC6), 2.5, 22.5), INK)
    p.fill(box(5.5, 5.5, 26.5, 19.5, 0.8), vertical((0x2A, 0x5C, 0xB0), (0x10, 0x2C, 0x62), 5.5, 19.5))
    for x0, y0, x1 in ((8, 8, 17), (8, 11, 22), (8, 14, 14)):
        p.fill(box(x0, y0, x1, y0 + 1.6, 0.5), (0x8C, 0xE8, 0xFF))
    p.fill(box(12.5, 22, 19.5, 25.5), (0x7A, 0x82, 0x8C))
    p.fill(box(5.5, 24.5, 26.5, 29.5, 1.5), vertical((0xE6, 0xE9, 0xED), (0xA8, 0xAE, 0xB6), 24.5, 29.5), INK)
    p.fill(circle(22.5, 27, 1.4), (0x3C, 0xD2, 0x4B))
    return p


def key_truecolour(size):
    gold, dark = vertical((0xFF, 0xDE, 0x5C), (0xD9, 0x9A, 0x10), 8, 24), (0x6E, 0x4C, 0x00)
    p = Picture(size)
    shaft = box(16.5, 13.5, 30, 18.5, 1.0)
    p.fill(either(shaft, box(22.5, 17, 25.5, 23.5, 0.6), box(27, 17, 30, 21.5, 0.6)), gold, dark)
    p.fill(circle(10, 16, 8.5), gold, dark)                         # bow
    p.fill(circle(10, 16, 3.0), dark)
    p.clear(circle(10, 16, 3.0 - p.stroke))                         # hole
    p.fill(circle(7.5, 12.5, 1.6), (0xFF, 0xF6, 0xC8, 0xC0))       # shine
    return p


def person_truecolour(size):
    p = Picture(size)
    shoulders = both(circle(16, 32.5, 13.5), lambda x, y: y - 30.5)
    p.fill(shoulders, vertical((0x4A, 0x8C, 0xF0), (0x1C, 0x4C, 0xB0), 19, 30.5), (0x12, 0x2E, 0x70))
    p.fill(circle(16, 10, 7.5), vertical((0xFF, 0xDF, 0xB0), (0xF0, 0xB8, 0x7C), 3, 17), (0x8A, 0x5A, 0x26))
    p.fill(circle(13.3, 9.3, 0.9), INK)
    p.fill(circle(18.7, 9.3, 0.9), INK)
    p.fill(bar(13.8, 13, 18.2, 13, 0.9), (0x8A, 0x4A, 0x26))
    return p


def filter_row(kind, row, previous, bpp=4):
    """One row under one of the five PNG filters, with the filter's byte first."""
    def paeth(a, b, c):
        p = a + b - c
        pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
        return a if pa <= pb and pa <= pc else (b if pb <= pc else c)

    left = [row[i - bpp] if i >= bpp else 0 for i in range(len(row))]
    upleft = [previous[i - bpp] if i >= bpp else 0 for i in range(len(row))]
    predict = [
        lambda i: 0,
        lambda i: left[i],
        lambda i: previous[i],
        lambda i: (left[i] + previous[i]) // 2,
        lambda i: paeth(left[i], previous[i], upleft[i]),
    ][kind]
    return bytes([kind]) + bytes((row[i] - predict(i)) & 0xFF for i in range(len(row)))


def compressed_pixels(rows):
    """The picture's rows deflated under whichever one filter for all rows
    gives the fewest bytes."""
    best = None
    for kind in range(5):
        previous = bytes(len(rows[0]))
        raw = b""
        for row in rows:
            raw += filter_row(kind, row, previous)
            previous = row
        data = zlib.compress(raw, 9)
        if best is None or len(data) < len(best):
            best = data
    return best


def png(picture):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    rows = [bytes(v for pixel in row for v in pixel) for row in picture.rgba_rows()]
    header = struct.pack(">IIBBBBB", picture.size, picture.size, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", compressed_pixels(rows)) + chunk(b"IEND", b"")


def icon_entries(classic, draw):
    """Directory fields and image bytes: the 16-colour canvases as they always
    were, then the true-colour picture in every standard size."""
    entries = [((c.width, c.height, 16, 4), dib(c, True)) for c in classic]
    for size in TRUE_SIZES:
        picture = draw(size)
        entries.append(((size % 256, size % 256, 0, 32), png(picture)))
    return entries


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    target = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "resources")
    files = {
        "logon_server.ico": icon(icon_entries([computer(32), computer(16)], computer_truecolour)),
        "logon_password.ico": icon(icon_entries([key()], key_truecolour)),
        "logon_user.ico": icon(icon_entries([person()], person_truecolour)),
        "logon_browse.bmp": bitmap(magnifier()),
    }
    for name, data in files.items():
        with open(os.path.join(target, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
