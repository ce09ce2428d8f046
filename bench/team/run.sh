#!/usr/bin/env bash
# The team benchmark: one `varnel-tool harvest --store` against a throwaway PostgreSQL
# server, then four of them at once against the same server, side by side in one run, each
# from the same saved queue (every page of the harvest benchmark's generated web) in a
# schema of its own. nginx serves the web on loopback with a rate limit per connection, so
# that a page takes a while as from a distant server and the harvest waits on the network
# rather than on this machine's two cores. Each harvester has its own nginx port, so the
# access log tells who fetched what.
#
# Prints pages per second of one and of four harvesters (medians of ROUNDS), the ratio
# (the goal is at least 3.2), and for the team runs the pages fetched more than once (goal
# 0) and the numbers stored twice (goal 0).
#
# usage: bench/team/run.sh [BUILD_DIR] [PAGES] [ROUNDS]    (defaults: build, 400, 3)
# TEAM_RATE (nginx limit_rate, default 2k), VARNEL_BENCH_KEEP=1 keeps the work folder.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
src=$(cd "$here/../.." && pwd)
build=${1:-$src/build}
pages=${2:-400}
rounds=${3:-3}
rate=${TEAM_RATE:-2k}
tool=$build/src/app/varnel-tool
[[ -x $tool ]] || { echo "no varnel-tool at $tool (build it first)" >&2; exit 2; }
nginx=$(command -v nginx || echo /usr/sbin/nginx)
psql=$(command -v psql || ls /usr/lib/postgresql/*/bin/psql | sort -V | tail -n1)

work=$(mktemp -d "${TMPDIR:-/tmp}/varnel-bench-team.XXXXXX")
chmod 755 "$work"
cluster=/tmp/varnel-pg-team-$$
nginx_pid=
cleanup() {
  [[ -n $nginx_pid ]] && kill "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null || true
  "$src/scripts/pg-cluster.sh" stop "$cluster" || true
  [[ ${VARNEL_BENCH_KEEP:-0} == 1 ]] && echo "kept $work" >&2 || rm -rf "$work"
}
trap cleanup EXIT

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }

python3 "$src/bench/harvest/gen_site.py" "$work/site" "$pages"
hosts=$(ls "$work/site/www")
# The queue: every page, as a discovery that listed them all would leave it.
(cd "$work/site/www" && find . -name '*.htm' | sed 's|^\./||' | sort) >"$work/queue.txt"
mkdir -p "$work/queue"
python3 "$src/bench/common/make_queue.py" "$work/queue/varnel.mdb" "$work/queue.txt" benchmark

ports=()
for k in 0 1 2 3; do ports+=("$(free_port)"); done
mkdir -p "$work/nginx/tmp" "$work/nginx/logs"
{
  [[ $(id -u) == 0 ]] && echo "user root;"
  echo "worker_processes 2; pid $work/nginx/nginx.pid; error_log $work/nginx/logs/error.log;"
  echo "events { worker_connections 1024; }"
  echo "http { log_format team '\$server_port \$host\$request_uri \$status';"
  echo "  access_log $work/nginx/logs/access.log team; types { text/html htm html; } default_type text/html;"
  for t in client_body proxy fastcgi uwsgi scgi; do echo "  ${t}_temp_path $work/nginx/tmp/$t;"; done
  for h in $hosts; do
    echo "  server { server_name $h; root $work/site/www/$h; limit_rate $rate;"
    for p in "${ports[@]}"; do echo "    listen 127.0.0.1:$p;"; done
    echo "  }"
  done
  echo "}"
} >"$work/nginx/nginx.conf"
"$nginx" -p "$work/nginx" -c "$work/nginx/nginx.conf" -e "$work/nginx/logs/error.log" -g 'daemon off;' &
nginx_pid=$!

pgport=$("$src/scripts/pg-cluster.sh" start "$cluster")
export PGPASSWORD=varnel
sql() { "$psql" -h 127.0.0.1 -p "$pgport" -U varnel -d varnel -qtAc "$1"; }

# run NAME COUNT: COUNT harvesters at once on a fresh copy of the queue in schema NAME.
run() {
  local name=$1 count=$2 uri dir k
  sql "CREATE SCHEMA $name"
  uri="postgresql://varnel@127.0.0.1:$pgport/varnel?options=-csearch_path%3D$name"
  "$tool" store copy --from "$work/queue" --to "$uri" >/dev/null
  : >"$work/nginx/logs/access.log"
  local start end pids=()
  start=$(date +%s.%N)
  for ((k = 0; k < count; k++)); do
    dir=$work/$name-$k
    mkdir -p "$dir"
    "$tool" harvest --data-dir "$dir" --store "$uri" --resume \
      --resolve "*=127.0.0.1:${ports[$k]}" >"$dir.out" 2>"$dir.err" &
    pids+=($!)
  done
  for p in "${pids[@]}"; do wait "$p" || echo "a harvester failed: see $work/$name-*.err" >&2; done
  end=$(date +%s.%N)
  local fetched unique twice numbers distinct
  fetched=$(awk '$3 == 200' "$work/nginx/logs/access.log" | wc -l)
  unique=$(awk '$3 == 200 { print $2 }' "$work/nginx/logs/access.log" | sort -u | wc -l)
  twice=$((fetched - unique))
  numbers=$(sql "SELECT count(*) FROM $name.faxes")
  distinct=$(sql "SELECT count(DISTINCT fax) FROM $name.faxes")
  local secs rate
  secs=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.2f", b - a }')
  rate=$(awk -v n="$unique" -v s="$secs" 'BEGIN { printf "%.1f", n / s }')
  printf "%-8s %10s %8s %8s %10s %14s %14s\n" "$count" "$name" "$unique" "$secs" "$rate" "$twice" "$((numbers - distinct))"
  echo "$rate" >>"$work/rates-$count"
}

echo "== $pages pages, nginx limit_rate $rate per connection; one harvester, then four, alternating"
printf "%-8s %10s %8s %8s %10s %14s %14s\n" "harvesters" "run" "pages" "wall s" "pages/s" "fetched twice" "numbers twice"
for r in $(seq 1 "$rounds"); do
  run "single$r" 1
  run "team$r" 4
done
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }
one=$(median <"$work/rates-1")
four=$(median <"$work/rates-4")
echo "pages per second, medians of $rounds: one harvester $one, four $four;" \
  "four / one: $(awk -v a="$four" -v b="$one" 'BEGIN { printf "%.2f", a / b }') (goal 3.2)" \
  "(load average $(cut -d' ' -f1 /proc/loadavg))"
