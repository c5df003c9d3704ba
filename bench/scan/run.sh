#!/usr/bin/env bash
# run.sh: measures the reader's scan (full and fast) on a tiled real-store file and on random bytes.
#
# Usage: bench/scan/run.sh            (BUILD_DIR, KRV_CORPUS_DIR and TMPDIR may be set)
#
# Inputs, made in $TMPDIR and deleted at the end:
#   (a) the real stores of the corpus tiled end to end until at least 1 GiB,
#   (b) 256 MiB of random bytes.
# For each it first times `cat FILE > /dev/null` from a warm page cache, the rate at which
# the machine can hand over the bytes at all, then runs `krv-inspect scan` and prints a
# table. The targets are shown beside the figures; nothing fails on them. "MB/s" is by the
# clock, "MB/s cpu" by the scan's own CPU time, which stays meaningful on a busy machine;
# the verdict uses the clock figure. MB are 10^6 bytes.
set -euo pipefail

repo=$(cd "$(dirname "$0")/../.." && pwd)
build=${BUILD_DIR:-$repo/build}
corpus=${KRV_CORPUS_DIR:-$repo/../shared/corpus/real}
tiled_min=$((1024 * 1024 * 1024))
random_size=$((256 * 1024 * 1024))

if [[ ! -f $build/build.ninja ]]; then
    cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
build_type=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$build/CMakeCache.txt")
if [[ $build_type != Release ]]; then
    echo "run.sh: $build is a $build_type build; set BUILD_DIR to a Release build" >&2
    exit 1
fi
cmake --build "$build" --target krv-inspect >/dev/null
inspect=$build/bin/krv-inspect

shopt -s nullglob
stores=("$corpus"/*.pst "$corpus"/*.ost)
if ((${#stores[@]} == 0)); then
    echo "run.sh: no stores under $corpus; set KRV_CORPUS_DIR" >&2
    exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/krv-scan-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

# (a): one pass over the corpus, then that pass repeated until the size is reached.
cat "${stores[@]}" >"$work/pass.bin"
tiled=$work/tiled.bin
: >"$tiled"
while (($(stat -c %s "$tiled") < tiled_min)); do cat "$work/pass.bin" >>"$tiled"; done
rm -f "$work/pass.bin"
# (b)
head -c "$random_size" /dev/urandom >"$work/random.bin"

now() { date +%s.%N; }
size_of() { stat -c %s "$1"; }
# The value of a key of krv-inspect's one-line JSON.
field() { sed -n "s/.*\"$1\": \([^,}]*\).*/\1/p" <<<"$2"; }

# MB/s of a warm `cat`: one read to fill the page cache, one timed.
cat_rate() {
    cat "$1" >/dev/null
    local start end
    start=$(now)
    cat "$1" >/dev/null
    end=$(now)
    awk -v b="$(size_of "$1")" -v s="$start" -v e="$end" 'BEGIN { printf "%.0f", b / 1e6 / (e - s) }'
}

rows=()
row_format='%-24s %-5s %9s %9s %13s %13s   %s'
add_row() { rows+=("$(printf "$row_format" "$@")"); }

measure() {  # label file mode target_mb_s [krv-inspect options]
    local label=$1 file=$2 mode=$3 target=$4
    shift 4
    local json rate cpu_rate per_copy rss verdict
    json=$("$inspect" scan "$file" "$@")
    rate=$(field mb_per_s "$json")
    cpu_rate=$(field mb_per_cpu_s "$json")
    per_copy=$(field bytes_per_block_copy "$json")
    rss=$(awk -v r="$(field peak_rss_bytes "$json")" 'BEGIN { printf "%.1f", r / 1048576 }')
    verdict=$(awk -v r="$rate" -v t="$target" -v c="$per_copy" 'BEGIN {
        m = (r >= t) ? "met" : "MISSED"; if (c != "null" && c > 64) m = m ", index > 64 B/copy";
        printf ">= %d MB/s: %s", t, m }')
    add_row "$label" "$mode" "$rate" "$cpu_rate" "$per_copy" "$rss" "$verdict"
    echo "$label $mode: $json" >&2
}

tiled_mb=$(awk -v b="$(size_of "$tiled")" 'BEGIN { printf "%.0f", b / 1e6 }')
random_mb=$(awk -v b="$(size_of "$work/random.bin")" 'BEGIN { printf "%.0f", b / 1e6 }')
add_row "tiled corpus (${tiled_mb} MB)" "cat" "$(cat_rate "$tiled")" "-" "-" "-" "page-cache read rate"
add_row "random (${random_mb} MB)" "cat" "$(cat_rate "$work/random.bin")" "-" "-" "-" "page-cache read rate"
measure "tiled corpus (${tiled_mb} MB)" "$tiled" full 100
measure "tiled corpus (${tiled_mb} MB)" "$tiled" fast 500 --fast
measure "random (${random_mb} MB)" "$work/random.bin" full 100

printf "$row_format\n" input mode "MB/s" "MB/s cpu" "index B/copy" "peak RSS MiB" target
printf '%s\n' "${rows[@]}"
