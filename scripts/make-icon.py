#!/usr/bin/env python3
"""Draws the program's icon, a tilted pie chart, from one set of numbers: the
icon theme files under resources/desktop/icons/hicolor/, PNG at 16 to 256 px
(also built into the program) and the scalable SVG."""
import math
import pathlib
import struct
import zlib

DESIGN = 64.0                    # the drawing's own units; every size scales from these
SAMPLES = 4                      # per axis, for smooth edges
SLICES = [(0.45, (52, 101, 164)), (0.30, (237, 125, 49)), (0.25, (112, 173, 71))]
CX, CY, RX, RY, DEPTH = 32.0, 27.0, 29.0, 20.0, 9.0
ICON_NAME = "com.marlowic.Quintarra"
THEME_SIZES = [16, 32, 48, 64, 128, 256]

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
    """RGBA of one sample point, in design units."""
    dx, dy = (x - CX) / RX, (y - CY) / RY
    if dx * dx + dy * dy <= 1.0:                       # the top face
        angle = math.atan2(dy, dx) + math.pi / 2
        edge = 1.0 - (dx * dx + dy * dy)
        colour = slice_colour(angle)
        return (*shade(colour, 0.9 + 0.1 * edge), 255)
    if abs(dx) <= 1.0 and y > CY:                      # the rim below it
        lift = max(0.0, y - CY - RY * math.sqrt(1.0 - dx * dx))
        if lift <= DEPTH:
            dy2 = (y - lift - CY) / RY
            angle = math.atan2(dy2, dx) + math.pi / 2
            return (*shade(slice_colour(angle), 0.6), 255)
    return (0, 0, 0, 0)

def pixels(size):
    scale = DESIGN / size
    rows = []
    for py in range(size):
        row = bytearray()
        for px in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    r, g, b, a = sample((px + (sx + 0.5) / SAMPLES) * scale,
                                        (py + (sy + 0.5) / SAMPLES) * scale)
                    acc = [acc[0] + r * a, acc[1] + g * a, acc[2] + b * a, acc[3] + a]
            alpha = acc[3]
            if alpha:
                row += bytes((acc[0] // alpha, acc[1] // alpha, acc[2] // alpha,
                              alpha // (SAMPLES * SAMPLES)))
            else:
                row += bytes(4)
        rows.append(bytes(row))
    return rows

def png(size):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    raw = b"".join(b"\x00" + r for r in pixels(size))
    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))

def svg():
    def point(theta, lift=0.0):
        return CX + RX * math.cos(theta), CY + lift + RY * math.sin(theta)
    def hexcolour(colour):
        return "#%02x%02x%02x" % colour
    parts = []
    rims, faces = [], []
    start = 0.0
    for share, colour in SLICES:
        a1 = 2 * math.pi * start - math.pi / 2
        a2 = 2 * math.pi * (start + share) - math.pi / 2
        start += share
        # The rim shows below the face only, where the angle lies in (0, pi).
        r1, r2 = max(a1, 0.0), min(a2, math.pi)
        if r1 < r2:
            (x1, y1), (x2, y2) = point(r1), point(r2)
            (x3, y3), (x4, y4) = point(r2, DEPTH), point(r1, DEPTH)
            rims.append(f'<path fill="{hexcolour(shade(colour, 0.6))}" d="M{x1:.3f},{y1:.3f} '
                        f'A{RX},{RY} 0 0,1 {x2:.3f},{y2:.3f} L{x3:.3f},{y3:.3f} '
                        f'A{RX},{RY} 0 0,0 {x4:.3f},{y4:.3f} Z"/>')
        (x1, y1), (x2, y2) = point(a1), point(a2)
        large = 1 if a2 - a1 > math.pi else 0
        faces.append(f'<path fill="{hexcolour(shade(colour, 0.95))}" d="M{CX},{CY} L{x1:.3f},{y1:.3f} '
                     f'A{RX},{RY} 0 {large},1 {x2:.3f},{y2:.3f} Z"/>')
    parts += rims + faces
    body = "\n  ".join(parts)
    return (f'<svg xmlns="http://www.w3.org/2000/svg" width="{int(DESIGN)}" height="{int(DESIGN)}" '
            f'viewBox="0 0 {int(DESIGN)} {int(DESIGN)}">\n  {body}\n</svg>\n')

if __name__ == "__main__":
    resources = pathlib.Path(__file__).resolve().parent.parent / "resources"
    theme = resources / "desktop" / "icons" / "hicolor"
    for size in THEME_SIZES:
        folder = theme / f"{size}x{size}" / "apps"
        folder.mkdir(parents=True, exist_ok=True)
        (folder / f"{ICON_NAME}.png").write_bytes(png(size))
    scalable = theme / "scalable" / "apps"
    scalable.mkdir(parents=True, exist_ok=True)
    (scalable / f"{ICON_NAME}.svg").write_text(svg())
    print(theme)
