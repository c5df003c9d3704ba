#!/usr/bin/env bash
# run.sh: the reader's passes and the whole job against the floor their abort queries set.
#
# Usage: bench/scan/run.sh   (BUILD_DIR, BENCH, KRV_CORPUS_DIR, TMPDIR, TILED_BYTES,
#                             RANDOM_BYTES, PADDED_BYTES and KRV_BENCH_RUNS may be set)
#
# Inputs, made in $TMPDIR and deleted at the end:
#   (a) the real stores of the corpus tiled end to end until at least 1 GiB,
#   (b) 256 MiB of random bytes,
#   (c) the largest real store of the corpus that the reader takes (not a 4 KiB-page one),
#       padded with zeros to 5 GB (a sparse file: the zeros cost no disk).
# For each, in one run: `cat FILE > /dev/null` from a warm page cache; krv_bench_scan's
# passes (each probe, the scan full and fast with its collectors) and the whole job through
# RepairEntry with the command line's defaults. Every pass asks its abort question after
# each position it examines; the floor is the time of that many calls of a callback that
# does what krv-repair's does, made from a bare loop in the same process. The table gives
# time per examined position, MB/s and each figure as a multiple of its floor (by processor
# time, which other work on a shared machine does not inflate; by the clock beside it;
# each pass, its floor and its work alone the best of KRV_BENCH_RUNS runs, 3 unless set),
# beside the targets (each pass within 1.5x its floor, the job within 2.5x its floor, the full scan of
# random bytes at least 3x the figure before the two-stage walk). Nothing fails on them.
# Last, `krv_bench_scan parts` on the tiled corpus: the fast scan's work split into the parts
# that no walk can leave out, each against the fast scan's floor.
# MB are 10^6 bytes.
set -euo pipefail

repo=$(cd "$(dirname "$0")/../.." && pwd)
build=${BUILD_DIR:-$repo/build}
corpus=${KRV_CORPUS_DIR:-$repo/../shared/corpus/real}
tiled_min=${TILED_BYTES:-$((1024 * 1024 * 1024))}
random_size=${RANDOM_BYTES:-$((256 * 1024 * 1024))}
padded_size=${PADDED_BYTES:-5000000000}
# The full scan of random bytes before this benchmark's change, MB/s by the clock on the
# two-core development machine; the target is three times it.
random_full_before=${RANDOM_FULL_BEFORE:-104}

if [[ ! -f $build/build.ninja ]]; then
    cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
build_type=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$build/CMakeCache.txt")
if [[ $build_type != Release ]]; then
    echo "run.sh: $build is a $build_type build; set BUILD_DIR to a Release build" >&2
    exit 1
fi
cmake --build "$build" --target krv_bench_scan >/dev/null
# BENCH names another krv_bench_scan, such as one built from an earlier commit, to compare.
bench=${BENCH:-$build/bin/krv_bench_scan}

