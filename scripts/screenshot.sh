#!/usr/bin/env bash
# Takes docs/screenshot.png: the main window in the middle of a harvest, under a virtual X
# display, against a loopback web (scripts/screenshot-web.py) that plays the search engine
# and the sites it finds. Builds the program first if needed.
#
# Usage: scripts/screenshot.sh [OUTPUT.png]   (default docs/screenshot.png)
# Environment: BUILD_DIR (default build), SCREENSHOT_DELAY seconds (default 14).
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$src/docs/screenshot.png}
build=${BUILD_DIR:-$src/build}
delay=${SCREENSHOT_DELAY:-14}

for tool in xvfb-run xauth python3; do
  command -v "$tool" >/dev/null || { echo "screenshot: $tool is missing (packages xvfb, xauth, python3)" >&2; exit 1; }
done

if [[ ! -x "$build/src/app/varnel" ]]; then
  cmake -S "$src" -B "$build" -G Ninja -DVARNEL_GUI=ON -DVARNEL_BENCH=OFF >/dev/null
fi
cmake --build "$build" --target varnel -j 2 >/dev/null

work=$(mktemp -d)
web_pid=
cleanup() {
  [[ -n "$web_pid" ]] && kill "$web_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

python3 "$src/scripts/screenshot-web.py" "$work/port" &
web_pid=$!
for _ in $(seq 50); do [[ -s "$work/port" ]] && break; sleep 0.1; done
port=$(cat "$work/port")

# A data folder as a user would have it after a few runs: three search strings, an engine
# and a result count picked, some history, no help window and no sounds.
data="$work/data"
mkdir -p "$data"
cat >"$data/settings.ini" <<EOF
[Settings]
Combo1=0
Combo2=0
showHelp=0
chkAudioEmail=0
chkAudioNext=0
chkAudioFinished=0
lHistWebScanned=18342
lHistEmailFound=2167
EOF
python3 - "$data/varnel.mdb" <<'EOF'
import sqlite3, sys
db = sqlite3.connect(sys.argv[1])
db.execute("CREATE TABLE IF NOT EXISTS searches (search TEXT)")
for s in ["plumber new york", "dentist chicago", "florist miami"]:
    db.execute("INSERT INTO searches (search) VALUES (?)", (s,))
db.commit()
EOF

mkdir -p "$(dirname "$out")"
rm -f "$out"
QTWEBENGINE_CHROMIUM_FLAGS="--disable-gpu" xvfb-run -a -s "-screen 0 1280x900x24" \
  "$build/src/app/varnel" --data-dir "$data" --search-host "127.0.0.1:$port" \
  --resolve "*=127.0.0.1:$port" --start --screenshot "$out" --screenshot-delay "$delay" \
  >"$work/varnel.log" 2>&1 || { cat "$work/varnel.log" >&2; exit 1; }
[[ -s "$out" ]] || { echo "screenshot: no picture was taken" >&2; cat "$work/varnel.log" >&2; exit 1; }
echo "screenshot: $out"
