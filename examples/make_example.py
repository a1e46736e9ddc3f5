#!/usr/bin/env python3
"""Writes tessa-demo.bin: a small synthetic ECU image to try every feature without a real dump.

The image is deterministic (same bytes on every run). It holds little-endian 16-bit maps
preceded by their axes in the three stored layouts the 2D map cut recognises, and the
identification strings an ECU image carries. The maps are listed in README.md.
"""
import math
import os
import struct
import sys

SIZE = 0x40000
image = bytearray(b"\xff" * SIZE)

# Code-like noise in the first 64 KiB, from a fixed linear congruential generator. Every fifth
# byte has its top bit set, so the noise never forms a printable run long enough to be taken
# for an identification string.
state = 0x1234ABCD
for i in range(0x10000):
    state = (state * 1103515245 + 12345) & 0x7FFFFFFF
    image[i] = (state >> 16) & 0xFF
    if i % 5 == 4:
        image[i] |= 0x80


def put_words(offset, words):
    for i, w in enumerate(words):
        struct.pack_into("<H", image, offset + 2 * i, int(w) & 0xFFFF)
    return offset + 2 * len(words)


def smooth_map(rows, columns, base, span, bend):
    """A smooth surface rising along both axes, like a torque or injection map."""
    values = []
    for r in range(rows):
        for c in range(columns):
            x = c / max(columns - 1, 1)
            y = r / max(rows - 1, 1)
            v = base + span * (0.55 * x + 0.45 * y + bend * math.sin(math.pi * x) * y)
            values.append(round(v))
    return values


def rising(count, start, step):
    return [start + i * step for i in range(count)]


# 1. Two counts (rows, columns), Y axis, X axis, then the data: 12 x 16 at 0x10000.
p = 0x10000 - 2 * (2 + 12 + 16)
p = put_words(p, [12, 16])
p = put_words(p, rising(12, 500, 500))          # Y: engine speed (rpm)
p = put_words(p, rising(16, 0, 64))             # X: load (raw)
assert p == 0x10000
put_words(0x10000, smooth_map(12, 16, 800, 2400, 0.25))

# 2. Count and X axis, count and Y axis, then the data: 8 rows x 10 columns at 0x12000.
p = 0x12000 - 2 * (1 + 10 + 1 + 8)
p = put_words(p, [10])
p = put_words(p, rising(10, 100, 150))          # X: accelerator pedal
p = put_words(p, [8])
p = put_words(p, rising(8, 1000, 500))          # Y: engine speed
assert p == 0x12000
put_words(0x12000, smooth_map(8, 10, 0, 30000, 0.4))

# 3. A one-row curve: count, X axis, then 16 values at 0x13000.
p = 0x13000 - 2 * (1 + 16)
p = put_words(p, [16])
p = put_words(p, rising(16, 2730, 100))         # X: coolant temperature (raw, 0.1 K)
assert p == 0x13000
put_words(0x13000, [round(1500 - 900 * (1 - math.exp(-i / 4))) for i in range(16)])

# 4. A 16 x 16 boost map without stored axes at 0x14000.
put_words(0x14000, smooth_map(16, 16, 1000, 1600, 0.1))

# Identification strings, each a printable run ended by a zero byte.
strings = [
    b"EDC17C46 Tessamorvandi demo image",
    b"1037541778P643A2XK",
    b"HW 0281017946 ",
    b"03L906018JL  5678",
    b"ENGINE CFFB 2.0 TDI",
]
p = 0x3F000
for s in strings:
    image[p:p + len(s)] = s
    image[p + len(s)] = 0
    p += len(s) + 16

out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "tessa-demo.bin")
if len(sys.argv) > 1:
    out = sys.argv[1]
with open(out, "wb") as f:
    f.write(image)
print(out)
