#!/usr/bin/env bash
# Memory against pages that link to enormous names: PAGES pages of one loopback site, each
# with a number and a link to a host name of SIZE_MB megabytes (even pages) or to a path of
# as many on another host (odd pages). Such links are not queued, so the harvest's memory stays flat
# and its store small however large the names are.
#
# Prints the wall time and peak memory of `varnel-tool harvest --resume` (/usr/bin/time -v),
# the size of the store afterwards and how many of the pages' numbers it holds. Exits
# non-zero when the peak reaches LIMIT_MB or a number is missing.
#
# usage: bench/hostilenames/run.sh [BUILD_DIR] [PAGES] [SIZE_MB] [LIMIT_MB]
#        (defaults: build, 31, 15, 200)
# VARNEL_HARVEST_ARGS adds flags to the harvest (e.g. "--parallel 100");
# VARNEL_BENCH_KEEP=1 keeps the work folder.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
src=$(cd "$here/../.." && pwd)
build=${1:-$src/build}
pages=${2:-31}
size_mb=${3:-15}
limit_mb=${4:-200}
tool=$build/src/app/varnel-tool
[[ -x $tool ]] || { echo "no varnel-tool at $tool (build it first)" >&2; exit 2; }
[[ -x /usr/bin/time ]] || { echo "/usr/bin/time is needed (package time)" >&2; exit 2; }
command -v python3 >/dev/null || { echo "python3 is needed" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/varnel-bench-hostilenames.XXXXXX")
server_pid=
cleanup() {
  [[ -n $server_pid ]] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null || true
  [[ ${VARNEL_BENCH_KEEP:-0} == 1 ]] && echo "kept $work" >&2 || rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/web" "$work/data"
python3 - "$work" "$pages" "$size_mb" <<'PY'
import sys
work, pages, size_mb = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
n = size_mb * 1024 * 1024
host = "a" * (n - len(".example")) + ".example"
path = "b" * n
with open(f"{work}/start.txt", "w") as start, open(f"{work}/numbers.txt", "w") as numbers:
    for i in range(pages):
        number = "212-555-%04d" % (100 + i)
        with open(f"{work}/web/p{i}.htm", "w") as f:
            link = f"http://{host}/" if i % 2 == 0 else f"http://other.example/{path}"
            f.write(f'<html><body><p>Fax: {number}</p>\n<a href="{link}">x</a></body></html>\n')
        start.write(f"hostile.test/p{i}.htm\n")
        numbers.write(f"1-{number}\n")
PY
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
python3 -m http.server --bind 127.0.0.1 --directory "$work/web" "$port" >"$work/server.log" 2>&1 &
server_pid=$!
for _ in $(seq 50); do
  python3 -c "import socket; socket.create_connection(('127.0.0.1', $port), 1)" 2>/dev/null && break
  sleep 0.1
done
python3 "$src/bench/common/make_queue.py" "$work/data/varnel.mdb" "$work/start.txt" hostile

echo "== $pages pages, each linking to a host name and a path of $size_mb MB"
# shellcheck disable=SC2086
/usr/bin/time -v -o "$work/harvest.time" "$tool" harvest --data-dir "$work/data" --resume \
  --resolve "*=127.0.0.1:$port" ${VARNEL_HARVEST_ARGS:-} >"$work/harvest.out" 2>"$work/harvest.err" || true
peak_kb=$(awk -F: '/Maximum resident/ { gsub(/ /, "", $2); print $2 }' "$work/harvest.time")
wall=$(awk '/Elapsed \(wall clock\)/ { print $NF }' "$work/harvest.time")
store_kb=$(du -sk "$work/data" | cut -f1)
stored=$(python3 - "$work/data/varnel.mdb" "$work/numbers.txt" <<'PY'
import sqlite3, sys
have = {r[0] for r in sqlite3.connect(sys.argv[1]).execute("SELECT fax FROM faxes")}
want = [l.strip() for l in open(sys.argv[2]) if l.strip()]
print(sum(1 for n in want if n in have), len(want))
PY
)
echo "wall $wall, peak memory $((peak_kb / 1024)) MB (limit $limit_mb MB), data folder $((store_kb / 1024)) MB"
echo "numbers stored: ${stored% *} of ${stored#* }"
echo "last status: $(tail -1 "$work/harvest.err")"
rc=0
((peak_kb < limit_mb * 1024)) || { echo "peak memory over the limit"; rc=1; }
[[ ${stored% *} == "${stored#* }" ]] || { echo "numbers missing"; rc=1; }
exit $rc
