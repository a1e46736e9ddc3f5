#!/usr/bin/env python3
"""A tune carried to another software version or calibration, on real image pairs.

For each pair (reference image with its community XDF, target image with its own XDF), a tune
is made on the reference as a tuner would: a dozen of its maps changed (more fuel, more boost,
less retard, a limiter raised: each map's values scaled up by 5 %, at least one raw step). Then
`tessamorvandi-cli transfer` carries it to the target, and every map it reports is checked
against the target's own definition of the same title: written at its true place, written at
a wrong place, or left unwritten (ambiguous / not found). Tables a definition is unsure of
(overlapping another, a repeated title, 16-bit data at an odd address) are not tuned.

    python3 bench/transfer_pairs.py build/tools/tessamorvandi-cli [DATA_DIR] [--mode M]
"""
import json
import os
import struct
import subprocess
import sys
import tempfile
import time

TUNED_MAPS = int(os.environ.get("TUNED_MAPS", "12"))


def run(cli, *args):
    out = subprocess.run([cli, *args], capture_output=True, text=True)
    return out.returncode, out.stdout, out.stderr


def maps_of(cli, xdf, image):
    rc, out, err = run(cli, "xdf", xdf, image)
    if rc != 0:
        sys.exit(f"{xdf}: {err.strip()}")
    return json.loads(out)["maps"]


def element(m):
    size = {0: 1, 1: 2, 2: 2, 3: 4}.get(m["dataType"], 2)
    little = m["dataType"] == 1 or (m["dataType"] == 3 and m["littleEndian"])
    kind = m.get("zValueKind", 0)
    return size, little, kind


def z_range(m):
    size = element(m)[0]
    return m["mapOffset"], m["mapOffset"] + m["rows"] * m["columns"] * size - 1


def trusted(maps):
    """Maps whose title is unique, that overlap no other, and whose 16-bit data is aligned."""
    titles = {}
    for m in maps:
        titles[m["name"]] = titles.get(m["name"], 0) + 1
    ranges = sorted((z_range(m), m["name"]) for m in maps)
    overlapping = set()
    for (a, na), (b, nb) in zip(ranges, ranges[1:]):
        if b[0] <= a[1]:
            overlapping.update((na, nb))
    result = {}
    for m in maps:
        size = element(m)[0]
        if titles[m["name"]] > 1 or m["name"] in overlapping:
            continue
        if size > 1 and m["mapOffset"] % 2:
            continue
        result[m["name"]] = m
    return result


def tune(image, m):
    size, little, kind = element(m)
    fmt = ("<" if little else ">") + {1: "B", 2: "H", 4: "I"}[size]
    if kind == 1:
        fmt = fmt.lower()
    if kind == 2:
        fmt = fmt[0] + "f"
    lo, hi = {1: (0, 255), 2: (0, 65535), 4: (0, 2**32 - 1)}[size]
    if kind == 1:
        lo, hi = -(hi + 1) // 2, (hi - 1) // 2
    changed = 0
    for k in range(m["rows"] * m["columns"]):
        at = m["mapOffset"] + k * size
        (v,) = struct.unpack_from(fmt, image, at)
        new = v * 1.05 if kind == 2 else max(lo, min(hi, int(round(v * 1.05)) + (1 if v >= 0 else -1)))
        if new != v:
            struct.pack_into(fmt, image, at, new)
            changed += 1
    return changed


