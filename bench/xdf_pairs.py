#!/usr/bin/env python3
"""Recognition on real pairs: a driver built from one image's definitions is scanned on another.

The definitions are community XDF files (TunerPro) giving each table's true place on both sides
of a pair. This script turns a definition into a map pack for `driver build`, runs
`tessamorvandi-cli scan` on the other image and scores every driver map: right place, wrong
place, not found. Tables a definition is unsure of (overlapping another, a repeated title, 16-bit
data at an odd address) are left out, as their true place is unknown.

    python3 bench/xdf_pairs.py build/tools/tessamorvandi-cli [DATA_DIR]

DATA_DIR defaults to ../shared/data/definitions beside the worktree.
"""
import hashlib
import json
import os
import subprocess
import sys
import tempfile
import time
import xml.etree.ElementTree as ET


def num(text, default=0):
    if text is None:
        return default
    text = text.strip()
    try:
        return int(text, 16) if text.lower().startswith("0x") else int(text)
    except ValueError:
        return default


def factor_offset(axis):
    math = axis.find("MATH")
    if math is None:
        return 1.0, 0.0
    eq = math.get("equation", "X").replace(" ", "")
    # Only X*a+b forms matter for the driver's ranges; anything else keeps raw values.
    try:
        f = float(eq.split("*")[1].split("+")[0].split("-")[0]) if "*" in eq else 1.0
    except (ValueError, IndexError):
        f = 1.0
    return f, 0.0


def tables(xdf_path):
    root = ET.parse(xdf_path).getroot()
    result = []
    for t in root.iter("XDFTABLE"):
        title = (t.findtext("title") or "").strip()
        axes = {a.get("id"): a for a in t.findall("XDFAXIS")}
        z = axes.get("z")
        if z is None or z.find("EMBEDDEDDATA") is None:
            continue
        e = z.find("EMBEDDEDDATA")
        if e.get("mmedaddress") is None:
            continue
        flags = num(e.get("mmedtypeflags"), 0)
        bits = num(e.get("mmedelementsizebits"), 8)
        if bits not in (8, 16, 32) or flags & 0x10000:
            continue
        rows = max(1, num(e.get("mmedrowcount"), 1))
        cols = max(1, num(e.get("mmedcolcount"), 1))
        entry = {
            "title": title,
            "z": num(e.get("mmedaddress")),
            "rows": rows,
            "cols": cols,
            "size": bits // 8,
            "little": bool(flags & 0x02) or bits == 8,
            "colmajor": bool(flags & 0x04),
            "factor": factor_offset(z)[0],
        }
        for role, count in (("x", cols), ("y", rows)):
            a = axes.get(role)
            entry[role] = None
            if a is None:
                continue
            ae = a.find("EMBEDDEDDATA")
            if ae is None or ae.get("mmedaddress") is None:
                continue
            abits = num(ae.get("mmedelementsizebits"), 8)
            if abits not in (8, 16):
                continue
            n = num(a.findtext("indexcount"), count)
            if n != count or count < 2:
                continue
            aflags = num(ae.get("mmedtypeflags"), 0)
            entry[role] = {
                "address": num(ae.get("mmedaddress")),
                "size": abits // 8,
                "little": bool(aflags & 0x02) or abits == 8,
                "factor": factor_offset(a)[0],
            }
        result.append(entry)
    return result


def doubtful(entries):
    """Titles whose true place is uncertain in this definition."""
    bad = set()
    seen = {}
    for e in entries:
        seen[e["title"]] = seen.get(e["title"], 0) + 1
        if e["size"] == 2 and e["z"] % 2:
            bad.add(e["title"])
        for role in ("x", "y"):
            a = e[role]
            if a and a["size"] == 2 and a["address"] % 2:
                bad.add(e["title"])
    bad |= {t for t, n in seen.items() if n > 1 or not t}
    spans = sorted((e["z"], e["z"] + e["rows"] * e["cols"] * e["size"] - 1, e["title"])
                   for e in entries)
    for i in range(len(spans)):
        for j in range(i + 1, len(spans)):
            if spans[j][0] > spans[i][1]:
                break
            bad.add(spans[i][2])
            bad.add(spans[j][2])
    return bad


