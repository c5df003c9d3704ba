#!/usr/bin/env bash
# run.sh: a default repair's passes on the worst case for the deeper ones: every real store
# of the corpus tiled end to end to 1 GiB (bench/scan's input), so that every block and node
# is found many times over. Prints the seconds of the probe, the scan, the folder walk and
# each method, the items each wrote, and the peak memory, beside the targets: peak memory
# under 1.5 GB, and no method taking more than twice the scan. Nothing fails on a target.
#
# Usage: bench/recovery/run.sh        (BUILD_DIR, KRV_CORPUS_DIR and TMPDIR may be set)
set -euo pipefail

repo=$(cd "$(dirname "$0")/../.." && pwd)
build=${BUILD_DIR:-$repo/build}
corpus=${KRV_CORPUS_DIR:-$repo/../shared/corpus/real}
tiled_min=$((1024 * 1024 * 1024))

if [[ ! -f $build/build.ninja ]]; then
    cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build" --target krv-inspect >/dev/null
shopt -s nullglob
stores=("$corpus"/*.pst "$corpus"/*.ost)
((${#stores[@]} > 0)) || { echo "run.sh: no stores under $corpus; set KRV_CORPUS_DIR" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/krv-recovery-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
export XDG_STATE_HOME=$work/state
cat "${stores[@]}" >"$work/pass.bin"
tiled=$work/tiled.bin
: >"$tiled"
while (($(stat -c %s "$tiled") < tiled_min)); do cat "$work/pass.bin" >>"$tiled"; done
rm -f "$work/pass.bin"
echo "input: $(( $(stat -c %s "$tiled") / 1048576 )) MiB, ${#stores[@]} stores tiled ($(nproc) cores, load $(cut -d' ' -f1 /proc/loadavg))"

json=$("$build/bin/krv-inspect" recover "$tiled" --fast --output "$work/out.pst")
python3 - "$json" <<'PY'
import json, sys
r = json.loads(sys.argv[1])
scan = r["scan_seconds"]
print(f"{'phase':<12} {'seconds':>9} {'folders':>8} {'messages':>9} {'wrapped':>8} {'items':>7}  verdict")
print(f"{'probe':<12} {r['probe_seconds']:>9.2f}")
print(f"{'scan':<12} {scan:>9.2f}")
for p in r["passes"]:
    verdict = "" if p["pass"] == "folder walk" else \
        f"<= 2 x scan: {'yes' if p['seconds'] <= 2 * scan else 'no'} ({p['seconds'] / scan if scan else 0:.2f} x)"
    print(f"{p['pass']:<12} {p['seconds']:>9.2f} {p['folders']:>8} {p['messages']:>9} {p['wrapped_attachments']:>8} {p['items']:>7}  {verdict}")
t = r["total"]
peak = r["peak_rss_bytes"] / 1e6
print(f"{'total':<12} {'':>9} {t['folders']:>8} {t['messages']:>9} {t['wrapped_attachments']:>8} {t['items']:>7}")
print(f"peak memory: {peak:.0f} MB (< 1500 MB: {'yes' if peak < 1500 else 'no'})")
PY
