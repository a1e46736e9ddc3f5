#!/usr/bin/env bash
# The map finder's figures on the development set: share of the defined tables found
# (bench/find_score.py), then CPU time and peak memory of `find` on a 1 MiB image and on a
# 4 MiB one made of four of them, against the same program on a 16-byte image (the baseline
# of Qt and the program itself).
# usage: bench/find_figures.sh [BUILD_DIR] [SHARED_DATA_DIR]
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${1:-$ROOT/build}"
DATA="${2:-$ROOT/../shared/data}"
CLI="$BUILD/tools/tessamorvandi-cli"
DEFS="$DATA/definitions"
python3 "$ROOT/bench/find_score.py" "$CLI" "$DATA"
TMP="$(mktemp -d)"
trap 'rm -rf "$TMP"' EXIT
ONE="$DEFS/me7-volvo-50GMHJ-50GSHJ/50GMHJ-22GMJVD0-AUT-AWD-US.bin"
cat "$DEFS/me7-8D0907551/8D0907551M-0002.bin" "$DEFS/me7-8D0907551/8D0907551L.bin" \
    "$DEFS"/me7-volvo-50GMHJ-50GSHJ/*.bin > "$TMP/four.bin"
head -c 16 "$ONE" > "$TMP/tiny.bin"
for image in "$TMP/tiny.bin" "$ONE" "$TMP/four.bin"; do
    /usr/bin/time -f "$(basename "$image") ($(stat -c %s "$image") bytes): %U s user CPU, %M KB peak RSS" \
        "$CLI" find "$image" > /dev/null
done
