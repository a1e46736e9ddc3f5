#!/usr/bin/env python3
"""Prints the tables a TunerPro XDF defines, one JSON object a line, for scoring the map finder.

Each line: title, zAddress, rows, columns, bits, littleEndian, signed, columnMajor and, for each
stored axis, xAddress / xCount / xBits (yAddress / yCount / yBits). Only what the finder's
measure needs is read; tables without an address are left out.
"""
import json
import sys
import xml.etree.ElementTree as ET


def number(text, default=0):
    try:
        return int(text, 0)
    except (TypeError, ValueError):
        return default


def tables(path):
    root = ET.parse(path).getroot()
    header = root.find("XDFHEADER")
    base = 0
    if header is not None and header.find("BASEOFFSET") is not None:
        b = header.find("BASEOFFSET")
        base = number(b.get("offset"), 0) * (-1 if b.get("subtract") == "1" else 1)
    for table in root.iter("XDFTABLE"):
        out = {"title": (table.findtext("title") or "").strip()}
        for axis in table.findall("XDFAXIS"):
            data = axis.find("EMBEDDEDDATA")
            if data is None or data.get("mmedaddress") is None:
                continue
            flags = number(data.get("mmedtypeflags"), 0)
            address = number(data.get("mmedaddress"), -1) + base
            bits = number(data.get("mmedelementsizebits"), 8)
            aid = axis.get("id")
            if aid == "z":
                out.update(zAddress=address, bits=bits,
                           rows=max(1, number(data.get("mmedrowcount"), 1)),
                           columns=max(1, number(data.get("mmedcolcount"), 1)),
                           signed=bool(flags & 1), littleEndian=bool(flags & 2),
                           columnMajor=bool(flags & 4))
            elif aid in ("x", "y"):
                count = number(axis.findtext("indexcount"), 0)
                out.update({aid + "Address": address, aid + "Count": count, aid + "Bits": bits})
        if "zAddress" in out and out["zAddress"] >= 0:
            yield out


if __name__ == "__main__":
    for t in tables(sys.argv[1]):
        print(json.dumps(t))
