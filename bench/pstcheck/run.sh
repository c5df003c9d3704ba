#!/usr/bin/env bash
# run.sh: krv-pstcheck's time and resident memory on a large healthy store, beside the
# store's size: the checker reads through a bounded window, so its memory should follow
# the number of blocks and nodes it indexes, not the bytes of the file.
#
# Usage: bench/pstcheck/run.sh            (BUILD_DIR, TMPDIR, MESSAGES and ATTACHMENT_BYTES may be set)
#
# The store, made in $TMPDIR with krv-mkpst and deleted at the end, holds MESSAGES messages
# (400 by default) with one attachment of ATTACHMENT_BYTES (1 MB by default) each: about
# 400 MB of data blocks. Target: peak resident memory a small fraction of the store's size.
set -euo pipefail

repo=$(cd "$(dirname "$0")/../.." && pwd)
build=${BUILD_DIR:-$repo/build}
messages=${MESSAGES:-400}
attachment_bytes=${ATTACHMENT_BYTES:-1000000}

if [[ ! -f $build/build.ninja ]]; then
    cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
build_type=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$build/CMakeCache.txt")
if [[ $build_type != Release ]]; then
    echo "run.sh: $build is a $build_type build; set BUILD_DIR to a Release build" >&2
    exit 1
fi
cmake --build "$build" --target krv-pstcheck krv-mkpst >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/krv-pstcheck-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
store=$work/large.pst
"$build/bin/krv-mkpst" "$store" --messages "$messages" --attachment-bytes "$attachment_bytes" >/dev/null

/usr/bin/time -f '%e %M' -o "$work/time" "$build/bin/krv-pstcheck" "$store" >"$work/check.txt" || true
read -r seconds rss_kb <"$work/time"
mb=$(awk -v b="$(stat -c %s "$store")" 'BEGIN { printf "%.0f", b / 1e6 }')
row_format='%-22s %10s %10s %14s %s'
printf "$row_format\n" input "check s" "peak MB" "peak / store" verdict
printf "$row_format\n" "mkpst store (${mb} MB)" "$seconds" "$(awk -v k="$rss_kb" 'BEGIN { printf "%.1f", k / 1024 }')" \
    "$(awk -v k="$rss_kb" -v m="$mb" 'BEGIN { printf "%.3f", k / 1024 / m }')" "$(tail -n 1 "$work/check.txt")"
echo "(target: peak resident memory a small fraction of the store's size)"
