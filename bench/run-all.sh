#!/usr/bin/env bash
# Runs every benchmark: each bench_* program built in BUILD_DIR/bench, then every
# bench/peer_*.sh script (comparisons driven from the shell), in name order.
# Usage: bench/run-all.sh BUILD_DIR [NAME_FILTER]
#   NAME_FILTER, when given, is a substring a benchmark's name must contain (e.g. foundation).
set -uo pipefail

HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
BUILD="${1:?usage: bench/run-all.sh BUILD_DIR [NAME_FILTER]}"
FILTER="${2:-}"
BUILD="$(cd "$BUILD" && pwd)"
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"
export QT_LOGGING_RULES="${QT_LOGGING_RULES:-*.debug=false}"

failed=()
ran=0
run_one() {
    local name="$1"
    shift
    printf '\n===== %s =====\n' "$name"
    if "$@"; then
        ran=$((ran + 1))
    else
        printf '%s failed (exit status %d)\n' "$name" "$?"
        failed+=("$name")
    fi
}

shopt -s nullglob
for exe in "$BUILD"/bench/bench_*; do
    [[ -f "$exe" && -x "$exe" ]] || continue
    name="$(basename "$exe")"
    [[ -n "$FILTER" && "$name" != *"$FILTER"* ]] && continue
    run_one "$name" "$exe"
done
for script in "$HERE"/peer_*.sh; do
    name="$(basename "$script" .sh)"
    [[ -n "$FILTER" && "$name" != *"$FILTER"* ]] && continue
    run_one "$name" bash "$script" "$BUILD"
done

printf '\n%d benchmark(s) ran' "$ran"
if [[ ${#failed[@]} -gt 0 ]]; then
    printf ', %d failed: %s\n' "${#failed[@]}" "${failed[*]}"
    exit 1
fi
printf '\n'