def map_definition(e):
    def organisation(size, little):
        return {1: 0, 2: 1 if little else 2, 4: 3}[size]

    m = {
        "name": e["title"],
        "description": e["title"],
        "rows": e["rows"],
        "columns": e["cols"],
        "zColumnMajor": e["colmajor"],
        "mapOffset": e["z"],
        "dataType": organisation(e["size"], e["little"]),
        "zElementSize": e["size"],
        "littleEndian": e["little"],
        "factor": e["factor"],
        "xAxisSource": 0,
        "yAxisSource": 0,
        "xAxisOffset": -1,
        "yAxisOffset": -1,
    }
    for role in ("x", "y"):
        a = e[role]
        if a:
            m[role + "AxisSource"] = 1
            m[role + "AxisOffset"] = a["address"]
            m[role + "ElementSize"] = a["size"]
            m[role + "DataType"] = organisation(a["size"], a["little"])
            m[role + "LittleEndian"] = a["little"]
            m[role + "Factor"] = a["factor"]
    return m


def write_pack(path, image_path, entries):
    data = open(image_path, "rb").read()
    pack = {
        "magic": "TESSAMORVANDI_MAP_PACK",
        "formatVersion": 1,
        "firmwareSize": len(data),
        "firmwareSha256": hashlib.sha256(data).hexdigest(),
        "maps": [map_definition(e) for e in entries],
    }
    with open(path, "w") as f:
        json.dump(pack, f)


def run(cli, *args):
    out = subprocess.run([cli, *args], capture_output=True, text=True)
    if out.returncode != 0:
        raise RuntimeError(f"{' '.join(args)}: {out.stderr.strip()}")
    return json.loads(out.stdout)


def score(cli, work, source, truth_here, target, truth_there, foreign=False):
    """Builds from source with truth_here, scans target; truth_there maps title -> address."""
    pack = os.path.join(work, "maps.tvp")
    driver = os.path.join(work, "d.ecudrv")
    write_pack(pack, source, truth_here)
    run(cli, "driver", "build", source, pack, driver)
    started = time.perf_counter()
    result = run(cli, "scan", target, driver)
    seconds = time.perf_counter() - started
    right = wrong = missing = unknown = 0
    wrong_names = []
    for m in result["matches"]:
        name = m["displayName"]
        if foreign:
            if m["recognised"]:
                wrong += 1
                wrong_names.append(name)
            else:
                missing += 1
            continue
        if name not in truth_there:
            unknown += 1
            continue
        if not m["recognised"]:
            missing += 1
        elif m["zAddress"] == truth_there[name]:
            right += 1
        else:
            wrong += 1
            wrong_names.append(f"{name} {m['zAddress']:#x} (true {truth_there[name]:#x}, "
                               f"conf {m['confidence']:.1f}) {m['status'][:90]}")
    # Maps the builder left out are not found either.
    seen = {m["displayName"] for m in result["matches"]}
    for e in truth_here:
        if e["title"] not in seen and (foreign or e["title"] in truth_there):
            missing += 1
    return {"right": right, "wrong": wrong, "missing": missing, "unknown": unknown,
            "seconds": seconds, "wrongNames": wrong_names,
            "foreignSaid": result.get("foreignImage", None)}


