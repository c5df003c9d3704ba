#!/usr/bin/env bash
# Installs what building and testing Corvessa needs on Debian 12 (run as root).
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config binutils
  zlib1g-dev             # inflating the blocks of 4 KiB-page offline folder files
  libgtest-dev libgmock-dev libbenchmark-dev
  pst-utils pff-tools    # independent readers that judge our output in tests
  python3-olefile        # independent compound-file reader for the embedded-object tests
  python3-pypff          # libpff from Python: the repair tests compare outputs with what it reads
  time                   # GNU time: peak memory in the benchmarks
  qt6-base-dev           # the desktop front end (Qt 6 Widgets; uic, moc and rcc come with it)
  fonts-dejavu-core      # a font for the headless widget tests and their screenshots
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
