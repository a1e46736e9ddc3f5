#!/usr/bin/env python3
"""Writes the seed inputs that are binary or put together from several files: WinOLS-style
projects (fuzz_ols), whole project folders (fuzz_project) and real-size images for the
checksum modules (fuzz_checksums). Usage: make_seeds.py OUTDIR"""
import hashlib
import json
import os
import struct
import sys

out = sys.argv[1]


def u32(v):
    return struct.pack('<I', v & 0xFFFFFFFF)


def string(b):
    return u32(len(b)) + b


def tail(factor, offset, start, end):
    return struct.pack('<dd', factor, offset) + u32(start) + u32(end)


def ols_project(vendor, records):
    head = string(b'WinOLS File') + bytes(8)
    if vendor:
        head += string(vendor)
    head += string(b'010000') + bytes(8) + records
    firmware = bytes((i * 7) & 0xFF for i in range(0x10000))
    return head + firmware


def conversion(name, columns, rows, unit, factor, offset, start, end):
    return (string(name) + u32(columns) + u32(rows) + bytes(16) + b'Conversion method\0'
            + string(unit) + tail(factor, offset, start, end))


def bosch(name, columns, rows, text, factor, offset, start, end):
    marker = bytes.fromhex('020000000300000002000000' '0a000000')
    rec = marker + bytes(4) + string(name) + b'\0'
    e = len(rec)
    rec += bytes(61) + u32(columns) + u32(rows)
    rec += bytes(e + 85 - len(rec)) + string(text) + b'\0' + tail(factor, offset, start, end)
    return rec


def generic(name, columns, rows, factor, offset, start, end):
    return (u32(1) + u32(2) + u32(2) + u32(2) + u32(0x0A) + bytes(4) + string(name) + bytes(40)
            + u32(columns) + u32(rows) + tail(factor, offset, start, end))


def write(folder, name, data):
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), 'wb') as f:
        f.write(data)


ols = os.path.join(out, 'ols')
write(ols, 'marelli.ols', ols_project(b'Marelli', conversion(b'Injection', 8, 4, b'ms', 0.01, 0, 0x100, 0x140)))
write(ols, 'bosch.ols', ols_project(b'Bosch', bosch(b'KFMIRL', 6, 4, b'Torque', 0.5, -10, 0x200, 0x230)))
write(ols, 'generic.ols', ols_project(b'', generic(b'Boost limit', 4, 2, 1.0, 0, 0x400, 0x410)))

# A project folder: project.json, the original, its pack and record, one version.
image = bytes(range(256)) * 4
modified = bytearray(image)
modified[3] ^= 0xFF
sha = hashlib.sha256(image).hexdigest()
mod_sha = hashlib.sha256(bytes(modified)).hexdigest()


def pack(maps, digest, size):
    return json.dumps({'magic': 'TESSAMORVANDI_MAP_PACK', 'formatVersion': 1, 'firmwareSize': size,
                       'firmwareSha256': digest, 'maps': maps}, separators=(',', ':')).encode()


a_map = {'name': 'Boost', 'rows': 4, 'columns': 8, 'mapOffset': 16, 'xAxisOffset': 0,
         'yAxisOffset': -1, 'zElementSize': 2, 'dataType': 1, 'factor': 0.1}
project = json.dumps({'ecu': 'EDC17C46', 'software': '1037541778', 'fileName': 'dump.bin',
                      'fileExtension': 'bin', 'fileSize': len(image), 'originalSha256': sha,
                      'savedAt': '06/12/2026 15:00', 'projectFormat': 2}, indent=4).encode()
version = json.dumps({'name': 'Stage 1', 'savedAt': '06/12/2026 15:05', 'modified': True}).encode()
original = json.dumps({'name': 'Originale', 'savedAt': '06/12/2026 15:00', 'modified': False}).encode()
sep = b'#FILE#'
pieces = [project, image, pack([a_map], sha, len(image)), original, version, bytes(modified),
          pack([a_map, dict(a_map, name='Rail', mapOffset=200)], mod_sha, len(image)),
          json.dumps({'name': 'B', 'savedAt': 'yesterday'}).encode()]
write(os.path.join(out, 'project'), 'stage1', sep.join(pieces))

# Images of real sizes with nothing a checksum module looks for: random bytes and an erased
# flash (the first byte of a fuzz_checksums input says "the rest is the image").
noise = bytes((i * 2654435761 >> 13) & 0xFF for i in range(0x40000))
write(os.path.join(out, 'checksums'), 'random-256k', b'\x02' + noise)
write(os.path.join(out, 'checksums'), 'erased-512k', b'\x02' + b'\xff' * 0x80000)
