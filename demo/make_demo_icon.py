#!/usr/bin/env python3
"""Draws the demo client's icon (demo_client.ico, 32x32 and 16x16, 16 colours):
a book in the product's blue with a white "Q" on its cover. Uses the drawing
helpers of scripts/make_logon_images.py; the output is deterministic.
Writes beside this script, or into the folder given as the first argument.
"""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "scripts"))
from make_logon_images import Canvas, icon, BLACK, NAVY, BLUE, WHITE, SILVER, YELLOW  # noqa: E402


def book():
    c = Canvas(32, 32)
    c.rect(4, 2, 27, 29, NAVY)          # back cover, seen as the spine's edge
    c.rect(6, 2, 28, 27, WHITE)         # pages
    c.frame(6, 2, 28, 27, SILVER)
    c.rect(3, 1, 25, 27, BLUE)          # front cover
    c.frame(3, 1, 25, 27, BLACK)
    c.rect(3, 1, 5, 27, NAVY)           # spine
    c.disc(15.5, 13, 7, WHITE)          # the letter Q: a ring ...
    c.disc(15.5, 13, 4, BLUE)
    for i in range(5):                  # ... and its tail
        c.put(17 + i, 16 + i, WHITE)
        c.put(18 + i, 16 + i, WHITE)
        c.put(17 + i, 17 + i, WHITE)
    c.rect(8, 23, 22, 24, YELLOW)       # title band
    return c


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    target = sys.argv[1] if len(sys.argv) > 1 else here
    image = book()
    with open(os.path.join(target, "demo_client.ico"), "wb") as f:
        f.write(icon(image, image.scaled(16, 16)))


if __name__ == "__main__":
    main()
