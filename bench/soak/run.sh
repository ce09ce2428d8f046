#!/usr/bin/env bash
# The hostile-server soak: `varnel-tool harvest --resume` with its ten slots works through a
# queue of SITES sites on a loopback web (soak_web) where four sites in five misbehave
# (silence, trickle, connections that never close, no blank line, 17 MiB bodies, resets,
# refused connections, garbage bytes, a header of 1 MiB, 100,000 links on one line,
# redirect loops followed with the option on); the rest are well-behaved sites of two
# pages with a number on each. The watchdogs are shortened (--timeout/--timeout2) so that
# a few thousand sites take minutes.
#
# Prints the wall time and peak memory of the harvest (/usr/bin/time -v), its memory over
# time, how it ended, how many queued sites the server saw asked for, and whether every
# number of the well-behaved sites was stored. Exits non-zero when the harvest did not
# reach the end of its queue or a number is missing.
#
# usage: bench/soak/run.sh [BUILD_DIR] [SITES] [TIMEOUT] [TIMEOUT2]   (defaults: build, 2000, 3, 6)
# VARNEL_HARVEST_ARGS adds flags to the harvest (e.g. "--parallel 100");
# VARNEL_BENCH_KEEP=1 keeps the work folder.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
src=$(cd "$here/../.." && pwd)
build=${1:-$src/build}
sites=${2:-2000}
timeout=${3:-3}
timeout2=${4:-6}
tool=$build/src/app/varnel-tool
server=$build/bench/soak/soak_web
[[ -x $tool ]] || { echo "no varnel-tool at $tool (build it first)" >&2; exit 2; }
[[ -x $server ]] || { echo "no soak_web at $server (build with tests and benchmarks on)" >&2; exit 2; }
[[ -x /usr/bin/time ]] || { echo "/usr/bin/time is needed (package time)" >&2; exit 2; }
command -v python3 >/dev/null || { echo "python3 is needed" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/varnel-bench-soak.XXXXXX")
server_pid=
cleanup() {
  [[ -n $server_pid ]] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null || true
  [[ ${VARNEL_BENCH_KEEP:-0} == 1 ]] && echo "kept $work" >&2 || rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/web" "$work/data"
"$server" "$sites" 1 "$work/web" >"$work/web/server.out" 2>&1 &
server_pid=$!
for _ in $(seq 1 300); do
  [[ -s $work/web/port ]] && break
  sleep 0.1
done
[[ -s $work/web/port ]] || { echo "soak_web did not start" >&2; cat "$work/web/server.out" >&2; exit 1; }

# The saved queue: one search string, every site in the backlog.
python3 "$src/bench/common/make_queue.py" "$work/data/varnel.mdb" "$work/web/queue.txt" soak

resolve=()
while read -r r; do resolve+=(--resolve "$r"); done <"$work/web/resolve.txt"

echo "== soak: $sites sites ($(paste -sd, "$work/web/kinds.txt")), watchdogs ${timeout}s/${timeout2}s"
start=$(date +%s.%N)
/usr/bin/time -v -o "$work/harvest.time" "$tool" harvest --data-dir "$work/data" --resume \
  --timeout "$timeout" --timeout2 "$timeout2" "${resolve[@]}" --no-stop-at-fax ${VARNEL_HARVEST_ARGS:-} \
  >"$work/harvest.out" 2>"$work/harvest.err" &
time_pid=$!
# Memory over time: the harvest's resident set every five seconds.
: >"$work/rss.log"
while kill -0 "$time_pid" 2>/dev/null; do
  pid=$(pgrep -P "$time_pid" || true)
  if [[ -n $pid ]]; then
    awk -v t="$(date +%s.%N)" -v s="$start" '/^VmRSS/ { printf "%d %d\n", t - s, $2 }' "/proc/$pid/status" \
      >>"$work/rss.log" 2>/dev/null || true
  fi
  sleep 5
done
rc=0
wait "$time_pid" || rc=$?

cat "$work/harvest.out"
echo "exit code: $rc"
echo "last status: $(grep -v '^varnel-tool' "$work/harvest.err" | tail -1)"
grep -E "Elapsed|Maximum resident" "$work/harvest.time" | sed 's/^\s*//'
echo "resident set over time (seconds kB): $(awk '{ printf "%s:%s ", $1, $2 }' "$work/rss.log")"

check=0
python3 - "$work" <<'PY' || check=$?
import sqlite3, sys
work = sys.argv[1]
db = sqlite3.connect(work + "/data/varnel.mdb")
stored = {r[0] for r in db.execute("SELECT fax FROM faxes")}
left = db.execute("SELECT count(*) FROM websites").fetchone()[0]
numbers = [l.strip() for l in open(work + "/web/numbers.txt") if l.strip()]
missing = [n for n in numbers if n not in stored]
queue = [l.strip() for l in open(work + "/web/queue.txt") if l.strip()]
refused = {l.split("=")[0] for l in open(work + "/web/resolve.txt") if not l.startswith("*=")}
asked = {l.split(" ")[0].lower() for l in open(work + "/web/requests.log", errors="replace") if l.strip()}
unasked = [s for s in queue if s not in refused and s.lower() not in asked]
print(f"sites left in the backlog: {left}")
print(f"queued sites asked for: {len(queue) - len(refused) - len(unasked)} of {len(queue) - len(refused)} "
      f"(+{len(refused)} refused)")
print(f"numbers of well-behaved sites stored: {len(numbers) - len(missing)} of {len(numbers)}")
if missing:
    print("missing:", " ".join(missing[:20]))
sys.exit(1 if missing or left or unasked else 0)
PY
grep -q "No more websites queued" "$work/harvest.err" || { echo "the harvest did not reach the end of its queue"; exit 1; }
[[ $rc == 0 && $check == 0 ]]
