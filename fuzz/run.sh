#!/usr/bin/env bash
# run.sh: builds the reader's, item layer's and repair's libFuzzer targets with clang in build-fuzz and runs
# each one.
#
# usage: fuzz/run.sh [SECONDS] [TARGET...]
#        (defaults: 240 seconds; targets scan blocktree propctx tablectx recovery)
#
# Each target starts from the committed seeds (fuzz/seeds/<target>), the kept crash inputs
# (fuzz/regressions/<target>) and more of the real mail stores: larger pieces cut by
# krv_fuzz_seeds, and more of their property and table contexts taken by
# krv_fuzz_item_seeds, and for recovery every real store that fits in 64 KiB once the zeros
# after its last data are cut; what it learns stays in build-fuzz/fuzz-corpus/<target> for the next run.
# A crash, leak, sanitizer report or failed check leaves its input in
# build-fuzz/fuzz-artifacts/<target>/; once the fault is fixed, copy that file into
# fuzz/regressions/<target>/, where the normal test build replays it
# (krv_reader_fuzz_regressions, krv_items_fuzz_regressions, krv_recovery_fuzz_regressions).
set -euo pipefail

seconds=${1:-240}
shift || true
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(scan blocktree propctx tablectx recovery)

root=$(cd "$(dirname "$0")/.." && pwd)
build=${KRV_FUZZ_BUILD_DIR:-$root/build-fuzz}
corpus_dir=${KRV_CORPUS_DIR:-$root/../shared/corpus/real}

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  $(command -v ccache >/dev/null && echo -DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache) \
  -DKRV_SANITIZE=ON -DKRV_BUILD_FUZZ=ON -DKRV_BUILD_TESTS=OFF -DKRV_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --target krv_fuzz_seeds krv_fuzz_item_seeds $(printf 'krv_fuzz_%s ' "${targets[@]}")

# Larger seeds from the real stores, when they are there; the committed ones always are.
generated=$build/fuzz-seeds
if [ -d "$corpus_dir" ]; then
  "$build/bin/krv_fuzz_seeds" "$generated" "$corpus_dir" --large
  "$build/bin/krv_fuzz_item_seeds" "$generated" "$corpus_dir" 6
  # Whole stores for the repair: the option byte of a default repair (all five passes,
  # output in the other layout every second file), then the store cut after its last data.
  python3 - "$corpus_dir" "$generated/recovery" <<'PY'
import os, sys
src, out = sys.argv[1], sys.argv[2]
os.makedirs(out, exist_ok=True)
for i, name in enumerate(sorted(os.listdir(src))):
    if not name.endswith(('.pst', '.ost')):
        continue
    data = open(os.path.join(src, name), 'rb').read().rstrip(b'\0')
    data = data + b'\0' * (-len(data) % 512)
    if 0 < len(data) <= 65536:
        open(os.path.join(out, name), 'wb').write(bytes([0x3E | (i & 1)]) + data)
PY
fi

status=0
for target in "${targets[@]}"; do
  work=$build/fuzz-corpus/$target
  artifacts=$build/fuzz-artifacts/$target
  mkdir -p "$work" "$artifacts"
  dirs=("$work" "$root/fuzz/seeds/$target")
  [ -d "$root/fuzz/regressions/$target" ] && dirs+=("$root/fuzz/regressions/$target")
  [ -d "$generated/$target" ] && dirs+=("$generated/$target")
  echo "== krv_fuzz_$target for ${seconds}s"
  # The option byte plus 64 KiB: what the largest seeds hold.
  if ! "$build/bin/krv_fuzz_$target" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=60 \
      -max_len=65537 -print_final_stats=1 -artifact_prefix="$artifacts/" "${dirs[@]}"; then
    echo "krv_fuzz_$target failed; its input is in $artifacts" >&2
    status=1
  fi
done
exit $status
