#!/usr/bin/env python3
"""Scores `tessamorvandi-cli find` on real images against their community definitions.

usage: find_score.py CLI [DATA_DIR] [--json]
A candidate is right when its Z address and its size (rows and columns, in either order, as
definitions name the sides of a table freely) equal a defined table's. Unmatched candidates are
counted and reported, not taken as wrong: definitions are incomplete.
Prints one line per image and the totals; with --json one JSON object of the figures.
"""
import json
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from xdf_tables import tables  # noqa: E402

# Image, definition: the development set.
PAIRS = [
    ("me7-8D0907551/8D0907551M-0002-16bit-kfzw.bin", "me7-8D0907551/8D0907551M-16bit-kfzw.xdf"),
    ("me7-8D0907551/8D0907551M-0002.bin", "me7-8D0907551/8D0907551M-16bit-kfzw.xdf"),
    ("me7-8D0907551/8D0907551M-0001.bin", "me7-8D0907551/8D0907551M-16bit-kfzw.xdf"),
    ("me7-8D0907551/8D0907551L.bin", "me7-8D0907551/8D0907551M-16bit-kfzw.xdf"),
    ("me7-volvo-50GMHJ-50GSHJ/50GMHJ-22GMJVD0-AUT-AWD-US.bin", "me7-volvo-50GMHJ-50GSHJ/50GMHJ.xdf"),
    ("me7-volvo-50GMHJ-50GSHJ/50GSHJ-22GSI-AUT-AWD-US.bin", "me7-volvo-50GMHJ-50GSHJ/50GSHJ.xdf"),
]


def doubtful(t):
    # 16-bit data at an odd address: a slip of the definition, not a table of these images.
    return t["bits"] >= 16 and t["zAddress"] % 2 == 1


def targets(defs):
    maps, curves = {}, {}
    for t in defs:
        if doubtful(t):
            continue
        key = (t["zAddress"], tuple(sorted((t["rows"], t["columns"]))))
        if t["rows"] >= 4 and t["columns"] >= 4:
            maps[key] = t
        elif min(t["rows"], t["columns"]) == 1 and max(t["rows"], t["columns"]) >= 6 and (
                "xAddress" in t or "yAddress" in t):
            curves[key] = t
    return maps, curves


def main():
    args = [a for a in sys.argv[1:] if not a.startswith("--")]
    cli = args[0]
    data = args[1] if len(args) > 1 else os.path.join(os.path.dirname(__file__), "../../shared/data")
    data = os.path.join(data, "definitions")
    total = dict(maps=0, mapsFound=0, curves=0, curvesFound=0, candidates=0, unmatched=0,
                 worstPerTable=0, foundInUpperHalf=0, found=0, seconds=0.0)
    for image, xdf in PAIRS:
        defs = list(tables(os.path.join(data, xdf)))
        maps, curves = targets(defs)
        allDefined = {(t["zAddress"], tuple(sorted((t["rows"], t["columns"])))) for t in defs}
        definedAddresses = {}
        for t in defs:
            definedAddresses.setdefault(t["zAddress"], 0)
        start = time.time()
        out = subprocess.run([cli, "find", os.path.join(data, image)], capture_output=True,
                             check=True, text=True).stdout
        seconds = time.time() - start
        cands = json.loads(out)["candidates"]
        keys = [(c["zAddress"], tuple(sorted((c["rows"], c["columns"])))) for c in cands]
        rank = {}
        for i, k in enumerate(keys):
            rank.setdefault(k, i)
        mf = [k for k in maps if k in rank]
        cf = [k for k in curves if k in rank]
        # Candidates per defined table: those whose values start inside the table's bytes.
        perTable = 0
        for t in list(maps.values()) + list(curves.values()):
            lo = t["zAddress"]
            hi = lo + t["rows"] * t["columns"] * t["bits"] // 8
            perTable = max(perTable, sum(1 for c in cands if lo <= c["zAddress"] < hi))
        half = len(cands) / 2.0
        upper = sum(1 for k in mf + cf if rank[k] < half)
        unmatched = sum(1 for k in keys if k not in allDefined)
        print(f"{image}: maps {len(mf)}/{len(maps)}, curves {len(cf)}/{len(curves)}, "
              f"candidates {len(cands)} ({unmatched} not in the definition), "
              f"at most {perTable} per table, {upper}/{len(mf) + len(cf)} found in the upper half, "
              f"{seconds:.2f} s")
        total["maps"] += len(maps)
        total["mapsFound"] += len(mf)
        total["curves"] += len(curves)
        total["curvesFound"] += len(cf)
        total["candidates"] += len(cands)
        total["unmatched"] += unmatched
        total["worstPerTable"] = max(total["worstPerTable"], perTable)
        total["foundInUpperHalf"] += upper
        total["found"] += len(mf) + len(cf)
        total["seconds"] = max(total["seconds"], seconds)
    total["mapShare"] = total["mapsFound"] / max(total["maps"], 1)
    total["curveShare"] = total["curvesFound"] / max(total["curves"], 1)
    if "--json" in sys.argv:
        print(json.dumps(total))
    else:
        print(f"total: maps {total['mapsFound']}/{total['maps']} ({100 * total['mapShare']:.0f} %), "
              f"curves {total['curvesFound']}/{total['curves']} ({100 * total['curveShare']:.0f} %), "
              f"at most {total['worstPerTable']} per table, "
              f"{total['foundInUpperHalf']}/{total['found']} found in the upper half, "
              f"slowest {total['seconds']:.2f} s")


if __name__ == "__main__":
    main()
