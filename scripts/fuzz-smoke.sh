#!/usr/bin/env bash
# Builds the fuzz preset and runs every libFuzzer target for a short fixed number of
# runs over its seed corpus (tests/fuzz/<area>/corpus), so that CI stays fast.
# KX_FUZZ_RUNS overrides the count (default 20000).
set -euo pipefail
cd "$(dirname "$0")/.."
runs="${KX_FUZZ_RUNS:-20000}"
cmake --preset fuzz >/dev/null
cmake --build build/fuzz -j2
status=0
found=0
for target in $(find build/fuzz/tests/fuzz -type f -name 'fuzz_*' -perm -u+x 2>/dev/null | sort); do
    found=1
    area="$(basename "$(dirname "$target")")"
    work="$(mktemp -d)"
    scratch="$(mktemp -d)"
    seeds=()
    if [ -d "tests/fuzz/$area/corpus" ]; then seeds=("tests/fuzz/$area/corpus"); fi
    echo "== $target: $runs runs"
    # New inputs go to a throwaway directory; the committed corpus is only read.
    if ! TMPDIR="$scratch" "$target" -runs="$runs" -seed=1 -max_len=16384 -rss_limit_mb=2048 -timeout=20 \
        "$work" "${seeds[@]}" > "$work.log" 2>&1; then
        tail -n 40 "$work.log"
        status=1
    else
        tail -n 1 "$work.log"
    fi
    rm -rf "$work" "$work.log" "$scratch"
done
if [ "$found" = 0 ]; then echo "no fuzz targets built"; fi
exit $status
