#!/usr/bin/env python3
"""Writes tessa-demo.tvp: the map pack of tessa-demo.bin with the four maps listed in README.md.

Deterministic: the same image gives the same file. Import it with
"Importa pacchetto mappe..." on an open tessa-demo.bin (the pack fits that image only).
"""
import hashlib
import json
import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
image_path = os.path.join(HERE, "tessa-demo.bin")
out_path = os.path.join(HERE, "tessa-demo.tvp")
if len(sys.argv) > 1:
    image_path = sys.argv[1]
if len(sys.argv) > 2:
    out_path = sys.argv[2]

with open(image_path, "rb") as f:
    image = f.read()


def words(offset, count):
    return [struct.unpack_from("<H", image, offset + 2 * i)[0] for i in range(count)]


def definition(**fields):
    """A map record with every key of the JSON form, defaults first."""
    d = {
        "name": "", "description": "", "comment": "", "characteristicType": "MAP",
        "recordLayout": "", "zColumnMajor": False, "rows": 0, "columns": 0,
        "mapOffset": -1, "xAxisOffset": -1, "yAxisOffset": -1, "headerOffset": -1,
        "xAxis": [], "yAxis": [], "dataType": 1, "xDataType": 1, "yDataType": 1,
        "xAxisSource": 1, "yAxisSource": 1, "littleEndian": True, "xLittleEndian": True,
        "yLittleEndian": True, "zElementSize": 2, "xElementSize": 2, "yElementSize": 2,
        "factor": 1.0, "offset": 0.0, "decimals": 0, "unit": "", "compuMethod": "",
        "xAxisName": "", "xAxisDescription": "", "xUnit": "", "xCompuMethod": "",
        "xFactor": 1.0, "xOffsetFactor": 0.0, "xDecimals": 0,
        "yAxisName": "", "yAxisDescription": "", "yUnit": "", "yCompuMethod": "",
        "yFactor": 1.0, "yOffsetFactor": 0.0, "yDecimals": 0,
        "minimum": 0.0, "maximum": 0.0, "xMinimum": 0.0, "xMaximum": 0.0,
        "yMinimum": 0.0, "yMaximum": 0.0,
    }
    for key in fields:
        assert key in d, key
    d.update(fields)
    if d["xAxisSource"] == 1 and d["xAxisOffset"] >= 0:
        d["xAxis"] = words(d["xAxisOffset"], d["columns"])
    elif d["xAxisSource"] == 0:
        d["xAxis"] = list(range(1, d["columns"] + 1))
    if d["yAxisSource"] == 1 and d["yAxisOffset"] >= 0:
        d["yAxis"] = words(d["yAxisOffset"], d["rows"])
    elif d["yAxisSource"] == 0:
        d["yAxis"] = list(range(1, d["rows"] + 1))
    return d


maps = [
    definition(name="Coppia richiesta", description="Coppia richiesta dal conducente",
               rows=12, columns=16, mapOffset=0x10000,
               xAxisOffset=0xFFE0, yAxisOffset=0xFFC8, headerOffset=0xFFC4,
               factor=0.1, decimals=1, unit="Nm",
               xAxisName="Carico", xUnit="%", xFactor=0.1, xDecimals=1,
               yAxisName="Regime motore", yUnit="rpm"),
    definition(name="Limitatore pedale", description="Limite di coppia per posizione pedale",
               rows=8, columns=10, mapOffset=0x12000,
               xAxisOffset=0x11FDA, yAxisOffset=0x11FF0,
               factor=0.003052, decimals=1, unit="%",
               xAxisName="Pedale acceleratore", xUnit="%", xFactor=0.0625, xDecimals=1,
               yAxisName="Regime motore", yUnit="rpm"),
    definition(name="Correzione temperatura", description="Correzione per temperatura motore",
               characteristicType="CURVE", rows=1, columns=16, mapOffset=0x13000,
               xAxisOffset=0x12FE0, yAxisSource=0,
               factor=0.001, decimals=3, unit="-",
               xAxisName="Temperatura liquido", xUnit="°C", xFactor=0.1, xOffsetFactor=-273.0,
               xDecimals=1),
    definition(name="Pressione turbo", description="Pressione di sovralimentazione richiesta",
               rows=16, columns=16, mapOffset=0x14000, xAxisSource=0, yAxisSource=0,
               unit="hPa"),
]

pack = {
    "magic": "TESSAMORVANDI_MAP_PACK",
    "formatVersion": 1,
    "firmwareSize": len(image),
    "firmwareSha256": hashlib.sha256(image).hexdigest(),
    "maps": maps,
}
with open(out_path, "w", encoding="utf-8") as f:
    f.write(json.dumps(pack, ensure_ascii=False, separators=(",", ":")))
print(out_path)