shopt -s nullglob
stores=("$corpus"/*.pst "$corpus"/*.ost)
if ((${#stores[@]} == 0)); then
    echo "run.sh: no stores under $corpus; set KRV_CORPUS_DIR" >&2
    exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/krv-scan-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
export XDG_STATE_HOME=$work/state

# (a): one pass over the corpus, then that pass repeated until the size is reached.
cat "${stores[@]}" >"$work/pass.bin"
tiled=$work/tiled.bin
: >"$tiled"
while (($(stat -c %s "$tiled") < tiled_min)); do cat "$work/pass.bin" >>"$tiled"; done
rm -f "$work/pass.bin"
# (b)
head -c "$random_size" /dev/urandom >"$work/random.bin"
# (c): wVer, the 16-bit value at offset 10, is 36 in 4 KiB-page stores.
largest=
for store in "${stores[@]}"; do
    version=$(od -An -tu2 -j10 -N2 "$store" | tr -d ' ')
    [[ $version == 36 ]] && continue
    if [[ -z $largest ]] || (($(stat -c %s "$store") > $(stat -c %s "$largest"))); then largest=$store; fi
done
padded=$work/padded.bin
cp "$largest" "$padded"
truncate -s "$padded_size" "$padded"

now() { date +%s.%N; }
size_of() { stat -c %s "$1"; }
field() { sed -n "s/.*\<$1=\([^ ]*\).*/\1/p" <<<"$2"; }

# Seconds of a warm `cat`: one read to fill the page cache, one timed.
cat_seconds() {
    cat "$1" >/dev/null
    local start end
    start=$(now)
    cat "$1" >/dev/null
    end=$(now)
    awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f", e - s }'
}

row_format='%-24s %-13s %8s %8s %12s %8s %8s %9s %9s %8s %8s  %s\n'
rows=()
add_row() { rows+=("$(printf "$row_format" "$@")"); }

# One line of krv_bench_scan into a row, with the verdict against its target multiple.
add_pass_row() {  # label line target_multiple
    local label=$1 line=$2 target=$3 pass seconds multiple verdict
    pass=$(field pass "$line")
    seconds=$(field seconds "$line")
    multiple=$(field floor_multiple "$line")
    verdict=$(awk -v m="$multiple" -v t="$target" 'BEGIN { printf "<= %.1fx floor: %s", t, (m <= t) ? "met" : "MISSED" }')
    if [[ -n $(field work_floor_multiple "$line") ]]; then
        verdict+="; work between questions $(field work_floor_multiple "$line")x floor"
    fi
    if [[ $pass == scan_full && $label == random* ]]; then
        verdict+=$(awk -v r="$(field mb_per_s "$line")" -v b="$random_full_before" \
            'BEGIN { printf "; >= %d MB/s (3x %d): %s", 3 * b, b, (r >= 3 * b) ? "met" : "MISSED" }')
    fi
    add_row "$label" "$pass" "$seconds" "$(field cpu_seconds "$line")" "$(field questions "$line")" \
        "$(field ns_per_position "$line")" "$(field mb_per_s "$line")" "$(field mb_per_cpu_s "$line")" \
        "$(field floor_cpu_seconds "$line")" "$multiple" "$(field clock_floor_multiple "$line")" "$verdict"
}

measure() {  # label file
    local label=$1 file=$2 seconds line
    seconds=$(cat_seconds "$file")
    add_row "$label" cat "$seconds" - - - "$(awk -v b="$(size_of "$file")" -v s="$seconds" \
        'BEGIN { printf "%.1f", b / 1e6 / s }')" - - - - "page-cache read rate"
    while read -r line; do
        echo "$label: $line" >&2
        add_pass_row "$label" "$line" 1.5
    done < <("$bench" passes "$file")
    line=$("$bench" job "$file" "$work/out.pst")
    echo "$label: $line" >&2
    add_pass_row "$label" "$line" 2.5
    rows+=("$(printf '%-24s %-13s %8s %8s' "$label" job_indexing "$(field index_seconds "$line")" \
        "$(field index_cpu_seconds "$line")")   probes, scan, collectors: $(field index_floor_multiple "$line")x the job's floor (cpu)$( \
        if [[ $(field indexed "$line") == 0 ]]; then echo "; nothing found, the job ends here"; fi)")
    rm -rf "$work/out"*
}

mb_of() { awk -v b="$(size_of "$1")" 'BEGIN { printf "%.0f", b / 1e6 }'; }
measure "tiled corpus ($(mb_of "$tiled") MB)" "$tiled"
measure "random ($(mb_of "$work/random.bin") MB)" "$work/random.bin"
measure "$(basename "$largest") to $(mb_of "$padded") MB" "$padded"
# The fast scan's work on the tiled corpus split into what no walk can leave out: reading
# every byte, the first-stage search, the CRCs of the blocks it takes, the collectors.
parts=$("$bench" parts "$tiled")

echo "$(nproc) cores, load $(cut -d' ' -f1 /proc/loadavg)"
printf "$row_format" input pass seconds "cpu s" questions "ns/pos" "MB/s" "MB/cpu s" "floor cpu" "x floor" "x clock" "target (x floor: by processor time)"
printf '%s\n' "${rows[@]}"
echo
echo "fast scan of the tiled corpus, its work in parts (cpu, best of runs; multiples of the fast scan's floor):"
printf '%s\n' "$parts"
