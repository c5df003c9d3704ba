#!/usr/bin/env bash
# run.sh: what writing through the messaging interface costs over the message store
# itself. krv-mkpst (temporary profile, session, IMsgStore/IMAPIFolder/IMessage/IAttach,
# one SetProps per value) and krv_bench_pst_store (the store's own calls) write the same
# shapes, in both layouts:
#   (a) messages:    100,000 messages, 2 KB plain bodies, two recipients, ten folders
#   (b) attachments: 256 messages with one 4 MiB attachment each (1 GiB)
# and the script prints messages/s, MB/s (of the file for (a), of attachment bytes for
# (b); MB = 10^6 bytes), peak resident memory (from /usr/bin/time -v) and the interface's
# added time beside the target of at most +20%. Nothing fails on a missed target.
#
# krv-mkpst writes a little more per message than the store benchmark (sender name,
# address type and address, sent-representing name, submit time), as a real message has.
#
# Usage: bench/mapi/run.sh [COUNT_A [COUNT_B]]   (BUILD_DIR and TMPDIR may be set;
#        SKIP_BUILD=1 uses the programs already built there)
set -euo pipefail

repo=$(cd "$(dirname "$0")/../.." && pwd)
build=${BUILD_DIR:-$repo/build}
count_a=${1:-100000}
count_b=${2:-256}
tmp=${TMPDIR:-/tmp}

if [[ ! -f $build/build.ninja ]]; then
    cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
build_type=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$build/CMakeCache.txt")
if [[ $build_type != Release ]]; then
    echo "run.sh: $build is a $build_type build; set BUILD_DIR to a Release build" >&2
    exit 1
fi
if [[ ${SKIP_BUILD:-0} != 1 ]]; then
    cmake --build "$build" --target krv-mkpst krv_bench_pst_store >/dev/null
fi
mkpst=$build/bin/krv-mkpst
store_bench=$build/bin/krv_bench_pst_store
if [[ ! -x /usr/bin/time ]]; then
    echo "run.sh: /usr/bin/time is needed for peak memory (Debian package time)" >&2
    exit 1
fi

work=$(mktemp -d "$tmp/krv-bench-mapi-XXXXXX")
trap 'rm -rf "$work"' EXIT
# The temporary profiles go to a directory of this run's own.
export XDG_STATE_HOME=$work/state

# Runs a command under /usr/bin/time -v; sets seconds and peak_mb.
measure() {
    local start end
    start=$(date +%s.%N)
    /usr/bin/time -v -o "$work/time.txt" "$@" >"$work/out.txt" 2>"$work/err.txt" || {
        echo "run.sh: failed: $*" >&2
        cat "$work/err.txt" >&2
        exit 1
    }
    end=$(date +%s.%N)
    seconds=$(awk -v s="$start" -v e="$end" 'BEGIN { printf "%.2f", e - s }')
    peak_mb=$(awk '/Maximum resident set size/ { printf "%.1f", $NF * 1024 / 1e6 }' "$work/time.txt")
}

rate() { awk -v n="$1" -v s="$2" 'BEGIN { printf "%.1f", (s > 0) ? n / s : 0 }'; }

printf '%-12s %-8s %-10s %9s %9s %10s %9s %9s  %s\n' scenario layout writer messages seconds messages/s MB/s peak_MB \
    "interface cost (target <= +20%)"
for scenario in messages attachments; do
    for layout in ansi unicode; do
        if [[ $scenario == messages ]]; then
            count=$count_a
            shape=(--messages "$count" --folders 10 --depth 1 --recipients 2 --body-bytes 2048 --attachments 0)
        else
            count=$count_b
            shape=(--messages "$count" --folders 10 --depth 1 --recipients 2 --body-bytes 2048 --attachments 1
                --attachment-bytes 4194304)
        fi

        measure "$store_bench" "$scenario" "$layout" "$count"
        # The store benchmark times its own writing (without making its payload and
        # removing its file); krv-mkpst is timed whole, profile and generation included.
        store_seconds=$(sed -n 's/.* seconds=\([^ ]*\).*/\1/p' "$work/out.txt")
        store_peak=$peak_mb
        store_file_mb=$(sed -n 's/.* file_MB=\([^ ]*\).*/\1/p' "$work/out.txt")

        out=$work/mkpst.pst
        rm -f "$out"
        measure "$mkpst" "$out" --layout "$layout" "${shape[@]}" --plain-only --named-props 0 --quiet
        mkpst_seconds=$seconds
        mkpst_peak=$peak_mb
        mkpst_file_mb=$(awk -v b="$(stat -c %s "$out")" 'BEGIN { printf "%.1f", b / 1e6 }')
        rm -f "$out"

        if [[ $scenario == messages ]]; then
            store_mb=$store_file_mb
            mkpst_mb=$mkpst_file_mb
        else
            store_mb=$(awk -v n="$count" 'BEGIN { printf "%.1f", n * 4194304 / 1e6 }')
            mkpst_mb=$store_mb
        fi
        cost=$(awk -v a="$mkpst_seconds" -v b="$store_seconds" 'BEGIN {
            if (b <= 0) { print "n/a"; exit }
            c = (a / b - 1) * 100
            printf "%+.1f%% (%s)", c, (c <= 20) ? "met" : "missed" }')
        printf '%-12s %-8s %-10s %9s %9s %10s %9s %9s\n' "$scenario" "$layout" store "$count" "$store_seconds" \
            "$(rate "$count" "$store_seconds")" "$(rate "$store_mb" "$store_seconds")" "$store_peak"
        printf '%-12s %-8s %-10s %9s %9s %10s %9s %9s  %s\n' "$scenario" "$layout" krv-mkpst "$count" "$mkpst_seconds" \
            "$(rate "$count" "$mkpst_seconds")" "$(rate "$mkpst_mb" "$mkpst_seconds")" "$mkpst_peak" "$cost"
    done
done
