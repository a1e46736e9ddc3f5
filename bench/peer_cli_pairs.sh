#!/usr/bin/env bash
# tessamorvandi-cli timed as whole processes (start-up, reading, output) against a standard
# tool doing the same work on the same input. A and B run in turn, PAIRS times (5 by default);
# each pair gives a ratio A / B and the median ratio is what counts, since the machine may be
# busy with other work while it runs.
#   bench/peer_cli_pairs.sh [BUILD_DIR] [PAIRS]   (./tessa bench runs it too)
# Inputs, made in a temporary folder: a 16 MiB image (identification strings in noise and
# blank flash), the same image as 40 MB of Intel HEX at 0x80000000 (32-byte records), a
# modified copy with 10 000 changed blocks, and the 30 MB / 40 000-CHARACTERISTIC A2L
# description of bench_importers_a2l (when that program is built).
set -euo pipefail

HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
BUILD="$(cd "${1:-$HERE/../build}" && pwd)"
PAIRS="${2:-5}"
CLI="$BUILD/tools/tessamorvandi-cli"
A2L_BENCH="$BUILD/bench/bench_importers_a2l"
[[ -x "$CLI" ]] || { echo "no $CLI: build the target tessamorvandi-cli first" >&2; exit 1; }
for tool in sha256sum objcopy cmp python3; do
    command -v "$tool" >/dev/null || { echo "$tool is missing (./tessa bench installs it)" >&2; exit 1; }
done

WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT

python3 - "$WORK" <<'EOF'
import random, sys
work = sys.argv[1]
rng = random.Random(20261206)
size = 16 * 1024 * 1024
image = bytearray(rng.randbytes(size))
image[size // 2 : size // 2 + 2 * 1024 * 1024] = b"\xff" * (2 * 1024 * 1024)  # blank flash
for i in range(2048):  # library and diagnostic strings, as real code carries them
    text = b"diag_%05d_module_%03d_ok" % (i, i % 512)
    at = rng.randrange(0, size - len(text))
    image[at : at + len(text)] = text
ident = b"0281012345 1037512345 EDC17C46 P_1234 V1.2.3 03L906018AB CAYC"
image[size - 4096 : size - 4096 + len(ident)] = ident
open(f"{work}/ori.bin", "wb").write(image)

mod = bytearray(image)
for block in range(10000):  # 10 000 changed blocks of 1 to 32 bytes
    at = block * (size // 10000) + rng.randrange(0, 1024)
    for k in range(rng.randrange(1, 33)):
        mod[at + k] ^= 0xFF
open(f"{work}/mod.bin", "wb").write(mod)

lines = []
base = 0x80000000
for offset in range(0, size, 32):
    address = base + offset
    if offset % 0x10000 == 0:
        upper = address >> 16
        record = bytes([2, 0, 0, 4, upper >> 8, upper & 0xFF])
        lines.append(":%s%02X" % (record.hex().upper(), (-sum(record)) & 0xFF))
    chunk = image[offset : offset + 32]
    record = bytes([len(chunk), (address >> 8) & 0xFF, address & 0xFF, 0]) + chunk
    lines.append(":%s%02X" % (record.hex().upper(), (-sum(record)) & 0xFF))
lines.append(":00000001FF")
open(f"{work}/image.hex", "w").write("\n".join(lines) + "\n")
EOF

# CPU_MS: the CPU time (user + system, milliseconds) of every child process this shell has
# waited for, from the builtin "times" alone, in this shell itself: a subshell or a helper
# process would keep its own account.
children_cpu() {
    times >"$WORK/times"
    local shell_times child_user child_system total=0 t minutes seconds
    { read -r shell_times; read -r child_user child_system; } <"$WORK/times"
    for t in "$child_user" "$child_system"; do
        minutes=${t%%m*}
        seconds=${t#*m}
        seconds=${seconds%s}
        total=$((total + minutes * 60000 + 10#${seconds%.*} * 1000 + 10#${seconds#*.}))
    done
    CPU_MS=$total
}

# WALL_US and CPU_MS of one run of "$@", its output thrown away.
measure() {
    children_cpu
    local c0=$CPU_MS t0=${EPOCHREALTIME/./}
    "$@" >/dev/null 2>&1 || true
    local t1=${EPOCHREALTIME/./}
    children_cpu
    WALL_US=$((t1 - t0))
    CPU_MS=$((CPU_MS - c0))
}

# cmp exits with 1 when the files differ, which they do.
cmp_count() { { cmp -l "$WORK/ori.bin" "$WORK/mod.bin" || true; } | wc -l; }
# The command's JSON goes to a file, as a script would keep it. The parse alone runs in a
# process of its own and prints its own milliseconds (reading the file, no output), kept in
# PARSE_MS for the ratio to the parse itself.
a2l_to_file() { "$CLI" a2l "$WORK/bench.a2l" >"$WORK/maps.json"; }
parse_only() { "$A2L_BENCH" --parse "$WORK/bench.a2l" >>"$WORK/parse-ms"; }

# pair NAME TARGET A-COMMAND... -- B-COMMAND...
pair() {
    local name="$1" target="$2"
    shift 2
    local a=() b=()
    while [[ "$1" != "--" ]]; do a+=("$1"); shift; done
    shift
    b=("$@")
    "${a[@]}" >/dev/null 2>&1 || true # warms the page cache
    "${b[@]}" >/dev/null 2>&1 || true
    local ratios=() cpu_ratios=()
    A_WALL_US=()
    printf '\n%s\n  A: %s\n  B: %s\n' "$name" "${a[*]##*/}" "${b[*]##*/}"
    for ((i = 1; i <= PAIRS; i++)); do
        local ta tb ca cb
        measure "${a[@]}"
        ta=$WALL_US ca=$CPU_MS
        A_WALL_US+=("$ta")
        measure "${b[@]}"
        tb=$WALL_US cb=$CPU_MS
        ratios+=("$(awk -v a="$ta" -v b="$tb" 'BEGIN { printf "%.3f", a / b }')")
        cpu_ratios+=("$(awk -v a="$ca" -v b="$cb" 'BEGIN { printf "%.3f", b ? a / b : 0 }')")
        printf '  pair %d: A %7.1f ms (CPU %4d ms)  B %7.1f ms (CPU %4d ms)  A/B %s (CPU %s)\n' \
            "$i" "$(awk -v t="$ta" 'BEGIN { print t / 1000 }')" "$ca" \
            "$(awk -v t="$tb" 'BEGIN { print t / 1000 }')" "$cb" "${ratios[-1]}" "${cpu_ratios[-1]}"
    done
    local median cpu_median
    median=$(median_of "${ratios[@]}")
    cpu_median=$(median_of "${cpu_ratios[@]}")
    printf '  median A/B %s, of CPU times %s (target <= %s)\n' "$median" "$cpu_median" "$target"
    SUMMARY+=("$(printf '%-8s %6s  CPU %6s  (target <= %s)' "$name" "$median" "$cpu_median" \
        "$target")")
}

median_of() {
    printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END {
        print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

SUMMARY=()
echo "tessamorvandi-cli against standard tools, $PAIRS pairs each, $(nproc) CPUs," \
    "load average $(cut -d' ' -f1-3 /proc/loadavg)"
pair info 1.3 "$CLI" info "$WORK/ori.bin" -- sha256sum "$WORK/ori.bin"
pair convert 0.6 "$CLI" convert "$WORK/image.hex" "$WORK/cli.bin" -- \
    objcopy -I ihex -O binary "$WORK/image.hex" "$WORK/objcopy.bin"
cmp -s "$WORK/cli.bin" "$WORK/objcopy.bin" || echo "  WARNING: the two images differ"
pair compare 1.5 "$CLI" compare "$WORK/ori.bin" "$WORK/mod.bin" -- cmp_count
if [[ -x "$A2L_BENCH" ]]; then
    "$A2L_BENCH" --write "$WORK/bench.a2l" 40000
    pair a2l 1.3 a2l_to_file -- parse_only
    # The first line is the warm-up run's.
    mapfile -t PARSE_MS < <(tail -n "$PAIRS" "$WORK/parse-ms")
    inner=()
    for ((i = 0; i < PAIRS; i++)); do
        inner+=("$(awk -v a="${A_WALL_US[i]}" -v p="${PARSE_MS[i]}" 'BEGIN {
            printf "%.3f", a / 1000 / p }')")
    done
    printf '  the command against the parse alone inside its process (%s ms): %s, median %s\n' \
        "${PARSE_MS[*]}" "${inner[*]}" "$(median_of "${inner[@]}")"
    SUMMARY+=("$(printf '%-8s %6s  (command / parse inside its process, target <= 1.3)' a2l \
        "$(median_of "${inner[@]}")")")
else
    echo "no $A2L_BENCH: the a2l pair is left out (build the target bench_importers_a2l)"
fi
printf '\nmedian ratios A/B of wall-clock times (and of CPU times)\n'
printf '  %s\n' "${SUMMARY[@]}"
