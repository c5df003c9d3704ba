#!/usr/bin/env bash
# Regenerates samples/sample-damaged.pst, the damaged store that scripts/demo.sh repairs:
# a healthy store written by krv-mkpst (a few folders, 100 messages with recipients and
# attachments, subjects, names and bodies partly in non-ASCII text), then damaged by
# krv-damage so that neither pffinfo nor readpst can open it: the two B-tree root pages
# zeroed, four random sectors zeroed, then the header zeroed.
#
# Usage: samples/make-sample.sh [BIN_DIR]   (default: build/bin)
#
# Everything follows from the fixed seeds, and the store's contents (samples/
# sample-damaged.manifest.json) come out the same on every run. The bytes of the .pst do
# not: the store writer gives each new store a random 16-byte record key, which every
# entry ID and search key holds, and stamps messages with the time they were saved; the
# CRCs over those bytes differ with them.
set -euo pipefail
cd "$(dirname "$0")/.."
bin=${1:-build/bin}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$bin/krv-mkpst" "$work/healthy.pst" --layout unicode --folders 6 --depth 2 --messages 100 \
  --recipients 3 --attachments 1 --attachment-bytes 3000 --body-bytes 1500 --unicode-text \
  --seed 12 --quiet --manifest "$work/manifest.json"
"$bin/krv-damage" "$work/healthy.pst" "$work/roots.pst" --kind kill-roots
"$bin/krv-damage" "$work/roots.pst" "$work/sectors.pst" --kind zero-sectors --count 4 --seed 7
"$bin/krv-damage" "$work/sectors.pst" "$work/damaged.pst" --kind zero-header

# The sample must be beyond the independent readers, or it shows nothing.
if pffinfo "$work/damaged.pst" >/dev/null 2>&1; then echo "pffinfo still opens the damaged store" >&2; exit 1; fi
if readpst -o "$work" -q "$work/damaged.pst" >/dev/null 2>&1; then echo "readpst still opens the damaged store" >&2; exit 1; fi

cp "$work/damaged.pst" samples/sample-damaged.pst
cp "$work/manifest.json" samples/sample-damaged.manifest.json
echo "wrote samples/sample-damaged.pst ($(stat -c %s samples/sample-damaged.pst) bytes)"
