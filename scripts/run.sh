#!/usr/bin/env bash
# Installs what is missing, builds, and starts the application.
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
"$src/scripts/install-deps.sh" --minimal
"$src/scripts/build.sh" "$src/build" -DCMAKE_BUILD_TYPE=Release -DVARNEL_TESTS=OFF -DVARNEL_BENCH=OFF

if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" && -z "${QT_QPA_PLATFORM:-}" ]]; then
  echo "The program is built: $src/build/src/app/varnel"
  echo "It is a windowed application and needs a display, but none is set (DISPLAY and WAYLAND_DISPLAY are empty)."
  echo "Start it from a desktop session, or run the headless harvester instead:"
  echo "  $src/build/src/app/varnel-tool --help"
  exit 1
fi
exec "$src/build/src/app/varnel" "$@"
