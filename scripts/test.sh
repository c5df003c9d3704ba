#!/usr/bin/env bash
# Installs, builds, and runs every test: a release build, then the same tests under
# AddressSanitizer and UndefinedBehaviorSanitizer. Ends with how long each step took.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
times=()
step() {  # step NAME COMMAND...: runs the command and notes its duration
  local name=$1 start=$SECONDS
  shift
  "$@"
  times+=("$(printf '%-28s %5d s' "$name" $((SECONDS - start)))")
}

step "install" bash scripts/install-deps.sh
step "release build" bash scripts/build.sh build -DCMAKE_BUILD_TYPE=Release
step "release tests" ctest --test-dir build --output-on-failure -j "$jobs"

step "sanitizer build" bash scripts/build.sh build-asan -DCMAKE_BUILD_TYPE=Debug -DKRV_SANITIZE=ON -DKRV_BUILD_BENCH=OFF
step "sanitizer tests" env ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs"

echo
echo "== Durations"
printf '%s\n' "${times[@]}"
printf '%-28s %5d s\n' "whole run" "$SECONDS"
