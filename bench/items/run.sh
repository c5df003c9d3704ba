#!/usr/bin/env bash
# run.sh: measures the message throughput of the folder-tree walk (krv-inspect tree --messages)
# on the real stores tiled into one large file.
#
# Usage: bench/items/run.sh            (BUILD_DIR, KRV_CORPUS_DIR, TMPDIR and TILED_MIN may be set)
#
# The input, made in $TMPDIR and deleted at the end, is the corpus's stores laid end to end
# until at least TILED_MIN bytes (1 GiB by default), as bench/scan/run.sh makes it. The
# scan runs as a repair's would (full scan); the figure is for the walk that follows it:
# every folder from the root, and for each message its subject, class, recipient rows and
# attachments, read through the item layer. "msg/s" is by the clock, "msg/s cpu" by the
# walk's own CPU time, which stays meaningful on a busy machine. A tiled file holds many
# copies of each store's nodes; the walk reads the best-ranked version of each, so it sees
# about one store's worth of folders, each message read from a large file.
set -euo pipefail

repo=$(cd "$(dirname "$0")/../.." && pwd)
build=${BUILD_DIR:-$repo/build}
corpus=${KRV_CORPUS_DIR:-$repo/../shared/corpus/real}
tiled_min=${TILED_MIN:-$((1024 * 1024 * 1024))}

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

work=$(mktemp -d "${TMPDIR:-/tmp}/krv-items-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

cat "${stores[@]}" >"$work/pass.bin"
tiled=$work/tiled.bin
: >"$tiled"
while (($(stat -c %s "$tiled") < tiled_min)); do cat "$work/pass.bin" >>"$tiled"; done
rm -f "$work/pass.bin"

# The value of a key of krv-inspect's one-line timing JSON.
field() { sed -n "s/.*\"$1\": \([^,}]*\).*/\1/p" <<<"$2"; }

timing=$("$inspect" tree "$tiled" --messages --timing 2>&1 >"$work/tree.json")
echo "timing: $timing" >&2
mb=$(awk -v b="$(field file_bytes "$timing")" 'BEGIN { printf "%.0f", b / 1e6 }')
row_format='%-24s %8s %9s %10s %10s %12s %12s'
printf "$row_format\n" input folders messages "walk s" "walk cpu s" "msg/s" "msg/s cpu"
printf "$row_format\n" "tiled corpus (${mb} MB)" "$(field folders "$timing")" "$(field messages "$timing")" \
    "$(field walk_seconds "$timing")" "$(field walk_cpu_seconds "$timing")" \
    "$(field messages_per_s "$timing")" "$(field messages_per_cpu_s "$timing")"
echo "(scan before the walk: $(field scan_seconds "$timing") s, $(field scan_cpu_seconds "$timing") s cpu)"
