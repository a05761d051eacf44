#!/usr/bin/env bash
# Runs every libFuzzer target in DIR for RUNS runs (and, with SECONDS, for at
# most that many seconds each, whichever ends first), each on a scratch copy
# of its seed corpus (tests/fuzz/corpus/<target>/, target = binary name
# without "fuzz_"), so the checked-in seeds never change. Fails on the first
# target that crashes, leaks or breaks a property; its reproducer is left in
# the scratch directory, which is printed.
# Usage: tests/fuzz/run.sh DIR RUNS [SECONDS]
set -euo pipefail
dir=$(cd "${1:?usage: run.sh DIR RUNS}" && pwd)
runs=${2:?usage: run.sh DIR RUNS [SECONDS]}
seconds=${3:-0}
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d "${TMPDIR:-/tmp}/svnscc-fuzz.XXXXXX")
status=0
found=0
for binary in "$dir"/fuzz_*; do
    [ -x "$binary" ] && [ -f "$binary" ] || continue
    found=$((found + 1))
    name=$(basename "$binary")
    target=${name#fuzz_}
    work="$scratch/$target"
    mkdir -p "$work/corpus" "$work/artifacts"
    if [ -d "$here/corpus/$target" ]; then
        cp -R "$here/corpus/$target/." "$work/corpus/"
    fi
    limit=""
    [ "$seconds" = 0 ] || limit=", at most $seconds s"
    echo "== $name: $runs runs$limit"
    # A quarantine of 16 MB instead of 256: freed memory is reused sooner,
    # which halves the time a run spends on fresh pages, and a use after free
    # in one input's parse is still caught.
    if ! (cd "$work" && ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:quarantine_size_mb=16} \
            LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$here/../lsan.supp:print_suppressions=0} \
            "$binary" -runs="$runs" -max_total_time="$seconds" -max_len=4096 \
            -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$work/artifacts/" \
            corpus >"$work/log" 2>&1); then
        echo "!! $name failed; log and reproducer in $work"
        tail -n 40 "$work/log"
        status=1
    else
        grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb|Done)' "$work/log" || true
    fi
done
if [ "$found" -eq 0 ]; then
    echo "no fuzz targets in $dir" >&2
    exit 1
fi
[ "$status" -ne 0 ] || rm -rf "$scratch"
exit "$status"
