#!/usr/bin/env python3
"""Writes tessa-demo.bin: a small synthetic ECU image to try every feature without a real dump.

The image is deterministic (same bytes on every run). It holds little-endian 16-bit maps
preceded by their axes in the three stored layouts the 2D map cut recognises, and the
identification strings an ECU image carries. The maps are listed in README.md.

With --version 2 it writes tessa-demo-v2.bin instead: another software version of the same
family, whose maps (with their axes) lie a few hundred bytes away from the first version's and
whose map values differ by a few per cent, for trying a driver made from the first image.

usage: make_example.py [--version 2] [OUT]
"""
import math
import os
import struct
import sys

args = sys.argv[1:]
version = 1
if args[:1] == ["--version"]:
    version = int(args[1])
    args = args[2:]
assert version in (1, 2)

# Where each map lies relative to the first version, and how its values are scaled.
SHIFT = {1: [0, 0, 0, 0], 2: [0x140, 0x1C0, -0x120, 0x260]}[version]
SCALE = {1: [1.0, 1.0, 1.0, 1.0], 2: [1.03, 0.97, 1.02, 1.04]}[version]

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


def smooth_map(rows, columns, base, span, bend, scale=1.0):
    """A smooth surface rising along both axes, like a torque or injection map."""
    values = []
    for r in range(rows):
        for c in range(columns):
            x = c / max(columns - 1, 1)
            y = r / max(rows - 1, 1)
            v = base + span * (0.55 * x + 0.45 * y + bend * math.sin(math.pi * x) * y)
            values.append(round(v * scale) if scale != 1.0 else round(v))
    return values


def rising(count, start, step):
    return [start + i * step for i in range(count)]


# 1. Two counts (rows, columns), Y axis, X axis, then the data: 12 x 16 at 0x10000.
z = 0x10000 + SHIFT[0]
p = z - 2 * (2 + 12 + 16)
p = put_words(p, [12, 16])
p = put_words(p, rising(12, 500, 500))          # Y: engine speed (rpm)
p = put_words(p, rising(16, 0, 64))             # X: load (raw)
assert p == z
put_words(z, smooth_map(12, 16, 800, 2400, 0.25, SCALE[0]))

# 2. Count and X axis, count and Y axis, then the data: 8 rows x 10 columns at 0x12000.
z = 0x12000 + SHIFT[1]
p = z - 2 * (1 + 10 + 1 + 8)
p = put_words(p, [10])
p = put_words(p, rising(10, 100, 150))          # X: accelerator pedal
p = put_words(p, [8])
p = put_words(p, rising(8, 1000, 500))          # Y: engine speed
assert p == z
put_words(z, smooth_map(8, 10, 0, 30000, 0.4, SCALE[1]))

# 3. A one-row curve: count, X axis, then 16 values at 0x13000.
z = 0x13000 + SHIFT[2]
p = z - 2 * (1 + 16)
p = put_words(p, [16])
p = put_words(p, rising(16, 2730, 100))         # X: coolant temperature (raw, 0.1 K)
assert p == z
put_words(z, [round(SCALE[2] * round(1500 - 900 * (1 - math.exp(-i / 4)))) for i in range(16)])

# 4. A 16 x 16 boost map without stored axes at 0x14000.
put_words(0x14000 + SHIFT[3], smooth_map(16, 16, 1000, 1600, 0.1, SCALE[3]))

# Identification strings, each a printable run ended by a zero byte.
strings = [
    b"EDC17C46 Tessamorvandi demo image",
    b"1037541778P643A2XK" if version == 1 else b"1037541779P643A2XL",
    b"HW 0281017946 ",
    b"03L906018JL  5678",
    b"ENGINE CFFB 2.0 TDI",
]
p = 0x3F000
for s in strings:
    image[p:p + len(s)] = s
    image[p + len(s)] = 0
    p += len(s) + 16

out = os.path.join(os.path.dirname(os.path.abspath(__file__)),
                   "tessa-demo.bin" if version == 1 else "tessa-demo-v2.bin")
if args:
    out = args[0]
with open(out, "wb") as f:
    f.write(image)
print(out)
