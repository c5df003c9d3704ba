#!/usr/bin/env bash
# run.sh: the scan and the repair of a store of the 4 KiB-page layout (offline folder files of
# Outlook 2013 and later), plain and zlib-compressed, beside a 64-bit store of the same
# content. krv-mkpst writes the same messages three times (same seed): as a 64-bit store
# and copied into the 4 KiB-page layout with blocks as they are and compressed. For each
# file: `krv-inspect scan` (full scan, as a repair's default fast scan is measured by the
# repair) and the whole `krv-repair` with the front end's defaults into a 64-bit store,
# with seconds, MB/s of the source and peak memory. Nothing fails on a figure. 500 folders
# keep every folder's tables within one heap block, which the copy into the 4 KiB-page
# layout needs (platform/pst/ndb/Unicode4kCopy.h).
#
# Usage: bench/unicode4k/run.sh     (BUILD_DIR, TMPDIR and MESSAGES may be set; the default
#                                    of 24,000 messages makes a 64-bit store of about 1 GB)
set -euo pipefail

repo=$(cd "$(dirname "$0")/../.." && pwd)
build=${BUILD_DIR:-$repo/build}
messages=${MESSAGES:-24000}

if [[ ! -f $build/build.ninja ]]; then
    cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
build_type=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$build/CMakeCache.txt")
if [[ $build_type != Release ]]; then
    echo "run.sh: $build is a $build_type build; set BUILD_DIR to a Release build" >&2
    exit 1
fi
cmake --build "$build" --target krv-repair krv-mkpst krv-inspect >/dev/null
[[ -x /usr/bin/time ]] || { echo "run.sh: /usr/bin/time is missing (apt-get install time)" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/krv-bench-4k-XXXXXX")
trap 'rm -rf "$work"' EXIT
export XDG_STATE_HOME=$work/state
shape=(--messages "$messages" --recipients 3 --body-bytes 6000 --attachments 2 --attachment-bytes 16000
       --folders 500 --seed 7 --quiet)
"$build/bin/krv-mkpst" "$work/unicode.pst" "${shape[@]}"
"$build/bin/krv-mkpst" "$work/4k.ost" --layout unicode4k "${shape[@]}"
"$build/bin/krv-mkpst" "$work/4k-compressed.ost" --layout unicode4k --compress "${shape[@]}"
echo "$messages messages ($(nproc) cores, load $(cut -d' ' -f1 /proc/loadavg))"
printf '%-18s %9s %9s %9s %9s %9s %9s %8s\n' file MB "scan s" "scan MB/s" "repair s" "rep MB/s" "peak MB" items
for name in unicode.pst 4k.ost 4k-compressed.ost; do
    file=$work/$name
    size=$(stat -c %s "$file")
    mb=$(awk -v s="$size" 'BEGIN { printf "%.1f", s / 1e6 }')
    scan=$("$build/bin/krv-inspect" scan "$file")
    scan_s=$(sed -n 's/.*"seconds": \([0-9.]*\).*/\1/p' <<<"$scan")
    out=$work/out.pst
    rm -f "$out"
    /usr/bin/time -f '%e %M' -o "$work/time" "$build/bin/krv-repair" -q --json --format unicode "$file" "$out" \
        >"$work/repair.json"
    read -r repair_s peak_kb <"$work/time"
    items=$(sed -n 's/.*"items": *\([0-9]*\).*/\1/p' "$work/repair.json" | head -1)
    printf '%-18s %9s %9.2f %9.1f %9.2f %9.1f %9.0f %8s\n' "$name" "$mb" "$scan_s" \
        "$(awk -v s="$size" -v t="$scan_s" 'BEGIN { print s / 1e6 / t }')" "$repair_s" \
        "$(awk -v s="$size" -v t="$repair_s" 'BEGIN { print s / 1e6 / t }')" "$((peak_kb / 1024))" "${items:-?}"
    rm -f "$out"
done
