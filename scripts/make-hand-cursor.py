#!/usr/bin/env python3
"""Writes resources/HAND-M.CUR: a 32x32 Windows cursor of a pointing hand,
32-bit colour with an AND mask, hotspot at the tip of the index finger."""
import pathlib
import struct

HAND = [
    "     ##           ",
    "    #..#          ",
    "    #..#          ",
    "    #..#          ",
    "    #..#          ",
    "    #..###        ",
    "    #..#..###     ",
    "    #..#..#..##   ",
    "    #..#..#..#.#  ",
    "##  #..#..#..#..# ",
    "#..##...........# ",
    "#...#...........# ",
    " #..............# ",
    "  #.............# ",
    "  #.............# ",
    "   #............# ",
    "   #...........#  ",
    "    #..........#  ",
    "    #.........#   ",
    "     #........#   ",
    "     #........#   ",
    "     ##########   ",
]
SIZE = 32
OFFSET_X, OFFSET_Y = 2, 1
HOTSPOT = (OFFSET_X + HAND[0].index("#"), OFFSET_Y)

def pixel(x, y):
    """BGRA of the cursor pixel at (x, y), top-down."""
    hx, hy = x - OFFSET_X, y - OFFSET_Y
    if 0 <= hy < len(HAND) and 0 <= hx < len(HAND[hy]):
        c = HAND[hy][hx]
        if c == "#":
            return (0, 0, 0, 255)
        if c == ".":
            return (255, 255, 255, 255)
    return (0, 0, 0, 0)

def cursor_bytes():
    xor = bytearray()
    mask = bytearray()
    for y in reversed(range(SIZE)):          # DIB rows go bottom-up
        bits = 0
        for x in range(SIZE):
            b, g, r, a = pixel(x, y)
            xor += bytes((b, g, r, a))
            bits = (bits << 1) | (1 if a == 0 else 0)
        mask += struct.pack(">I", bits)      # 32 pixels fill one 32-bit row exactly
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 32, 0,
                         len(xor) + len(mask), 0, 0, 0, 0)
    image = header + bytes(xor) + bytes(mask)
    directory = struct.pack("<HHH", 0, 2, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, HOTSPOT[0], HOTSPOT[1], len(image), 6 + 16)
    return directory + entry + image

if __name__ == "__main__":
    out = pathlib.Path(__file__).resolve().parent.parent / "resources" / "HAND-M.CUR"
    out.write_bytes(cursor_bytes())
    print(f"{out}: hotspot {HOTSPOT}")
