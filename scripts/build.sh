#!/usr/bin/env bash
# Configures and builds one configuration: build.sh DIR [extra cmake args...]
set -euo pipefail
dir=$1; shift
cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
cmake --build "$dir"
