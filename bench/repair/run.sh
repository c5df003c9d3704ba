#!/usr/bin/env bash
# run.sh: a healthy store of 20,000 messages (3 recipients, a 3 KB body and an 8 KB
# attachment each; about 430 MB) written by krv-mkpst, then, in the same run and on the same
# file: the repair with the front end's defaults into both layouts (krv_bench_repair, by
# phase), the whole krv-repair command, and pffexport -m all and readpst -D as the bar.
# Prints seconds, MB/s, messages per second of the writing phase and peak memory beside the
# targets: the repair no slower than pffexport (ratio <= 1.0), the writing phase at least
# 5,000 messages per second, peak memory under 300 MB. Nothing fails on a missed target.
#
# Usage: bench/repair/run.sh          (BUILD_DIR, TMPDIR and MESSAGES may be set)
set -euo pipefail

repo=$(cd "$(dirname "$0")/../.." && pwd)
build=${BUILD_DIR:-$repo/build}
messages=${MESSAGES:-20000}

if [[ ! -f $build/build.ninja ]]; then
    cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
build_type=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$build/CMakeCache.txt")
if [[ $build_type != Release ]]; then
    echo "run.sh: $build is a $build_type build; set BUILD_DIR to a Release build" >&2
    exit 1
fi
cmake --build "$build" --target krv_bench_repair krv-repair krv-mkpst >/dev/null
for tool in pffexport readpst; do
    command -v "$tool" >/dev/null || { echo "run.sh: $tool is missing (bash scripts/install-deps.sh)" >&2; exit 1; }
done
[[ -x /usr/bin/time ]] || { echo "run.sh: /usr/bin/time is missing (apt-get install time)" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/krv-bench-repair-XXXXXX")
trap 'rm -rf "$work"' EXIT
export XDG_STATE_HOME=$work/state
source=$work/source.pst
"$build/bin/krv-mkpst" "$source" --messages "$messages" --recipients 3 --body-bytes 3072 --attachments 1 \
    --attachment-bytes 8192 --folders 20 --quiet
size=$(stat -c %s "$source")
mb=$(awk -v s="$size" 'BEGIN { printf "%.0f", s / 1048576 }')
echo "source: $messages messages, $mb MB ($(nproc) cores, load $(cut -d' ' -f1 /proc/loadavg))"

field() { sed -n "s/.*\<$1=\([^ ]*\).*/\1/p" <<<"$2"; }
# Seconds and peak memory (MB) of a command, from GNU time.
timed() {
    /usr/bin/time -f '%e %M' -o "$work/time" "$@" >/dev/null 2>"$work/stderr" || true
    read -r secs kb <"$work/time"
    echo "$secs $(awk -v k="$kb" 'BEGIN { printf "%.1f", k / 1024 }')"
}

read -r pff_s pff_mb < <(mkdir -p "$work/pff" && timed pffexport -q -m all -t "$work/pff/out" "$source")
rm -rf "$work/pff"
read -r rp_s rp_mb < <(mkdir -p "$work/rp" && timed readpst -q -D -o "$work/rp" "$source")
rm -rf "$work/rp"

printf '%-22s %9s %8s %10s %12s %9s  %s\n' run seconds MB/s write_msg/s write_cpu_msg/s peak_MB verdict
printf '%-22s %9s %8s %10s %12s %9s\n' "pffexport -m all" "$pff_s" \
    "$(awk -v m="$mb" -v s="$pff_s" 'BEGIN { printf "%.0f", m / s }')" - - "$pff_mb"
printf '%-22s %9s %8s %10s %12s %9s\n' "readpst -D" "$rp_s" \
    "$(awk -v m="$mb" -v s="$rp_s" 'BEGIN { printf "%.0f", m / s }')" - - "$rp_mb"
for layout in unicode ansi; do
    line=$("$build/bin/krv_bench_repair" "$source" "$work/out-$layout.pst" "$layout")
    secs=$(field seconds "$line")
    rate=$(field messages_per_s "$line")
    cpu_rate=$(field messages_per_cpu_s "$line")
    peak=$(field peak_MB "$line")
    verdict=$(awk -v s="$secs" -v p="$pff_s" -v r="$rate" -v m="$peak" 'BEGIN {
        printf "ratio to pffexport %.2f (<= 1.0: %s), writing >= 5000 msg/s: %s, memory < 300 MB: %s",
            s / p, (s <= p) ? "yes" : "no", (r >= 5000) ? "yes" : "no", (m < 300) ? "yes" : "no" }')
    printf '%-22s %9s %8s %10s %12s %9s  %s\n' "repair into $layout" "$secs" \
        "$(awk -v m="$mb" -v s="$secs" 'BEGIN { printf "%.0f", m / s }')" "$rate" "$cpu_rate" "$peak" "$verdict"
    echo "    phases: index $(field index_seconds "$line") s ($(field index_cpu_seconds "$line") s CPU)," \
         "write $(field write_seconds "$line") s ($(field write_cpu_seconds "$line") s CPU)," \
         "$(field messages "$line") messages, $(field items "$line") items"
    rm -f "$work/out-$layout.pst"
done
# The five deeper passes find little on a healthy store, so they must cost little.
off=$("$build/bin/krv_bench_repair" "$source" "$work/out-off.pst" unicode --no-methods)
on=$("$build/bin/krv_bench_repair" "$source" "$work/out-on.pst" unicode)
rm -f "$work/out-off.pst" "$work/out-on.pst"
awk -v off="$(field cpu_seconds "$off")" -v on="$(field cpu_seconds "$on")" \
    -v offw="$(field seconds "$off")" -v onw="$(field seconds "$on")" 'BEGIN {
    printf "methods 1-5 on vs off: %.2f s vs %.2f s CPU (%+.1f%%), %.2f s vs %.2f s by the clock; <= +10%% by CPU: %s\n",
        on, off, (on / off - 1) * 100, onw, offw, (on <= off * 1.10) ? "yes" : "no" }'
read -r cli_s cli_mb < <(timed "$build/bin/krv-repair" "$source" "$work/out-cli.pst")
printf '%-22s %9s %8s %10s %12s %9s\n' "krv-repair (command)" "$cli_s" \
    "$(awk -v m="$mb" -v s="$cli_s" 'BEGIN { printf "%.0f", m / s }')" - - "$cli_mb"
