#!/usr/bin/env bash
# run.sh: the 32-bit layout's ceiling. A Unicode store of about 2.3 GB (600 messages with a
# 4 MB attachment each, written by krv-mkpst) is repaired into the 32-bit layout with
# splitting off: the writer refuses the message that would take the file past its largest
# size, and the repair must go on in out_1.pst instead of losing it and every later one.
# Checks that out.pst and out_1.pst exist, that krv-pstcheck, pffinfo -a and readpst accept
# both, and that together they hold every message of the source exactly once; prints the
# sizes and the time. Needs about 7 GB of free space in TMPDIR; not part of the test suite
# for that reason.
#
# Usage: bench/ceiling/run.sh          (BUILD_DIR and TMPDIR may be set)
set -euo pipefail

repo=$(cd "$(dirname "$0")/../.." && pwd)
build=${BUILD_DIR:-$repo/build}
messages=${MESSAGES:-600}

if [[ ! -f $build/build.ninja ]]; then
    cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build" --target krv_bench_repair krv-mkpst krv-pstcheck >/dev/null

tmp=${TMPDIR:-/tmp}
free_kb=$(df -Pk "$tmp" | awk 'NR == 2 { print $4 }')
if (( free_kb < 7 * 1024 * 1024 )); then
    echo "run.sh: needs 7 GB free in $tmp, has $((free_kb / 1024)) MB; skipped" >&2
    exit 0
fi
work=$(mktemp -d "$tmp/krv-bench-ceiling-XXXXXX")
trap 'rm -rf "$work"' EXIT
export XDG_STATE_HOME=$work/state

source=$work/source.pst
"$build/bin/krv-mkpst" "$source" --messages "$messages" --attachments 1 --attachment-bytes 4194304 \
    --recipients 1 --body-bytes 512 --folders 3 --quiet
echo "source: $messages messages, $(( $(stat -c %s "$source") / 1048576 )) MB"

out=$work/out.pst
line=$("$build/bin/krv_bench_repair" "$source" "$out" ansi) || true
echo "repair: $line"

status=0
parts=("$out")
for i in 1 2 3 4; do [[ -f $work/out_$i.pst ]] && parts+=("$work/out_$i.pst"); done
echo "parts: ${#parts[@]} (want 2: out.pst and out_1.pst)"
(( ${#parts[@]} == 2 )) || status=1
for part in "${parts[@]}"; do
    size=$(( $(stat -c %s "$part") / 1048576 ))
    check=0; "$build/bin/krv-pstcheck" "$part" >/dev/null 2>&1 || check=$?
    info=0; pffinfo -a "$part" >/dev/null 2>&1 || info=$?
    rp=0; mkdir -p "$work/rp" && readpst -q -D -o "$work/rp" "$part" >/dev/null 2>&1 || rp=$?
    rm -rf "$work/rp"
    echo "  $(basename "$part"): $size MB, krv-pstcheck $check, pffinfo $info, readpst $rp"
    (( check == 0 && info == 0 && rp == 0 )) || status=1
done
# Every message of the source once, outside the lost-and-found folders.
counts=$(for part in "${parts[@]}"; do
    /usr/bin/python3 - "$part" <<'PY'
import sys, pypff
f = pypff.file(); f.open(sys.argv[1])
def walk(folder, path):
    for i in range(folder.number_of_sub_messages):
        if "Recovered_Group" not in path:
            print(folder.get_sub_message(i).subject)
    for i in range(folder.number_of_sub_folders):
        sub = folder.get_sub_folder(i)
        walk(sub, path + "/" + (sub.name or ""))
walk(f.get_root_folder(), "")
PY
done | sort | uniq -c | awk '{ print $1 }' | sort | uniq -c)
echo "subjects seen N times (count N): $(echo $counts)"
distinct=$(for part in "${parts[@]}"; do :; done; echo "$counts" | awk '$2 == 1 { print $1 }')
[[ $(echo "$counts" | wc -l) -eq 1 && ${distinct:-0} -eq $messages ]] || status=1
echo "verdict: $([[ $status -eq 0 ]] && echo "every message once in two clean files" || echo "FAILED")"
exit $status
