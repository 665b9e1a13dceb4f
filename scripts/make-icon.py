#!/usr/bin/env python3
"""Writes resources/quintarra.png: the program's icon, a tilted pie chart."""
import math
import pathlib
import struct
import zlib

SIZE = 64
SAMPLES = 4                      # per axis, for smooth edges
SLICES = [(0.45, (52, 101, 164)), (0.30, (237, 125, 49)), (0.25, (112, 173, 71))]
CX, CY, RX, RY, DEPTH = 32.0, 27.0, 29.0, 20.0, 9.0

def shade(colour, factor):
    return tuple(int(c * factor) for c in colour)

def slice_colour(angle):
    fraction = (angle % (2 * math.pi)) / (2 * math.pi)
    for share, colour in SLICES:
        if fraction < share:
            return colour
        fraction -= share
    return SLICES[-1][1]

def sample(x, y):
    """RGBA of one sample point."""
    dx, dy = (x - CX) / RX, (y - CY) / RY
    if dx * dx + dy * dy <= 1.0:                       # the top face
        angle = math.atan2(dy, dx) + math.pi / 2
        edge = 1.0 - (dx * dx + dy * dy)
        colour = slice_colour(angle)
        return (*shade(colour, 0.9 + 0.1 * edge), 255)
    for lift in range(int(DEPTH) + 1):                 # the rim below it
        dy2 = (y - lift - CY) / RY
        if dx * dx + dy2 * dy2 <= 1.0 and y - lift > CY:
            angle = math.atan2(dy2, dx) + math.pi / 2
            return (*shade(slice_colour(angle), 0.6), 255)
    return (0, 0, 0, 0)

def pixels():
    rows = []
    for py in range(SIZE):
        row = bytearray()
        for px in range(SIZE):
            acc = [0, 0, 0, 0]
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    r, g, b, a = sample(px + (sx + 0.5) / SAMPLES, py + (sy + 0.5) / SAMPLES)
                    acc = [acc[0] + r * a, acc[1] + g * a, acc[2] + b * a, acc[3] + a]
            alpha = acc[3]
            if alpha:
                row += bytes((acc[0] // alpha, acc[1] // alpha, acc[2] // alpha,
                              alpha // (SAMPLES * SAMPLES)))
            else:
                row += bytes(4)
        rows.append(bytes(row))
    return rows

def png(rows):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    raw = b"".join(b"\x00" + r for r in rows)
    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))

if __name__ == "__main__":
    out = pathlib.Path(__file__).resolve().parent.parent / "resources" / "quintarra.png"
    out.write_bytes(png(pixels()))
    print(out)