def main():
    cli = sys.argv[1]
    args = [a for a in sys.argv[2:] if not a.startswith("-")]
    data = args[0] if args else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "..", "shared", "data", "definitions")
    verbose = "-v" in sys.argv
    audi_dir = os.path.join(data, "me7-8D0907551")
    volvo_dir = os.path.join(data, "me7-volvo-50GMHJ-50GSHJ")
    audi_entries = tables(os.path.join(audi_dir, "8D0907551M-16bit-kfzw.xdf"))
    audi_bad = doubtful(audi_entries)
    audi_images = ["8D0907551M-0002-16bit-kfzw.bin", "8D0907551M-0002.bin",
                   "8D0907551M-0001.bin", "8D0907551L.bin"]
    # The patched image alone holds its 16-bit ignition table: in the others that table's place
    # holds other data, so its truth is known only between the patched image and itself.
    patched = {e["title"] for e in audi_entries
               if e["size"] == 2 and "kfzw" in e["title"].lower()}
    audi_ok = [e for e in audi_entries if e["title"] not in audi_bad]

    volvo = {}
    for name, image in (("50GMHJ", "50GMHJ-22GMJVD0-AUT-AWD-US.bin"),
                        ("50GSHJ", "50GSHJ-22GSI-AUT-AWD-US.bin")):
        entries = tables(os.path.join(volvo_dir, name + ".xdf"))
        bad = doubtful(entries)
        volvo[name] = (os.path.join(volvo_dir, image), [e for e in entries if e["title"] not in bad])

    totals = {"same": [0, 0, 0], "other": [0, 0, 0], "foreign": [0, 0]}
    rows = []
    with tempfile.TemporaryDirectory() as work:
        def add(kind, label, r):
            if kind == "foreign":
                totals["foreign"][0] += r["wrong"]
                totals["foreign"][1] += r["wrong"] + r["missing"]
            else:
                t = totals[kind]
                t[0] += r["right"]
                t[1] += r["wrong"]
                t[2] += r["missing"]
            rows.append((kind, label, r))

        for a in audi_images:
            for b in audi_images:
                src = os.path.join(audi_dir, a)
                dst = os.path.join(audi_dir, b)
                here = [e for e in audi_ok if a == audi_images[0] or e["title"] not in patched]
                same_image = a == b
                truth = {e["title"]: e["z"] for e in here
                         if same_image or (a != audi_images[0] and b != audi_images[0])
                         or e["title"] not in patched}
                add("same" if same_image else "other", f"{a} -> {b}",
                    score(cli, work, src, here, dst, truth))
        for a, b in (("50GMHJ", "50GSHJ"), ("50GSHJ", "50GMHJ"), ("50GMHJ", "50GMHJ"),
                     ("50GSHJ", "50GSHJ")):
            src, here = volvo[a]
            dst, there = volvo[b]
            truth = {e["title"]: e["z"] for e in there}
            add("same" if a == b else "other", f"{a} -> {b}", score(cli, work, src, here, dst, truth))
        for a in ("50GMHJ", "50GSHJ"):
            src, here = volvo[a]
            add("foreign", f"{a} -> Audi M-0002",
                score(cli, work, src, here, os.path.join(audi_dir, audi_images[1]), {}, True))
            add("foreign", f"Audi M-0002 -> {a}",
                score(cli, work, os.path.join(audi_dir, audi_images[1]),
                      [e for e in audi_ok if e["title"] not in patched], volvo[a][0], {}, True))

    for kind, label, r in rows:
        print(f"{kind:8} {label:58} right {r['right']:4} wrong {r['wrong']:4} "
              f"missing {r['missing']:4} unknown {r['unknown']:3} {r['seconds']:.2f}s "
              f"foreign={r['foreignSaid']}")
        if verbose:
            for n in r["wrongNames"][:40]:
                print("        wrong:", n)
    summary = {}
    for kind in ("same", "other"):
        right, wrong, missing = totals[kind]
        n = max(1, right + wrong + missing)
        summary[kind] = {"right": right, "wrong": wrong, "missing": missing,
                         "rightPercent": round(100.0 * right / n, 2),
                         "wrongPercent": round(100.0 * wrong / n, 2)}
    reported = totals["same"][0] + totals["same"][1] + totals["other"][0] + totals["other"][1]
    summary["precisionPercent"] = round(
        100.0 * (totals["same"][0] + totals["other"][0]) / max(1, reported), 2)
    summary["foreignFoundPercent"] = round(100.0 * totals["foreign"][0] / max(1, totals["foreign"][1]), 2)
    print(json.dumps(summary))


if __name__ == "__main__":
    main()
