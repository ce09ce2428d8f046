#!/usr/bin/env bash
# Takes docs/screenshot.png: the main window in the middle of a harvest, under a virtual X
# display, against a loopback web (scripts/screenshot-web.py) that plays the search engine
# and the sites it finds. Builds the program first if needed.
#
# With --numbers it takes docs/numbers.png and docs/numbers-charts.png instead: one harvest
# for each of the three search strings, then "View Fax Database" with its table and its
# charts.
#
# Usage: scripts/screenshot.sh [OUTPUT.png]   (default docs/screenshot.png)
#        scripts/screenshot.sh --numbers [TABLE.png CHARTS.png]
# Environment: BUILD_DIR (default build), SCREENSHOT_DELAY seconds (default 14; each
# harvest of --numbers runs this long), SCREENSHOT_SIZE WIDTHxHEIGHT of the main window
# (default its own, e.g. 1024x700 to look at a small screen).
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
numbers=0
if [[ "${1:-}" == "--numbers" ]]; then
  numbers=1
  shift
  table_out=${1:-$src/docs/numbers.png}
  charts_out=${2:-$src/docs/numbers-charts.png}
  set --
fi
out=${1:-$src/docs/screenshot.png}
build=${BUILD_DIR:-$src/build}
delay=${SCREENSHOT_DELAY:-14}
size_args=()
[[ -n "${SCREENSHOT_SIZE:-}" ]] && size_args=(--window-size "$SCREENSHOT_SIZE")

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

run_varnel() {
  QTWEBENGINE_CHROMIUM_FLAGS="--disable-gpu" xvfb-run -a -s "-screen 0 1280x900x24" \
    "$build/src/app/varnel" --data-dir "$data" --search-host "127.0.0.1:$port" \
    --resolve "*=127.0.0.1:$port" "${size_args[@]}" "$@" \
    >"$work/varnel.log" 2>&1 || { cat "$work/varnel.log" >&2; exit 1; }
}

if ((numbers)); then
  # A harvest for each search string: the one a harvest runs for goes first in the list.
  searches=("plumber new york" "dentist chicago" "florist miami")
  for first in "${searches[@]}"; do
    python3 - "$data/varnel.mdb" "$first" "${searches[@]}" <<'EOF'
import sqlite3, sys
db = sqlite3.connect(sys.argv[1])
db.execute("DELETE FROM searches")
for s in [sys.argv[2]] + [s for s in sys.argv[3:] if s != sys.argv[2]]:
    db.execute("INSERT INTO searches (search) VALUES (?)", (s,))
db.commit()
EOF
    run_varnel --start --screenshot "$work/main.png" --screenshot-delay "$delay"
  done
  mkdir -p "$(dirname "$table_out")" "$(dirname "$charts_out")"
  rm -f "$table_out" "$charts_out"
  run_varnel --screenshot-numbers "$table_out" --screenshot-charts "$charts_out" \
    --screenshot-delay 2
  for f in "$table_out" "$charts_out"; do
    [[ -s "$f" ]] || { echo "screenshot: no picture was taken" >&2; cat "$work/varnel.log" >&2; exit 1; }
    echo "screenshot: $f"
  done
  exit 0
fi

mkdir -p "$(dirname "$out")"
rm -f "$out"
run_varnel --start --screenshot "$out" --screenshot-delay "$delay"
[[ -s "$out" ]] || { echo "screenshot: no picture was taken" >&2; cat "$work/varnel.log" >&2; exit 1; }
echo "screenshot: $out"
