#!/usr/bin/env bash
# Installs what is missing, builds, repairs the bundled damaged sample with krv-repair,
# and shows what came out through an independent reader (readpst of libpst).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh build -DCMAKE_BUILD_TYPE=Release

sample=samples/sample-damaged.pst
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

echo
echo "== The sample: $sample ($(stat -c %s "$sample") bytes), header and B-tree roots zeroed"
if readpst -q -o "$work" "$sample" >/dev/null 2>&1; then
  echo "readpst opens the damaged sample: it is not damaged enough to show anything" >&2
  exit 1
fi
echo "readpst cannot open it."

echo
echo "== krv-repair --json --quiet $sample $work/sample_fixed.pst"
set +e
build/bin/krv-repair --json --quiet "$sample" "$work/sample_fixed.pst" > "$work/summary.json"
status=$?
set -e
echo "krv-repair exit status: $status (0: items recovered, 1: nothing recovered)"
python3 -c 'import json,sys; print(json.dumps(json.load(open(sys.argv[1])), indent=2, ensure_ascii=False))' "$work/summary.json"
[ "$status" -eq 0 ] || exit 1

echo
echo "== What readpst finds in the repaired store (messages per folder)"
mkdir "$work/mail"
readpst -M -8 -q -o "$work/mail" "$work/sample_fixed.pst"
( cd "$work/mail" && find . -mindepth 1 -type d | sort | while read -r folder; do
    count=$(find "$folder" -maxdepth 1 -type f -regex '.*/[0-9]+' | wc -l)
    printf '%6d  %s\n' "$count" "${folder#./}"
  done )
echo "messages in the healthy store before the damage: $(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["messages"])' samples/sample-damaged.manifest.json)"

items=$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["items"])' "$work/summary.json")
echo
echo "Items recovered: $items"
