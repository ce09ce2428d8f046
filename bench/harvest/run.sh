#!/usr/bin/env bash
# The harvest benchmark: a generated web of PAGES pages on five hosts, served by nginx on
# loopback, crawled by `varnel-tool harvest --resume` from a queue of its start pages and
# mirrored by `wget --recursive --level=inf --no-parent` from the same start pages, one
# after the other in one run. The harvest runs ROUNDS times with the fax finder on and as
# often with it off (`--literal`), alternating, each from a copy of the same queue. Prints
# wall time and peak memory (/usr/bin/time -v), pages per second with the finder on and
# off (medians), the ratios, and whether the harvest stored every number of the web.
#
# usage: bench/harvest/run.sh [BUILD_DIR] [PAGES] [ROUNDS]     (defaults: build, 2000, 3)
# Each host has 400 pages, so the harvest runs with --pages-per-site none, and every page of
# a site is read (--no-stop-at-fax), each showing a fax; VARNEL_HARVEST_ARGS
# adds flags (e.g. "--parallel 20 --per-site 4"). VARNEL_BENCH_KEEP=1 keeps the work folder;
# VARNEL_BENCH_WRAP="perf record --" runs the harvest under another program.
# VARNEL_BENCH_BASE=/path/to/varnel-tool (another build, main's say) runs that tool too, each
# round right after this one, and prints both medians and their ratios.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
src=$(cd "$here/../.." && pwd)
build=${1:-$src/build}
pages=${2:-2000}
rounds=${3:-3}
tool=$build/src/app/varnel-tool
[[ -x $tool ]] || { echo "no varnel-tool at $tool (build it first)" >&2; exit 2; }
base=${VARNEL_BENCH_BASE:-}
[[ -z $base || -x $base ]] || { echo "no varnel-tool at $base" >&2; exit 2; }
for p in nginx wget python3; do
  command -v "$p" >/dev/null || [[ -x /usr/sbin/$p ]] || { echo "$p is needed" >&2; exit 2; }
done
nginx=$(command -v nginx || echo /usr/sbin/nginx)

work=$(mktemp -d "${TMPDIR:-/tmp}/varnel-bench-harvest.XXXXXX")
nginx_pid=
cleanup() {
  [[ -n $nginx_pid ]] && kill "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null || true
  [[ ${VARNEL_BENCH_KEEP:-0} == 1 ]] && echo "kept $work" >&2 || rm -rf "$work"
}
trap cleanup EXIT

python3 "$here/gen_site.py" "$work/site" "$pages"
hosts=$(ls "$work/site/www")

# nginx in the foreground, its own configuration, a free loopback port.
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
mkdir -p "$work/nginx/tmp" "$work/nginx/logs"
{
  [[ $(id -u) == 0 ]] && echo "user root;"
  echo "worker_processes 1; pid $work/nginx/nginx.pid; error_log $work/nginx/logs/error.log;"
  echo "events { worker_connections 1024; }"
  echo "http { access_log off; types { text/html htm html; } default_type text/html;"
  for t in client_body proxy fastcgi uwsgi scgi; do echo "  ${t}_temp_path $work/nginx/tmp/$t;"; done
  echo "  server { listen 127.0.0.1:$port default_server; return 404; }"
  for h in $hosts; do
    echo "  server { listen 127.0.0.1:$port; server_name $h; root $work/site/www/$h; }"
  done
  echo "}"
} > "$work/nginx/nginx.conf"
"$nginx" -p "$work/nginx" -c "$work/nginx/nginx.conf" -e "$work/nginx/logs/error.log" -g 'daemon off;' &
nginx_pid=$!
python3 - "$port" <<'PY'
import socket, sys, time
for _ in range(100):
    try:
        socket.create_connection(("127.0.0.1", int(sys.argv[1])), 0.2).close()
        break
    except OSError:
        time.sleep(0.1)
PY

# The saved queue: one search string, the start pages in the backlog; each run starts from
# a copy of it.
mkdir -p "$work/queue"
python3 "$src/bench/common/make_queue.py" "$work/queue/varnel.mdb" "$work/site/start.txt" benchmark

seconds() { awk -F': ' '/Elapsed \(wall clock\)/ { n = split($2, t, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + t[i]; print s }' "$1"; }
rss() { awk -F': ' '/Maximum resident set size/ { printf "%.1f", $2 / 1024 }' "$1"; }
cpu() { awk -F': ' '/User time|System time/ { s += $2 } END { printf "%.2f", s }' "$1"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }
scanned() { sed -n 's/^sites scanned \([0-9]*\),.*/\1/p' "$1"; }

