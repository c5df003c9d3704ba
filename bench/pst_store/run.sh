#!/usr/bin/env bash
# run.sh: measures the message store: (a) 100,000 messages with 2 KB bodies and two
# recipients each, (b) 1 GiB of attachments (256 x 4 MiB), each in both layouts, and prints
# the figures beside the targets: (a) under 30 s, (b) at least 100 MB/s, and peak memory
# under 64 MB plus 512 bytes per message. Nothing fails on a missed target.
#
# Usage: bench/pst_store/run.sh          (BUILD_DIR and TMPDIR may be set)
set -euo pipefail

repo=$(cd "$(dirname "$0")/../.." && pwd)
build=${BUILD_DIR:-$repo/build}

if [[ ! -f $build/build.ninja ]]; then
    cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
build_type=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$build/CMakeCache.txt")
if [[ $build_type != Release ]]; then
    echo "run.sh: $build is a $build_type build; set BUILD_DIR to a Release build" >&2
    exit 1
fi
cmake --build "$build" --target krv_bench_pst_store >/dev/null
bench=$build/bin/krv_bench_pst_store

field() { sed -n "s/.* $1=\([^ ]*\).*/\1/p" <<<"$2"; }

printf '%-12s %-8s %9s %9s %9s %10s %12s  %s\n' scenario layout messages seconds MB/s peak_MB target_MB verdict
for scenario in messages attachments; do
    for layout in ansi unicode; do
        line=$("$bench" "$scenario" "$layout")
        seconds=$(field seconds "$line")
        rate=$(field MB_per_s "$line")
        peak=$(field peak_MB "$line")
        target=$(field target_peak_MB "$line")
        messages=$(field messages "$line")
        if [[ $scenario == messages ]]; then
            speed_ok=$(awk -v s="$seconds" 'BEGIN { print (s < 30) ? "yes" : "no" }')
            speed="under 30 s: $speed_ok"
        else
            speed_ok=$(awk -v r="$rate" 'BEGIN { print (r >= 100) ? "yes" : "no" }')
            speed=">= 100 MB/s: $speed_ok"
        fi
        memory_ok=$(awk -v p="$peak" -v t="$target" 'BEGIN { print (p < t) ? "yes" : "no" }')
        printf '%-12s %-8s %9s %9s %9s %10s %12s  %s, memory: %s\n' "$scenario" "$layout" "$messages" "$seconds" \
            "$rate" "$peak" "$target" "$speed" "$memory_ok"
    done
done
