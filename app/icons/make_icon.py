#!/usr/bin/env python3
"""Draws the PAC window icon: a detector array (blue tiles) under an exposure
ramp (amber staircase), and writes it as a 32 x 32, 32-bit Windows icon file.

Run from this folder: python3 make_icon.py
"""
import struct

SIZE = 32
BACKGROUND = (0, 0, 0, 0)
FRAME = (30, 50, 90, 255)
TILE = (70, 130, 200, 255)
TILE_LIT = (150, 200, 245, 255)
RAMP = (245, 170, 40, 255)


def draw():
    px = [[BACKGROUND for _ in range(SIZE)] for _ in range(SIZE)]
    # rounded frame of the sensor package
    for y in range(2, 30):
        for x in range(2, 30):
            corner = (x in (2, 29)) and (y in (2, 29))
            if not corner:
                px[y][x] = FRAME
    # 4 x 4 array of pixel tiles, the upper-left diagonal lit
    for row in range(4):
        for col in range(4):
            colour = TILE_LIT if row + col < 3 else TILE
            for y in range(5 + row * 6, 10 + row * 6):
                for x in range(5 + col * 6, 10 + col * 6):
                    px[y][x] = colour
    # the ramp: a rising staircase of reads across the array
    steps = [(4, 25), (10, 20), (16, 15), (22, 10), (28, 5)]
    prev_x, prev_y = 3, 25
    for sx, sy in steps:
        for x in range(prev_x, sx + 1):
            for t in (0, 1):
                px[prev_y + t][x] = RAMP
        for y in range(sy, prev_y + 2):
            px[y][sx] = RAMP
            px[y][min(sx + 1, SIZE - 1)] = RAMP
        prev_x, prev_y = sx, sy
    return px


def ico_bytes(px):
    # BMP payload: header with doubled height (XOR + AND masks), bottom-up BGRA rows
    header = struct.pack('<IiiHHIIiiII', 40, SIZE, SIZE * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    xor = b''.join(struct.pack('BBBB', b, g, r, a)
                   for row in reversed(px) for (r, g, b, a) in row)
    # AND mask: one bit per pixel, 32 bits per row (already 4-byte aligned)
    and_mask = b''
    for row in reversed(px):
        bits = 0
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits |= 1 << (31 - x)
        and_mask += struct.pack('>I', bits)
    image = header + xor + and_mask
    directory = struct.pack('<HHH', 0, 1, 1)
    entry = struct.pack('<BBBBHHII', SIZE, SIZE, 0, 0, 1, 32, len(image), 6 + 16)
    return directory + entry + image


if __name__ == '__main__':
    with open('Dovrane_logo_only2_transparent_Windows.ico', 'wb') as f:
        f.write(ico_bytes(draw()))
