#!/usr/bin/env bash
# Configures and builds one build tree. Usage: build.sh DIR [cmake options...]
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
dir=$1; shift
cmake -S "$src" -B "$dir" -G Ninja "$@" >/dev/null
cmake --build "$dir" -j "$(nproc)"
