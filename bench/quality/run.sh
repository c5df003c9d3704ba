#!/usr/bin/env bash
# run.sh: recovery quality end to end. Every store of the real corpus that libpff reads,
# and three larger ones written by krv-mkpst (folders, recipients, attachments, both
# layouts, all three encodings), damaged with every krv-damage kind and the mix of header,
# roots, sectors and an insertion, repaired by krv-repair with its defaults, and judged
# against what libpff reads from the undamaged original: of the messages whose blocks all
# survive intact somewhere in the damaged file, how many come back with the same subject
# and bodies, and how many with their attachments and recipients as well; and whether
# every output opens in pffinfo -a, readpst and krv-pstcheck. The rule: at least 99 % of
# the surviving messages whole for every damage kind, 100 % on undamaged stores.
#
# Usage: bench/quality/run.sh [--stores NAME,...] [--kinds KIND,...] [--json FILE]
#        (BUILD_DIR, KRV_CORPUS_DIR and TMPDIR may be set)
# Exit status: 0 the rule holds, 1 it does not, 77 a judge or the corpus is missing.
set -euo pipefail

repo=$(cd "$(dirname "$0")/../.." && pwd)
build=${BUILD_DIR:-$repo/build}
corpus=${KRV_CORPUS_DIR:-$repo/../shared/corpus/real}

if [[ ! -f $build/build.ninja ]]; then
    cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build" --target KRV krv-repair krv-inspect krv-damage krv-mkpst krv-pstcheck >/dev/null
echo "recovery quality: $(nproc) cores, load $(cut -d' ' -f1 /proc/loadavg), corpus $corpus"
exec /usr/bin/python3 "$repo/tests/judges/recovery_quality.py" --bin "$build/bin" --corpus "$corpus" "$@"
