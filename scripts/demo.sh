#!/usr/bin/env bash
# Installs, builds, and repairs the bundled sample with krv-repair.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh build -DCMAKE_BUILD_TYPE=Release
out=$(mktemp -d)/sample_recovered.pst
set +e
build/bin/krv-repair samples/tika-testPST_variousBodyTypes.pst "$out"
status=$?
set -e
echo "krv-repair exit status: $status (0: items recovered, 1: nothing recovered)"
[ "$status" -le 1 ]