def pair(cli, ref_image, ref_xdf, target_image, target_xdf, mode, skip_titles=()):
    ref_maps = maps_of(cli, ref_xdf, ref_image)
    target_maps = trusted(maps_of(cli, target_xdf, target_image))
    candidates = [m for name, m in sorted(trusted(ref_maps).items())
                  if name in target_maps and m["rows"] * m["columns"] >= 4
                  and not any(s in name for s in skip_titles)]
    # A spread of maps over the definition rather than its first dozen.
    step = max(1, len(candidates) // TUNED_MAPS)
    chosen = candidates[::step][:TUNED_MAPS]
    with open(ref_image, "rb") as f:
        mod = bytearray(f.read())
    tuned = [m["name"] for m in chosen if tune(mod, m)]
    with tempfile.TemporaryDirectory() as tmp:
        mod_path = os.path.join(tmp, "mod.bin")
        out_path = os.path.join(tmp, "out.bin")
        with open(mod_path, "wb") as f:
            f.write(mod)
        start = time.perf_counter()
        rc, out, err = run(cli, "transfer", ref_image, mod_path, ref_xdf, target_image, out_path,
                           "--mode", mode)
        seconds = time.perf_counter() - start
    if rc != 0 and not out:
        return {"error": err.strip(), "tuned": len(tuned)}
    report = json.loads(out)
    right = wrong = unwritten = slips = 0
    wrong_names = []
    by_name = {m["name"]: m for m in ref_maps}
    for m in report["maps"]:
        if m["name"] not in tuned:
            continue
        if m["status"] in ("transferred", "interpolated"):
            truth = target_maps[m["name"]]
            ref = by_name[m["name"]]
            delta = m["targetAddress"] - m["referenceAddress"]
            if m["targetAddress"] == truth["mapOffset"]:
                right += 1
            elif (ref["xAxisOffset"] >= 0 and truth["xAxisOffset"] - ref["xAxisOffset"] == delta
                  and truth["mapOffset"] == ref["mapOffset"]):
                # The definition moved the table's axis but not its data: a slip of the
                # definition, as the data found there is the reference's, byte for byte.
                slips += 1
                wrong_names.append(m["name"] + " (definition slip)")
            else:
                wrong += 1
                wrong_names.append(m["name"])
        else:
            unwritten += 1
    return {"tuned": len(tuned), "right": right, "wrong": wrong, "unwritten": unwritten,
            "definitionSlips": slips,
            "wrongNames": wrong_names, "seconds": round(seconds, 3)}


def main():
    args = [a for a in sys.argv[1:] if not a.startswith("--")]
    mode = "percent"
    if "--mode" in sys.argv:
        mode = sys.argv[sys.argv.index("--mode") + 1]
        args = [a for a in args if a != mode]
    cli = args[0]
    data = args[1] if len(args) > 1 else os.path.join(os.path.dirname(__file__), "..", "..",
                                                      "shared", "data", "definitions")
    audi = os.path.join(data, "me7-8D0907551")
    volvo = os.path.join(data, "me7-volvo-50GMHJ-50GSHJ")
    audi_xdf = os.path.join(audi, "8D0907551M-16bit-kfzw.xdf")
    audi_ref = os.path.join(audi, "8D0907551M-0002-16bit-kfzw.bin")
    gm = (os.path.join(volvo, "50GMHJ-22GMJVD0-AUT-AWD-US.bin"), os.path.join(volvo, "50GMHJ.xdf"))
    gs = (os.path.join(volvo, "50GSHJ-22GSI-AUT-AWD-US.bin"), os.path.join(volvo, "50GSHJ.xdf"))
    cases = [
        # The patched ignition table lies elsewhere only in the definition's own image.
        ("Audi kfzw -> M-0001", audi_ref, audi_xdf, os.path.join(audi, "8D0907551M-0001.bin"),
         audi_xdf, ("KFZW",)),
        ("Audi kfzw -> L", audi_ref, audi_xdf, os.path.join(audi, "8D0907551L.bin"), audi_xdf,
         ("KFZW",)),
        ("Volvo GMHJ -> GSHJ", *gm, *gs, ()),
        ("Volvo GSHJ -> GMHJ", *gs, *gm, ()),
    ]
    totals = {"tuned": 0, "right": 0, "wrong": 0, "unwritten": 0, "definitionSlips": 0}
    for name, ref, ref_xdf, target, target_xdf, skip in cases:
        r = pair(cli, ref, ref_xdf, target, target_xdf, mode, skip)
        print(f"{name}: {json.dumps(r)}")
        for k in totals:
            totals[k] += r.get(k, 0)
    # A tune carried to an image of another family must be refused.
    with tempfile.TemporaryDirectory() as tmp:
        mod = bytearray(open(gm[0], "rb").read())
        for m in list(trusted(maps_of(cli, gm[1], gm[0])).values())[:TUNED_MAPS]:
            tune(mod, m)
        with open(os.path.join(tmp, "mod.bin"), "wb") as f:
            f.write(mod)
        out_path = os.path.join(tmp, "out.bin")
        rc, out, err = run(cli, "transfer", gm[0], os.path.join(tmp, "mod.bin"), gm[1], audi_ref,
                           out_path)
        print(f"foreign target refused: {rc != 0 and not os.path.exists(out_path)} "
              f"({err.strip()[:120]})")
    share = 100.0 * totals["right"] / max(1, totals["tuned"] - totals["definitionSlips"])
    print(f"total: {json.dumps(totals)}; right {share:.1f} % of the maps whose definitions agree")


if __name__ == "__main__":
    main()