# run MODE ROUND FLAG [TOOL]: one harvest into $work/MODE-ROUND from a copy of the queue.
run() {
  local dir=$work/$1-$2
  rm -rf "$dir" && cp -r "$work/queue" "$dir"
  ${VARNEL_BENCH_WRAP:-} /usr/bin/time -v -o "$dir.time" "${4:-$tool}" harvest --data-dir "$dir" --resume \
    --resolve "*=127.0.0.1:$port" --pages-per-site none --no-stop-at-fax $3 ${VARNEL_HARVEST_ARGS:-} \
    >"$dir.out" 2>"$dir.err"
  local s c p
  s=$(seconds "$dir.time"); c=$(cpu "$dir.time"); p=$(scanned "$dir.out")
  printf "%-10s %6s %8s %8s %8s %10s %12s\n" "$1" "$2" "$p" "$s" "$c" "$(ratio "$p" "$s")" "$(rss "$dir.time")"
  echo "$(ratio "$p" "$s") $(ratio "$p" "$c")" >>"$work/$1.rates"
}

echo "== varnel-tool harvest --resume, the fax finder on and off (--literal), alternating"
printf "%-10s %6s %8s %8s %8s %10s %12s\n" "finder" "round" "pages" "wall s" "cpu s" "pages/s" "peak RSS MB"
for r in $(seq 1 "$rounds"); do
  run on "$r" --no-literal
  [[ -z $base ]] || run base-on "$r" --no-literal "$base"
  run off "$r" --literal
  [[ -z $base ]] || run base-off "$r" --literal "$base"
done

echo "== wget --recursive --level=inf --no-parent"
domains=$(echo $hosts | tr ' ' ',')
urls=$(sed 's|^|http://|' "$work/site/start.txt")
# wget has no --resolve: nginx answers absolute-URI requests by host, so it acts as the proxy.
/usr/bin/time -v -o "$work/wget.time" wget -q --recursive --level=inf --no-parent \
  --span-hosts --domains="$domains" -e robots=off -e use_proxy=on -e "http_proxy=http://127.0.0.1:$port/" \
  -P "$work/mirror" $urls || true
echo "$(find "$work/mirror" -type f | wc -l) files mirrored"

w=$(seconds "$work/wget.time"); wc=$(cpu "$work/wget.time")
on=$(cut -d' ' -f1 "$work/on.rates" | median); off=$(cut -d' ' -f1 "$work/off.rates" | median)
onc=$(cut -d' ' -f2 "$work/on.rates" | median); offc=$(cut -d' ' -f2 "$work/off.rates" | median)
h=$(seconds "$work/on-1.time"); hc=$(cpu "$work/on-1.time")
echo
printf "%-22s %10s %10s %14s\n" "" "wall s" "cpu s" "peak RSS MB"
printf "%-22s %10s %10s %14s\n" "harvest (finder on, 1)" "$h" "$hc" "$(rss "$work/on-1.time")"
printf "%-22s %10s %10s %14s\n" "wget" "$w" "$wc" "$(rss "$work/wget.time")"
echo "harvest / wget: wall $(ratio "$h" "$w"), cpu $(ratio "$hc" "$wc") (load average $(cut -d' ' -f1 /proc/loadavg))"
echo "pages per second, medians of $rounds: finder on $on (cpu $onc), off $off (cpu $offc);" \
  "on / off: wall $(ratio "$on" "$off"), cpu $(ratio "$onc" "$offc")"
if [[ -n $base ]]; then
  bon=$(cut -d' ' -f1 "$work/base-on.rates" | median); boff=$(cut -d' ' -f1 "$work/base-off.rates" | median)
  bonc=$(cut -d' ' -f2 "$work/base-on.rates" | median); boffc=$(cut -d' ' -f2 "$work/base-off.rates" | median)
  echo "base $base, medians of $rounds: finder on $bon (cpu $bonc), off $boff (cpu $boffc)"
  echo "this / base: finder on wall $(ratio "$on" "$bon") cpu $(ratio "$onc" "$bonc")," \
    "off wall $(ratio "$off" "$boff") cpu $(ratio "$offc" "$boffc")"
fi

expected=$(grep -c . "$work/site/numbers.txt")
for mode in on off; do
  faxes() { python3 -c 'import sqlite3, sys; [print(r[0]) for r in sqlite3.connect(sys.argv[1]).execute("SELECT fax FROM faxes")]' "$work/$mode-1/varnel.mdb"; }
  stored=$(faxes | sort -u | wc -l)
  missing=$(faxes | sort -u | comm -13 - <(sort -u "$work/site/numbers.txt") | wc -l)
  echo "numbers stored, finder $mode: $stored distinct of $expected in the web, $missing missing"
done
