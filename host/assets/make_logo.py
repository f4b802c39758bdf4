#!/usr/bin/env python3
"""Draws the dashboard logo (host/assets/logo.png): a purple disc with a four-point star.

Run from anywhere: python3 host/assets/make_logo.py. Only the standard library is used,
so the picture can be regenerated on any machine and the PNG stays reproducible.
"""
import math
import os
import struct
import zlib

SIZE = 128
SUPERSAMPLE = 4
INNER = (115, 89, 230)   # primary
OUTER = (153, 115, 255)  # primaryBright
STAR = (244, 240, 255)


def in_star(x, y):
    # An astroid: a sparkle with four sharp points on the axes.
    return abs(x) ** (2 / 3) + abs(y) ** (2 / 3) <= 0.66 ** (2 / 3)


def sample(x, y):
    """Colour and coverage of one sub-sample in [-1, 1]^2."""
    r = math.hypot(x, y)
    if r > 0.96:
        return None
    if in_star(x, y):
        return STAR
    ring = 0.86 <= r <= 0.96
    t = min(1.0, r / 0.96)
    base = tuple(int(INNER[i] + (OUTER[i] - INNER[i]) * t) for i in range(3))
    if ring:
        return tuple(min(255, c + 30) for c in base)
    return base


def pixel(px, py):
    total = [0, 0, 0]
    hits = 0
    for sy in range(SUPERSAMPLE):
        for sx in range(SUPERSAMPLE):
            x = ((px + (sx + 0.5) / SUPERSAMPLE) / SIZE) * 2 - 1
            y = ((py + (sy + 0.5) / SUPERSAMPLE) / SIZE) * 2 - 1
            c = sample(x, y)
            if c is None:
                continue
            hits += 1
            for i in range(3):
                total[i] += c[i]
    if hits == 0:
        return (0, 0, 0, 0)
    alpha = round(255 * hits / SUPERSAMPLE ** 2)
    return tuple(round(total[i] / hits) for i in range(3)) + (alpha,)


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def main():
    rows = bytearray()
    for py in range(SIZE):
        rows.append(0)  # filter: none
        for px in range(SIZE):
            rows.extend(pixel(px, py))
    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(rows), 9))
    png += chunk(b"IEND", b"")
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "logo.png")
    with open(out, "wb") as f:
        f.write(png)


if __name__ == "__main__":
    main()
