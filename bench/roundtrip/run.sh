#!/usr/bin/env bash
# The round-trip benchmark: a generated web of distant sites, crawled by the harvest and
# mirrored by wget2 at each number of parallel downloads, side by side in one run.
#
# In a network namespace made for the run: nginx serves SITES sites of PAGES pages over TLS
# (443) with plain HTTP (80) answering a redirect to HTTPS; DEAD domains of each kind are
# dead (no such name, connection refused, silently dropped). netsim.py is the name server
# and a proxy in front of nginx that gives every exchange the round trips of a server
# RTT_MS away. Every client starts from the same queue: all domains, live and dead,
# shuffled, as a search would list them.
#
# Prints, per count: pages a second of the harvest and of wget2 (live pages answered 200
# over TLS, over the time from the start to the last such answer, so that the wait for a
# dead host at the very end is not counted), the round-trip limit (COUNT / (RTTS_PER_PAGE x
# RTT): a new connection costs a name lookup, the TCP handshake, the TLS handshake and the
# request), connections, CPU time and peak memory, whether the harvest stored every number,
# and how late the proxy delivered against its schedule (the emulation holds while that
# stays small next to the round trip).
#
# usage: bench/roundtrip/run.sh [BUILD_DIR] [COUNTS]     (defaults: build, "10")
#   e.g. bench/roundtrip/run.sh build "10 20 50 100"
#
# Contact pages first against breadth-first: RT_LAYOUT=sites makes sites as businesses build
# them (50 to 300 pages, the fax on a contact page one or two links deep; gen_web.py), and
# the clients harvest-cf ("Stop a site once its fax is found") and harvest-bfs (the option
# off) crawl it; the summary then gives pages fetched per fax found and the faxes found of
# each, side by side:
#   RT_LAYOUT=sites RT_SITES=60 RT_DEAD=3 RT_RTT_MS=20 RT_CLIENTS="harvest-bfs harvest-cf" \
#     bench/roundtrip/run.sh build 50
# Counts other than 10 need `varnel-tool harvest --parallel`; until it exists the harvest
# runs only at 10 and wget2 at every count.
# Environment: RT_SITES (300), RT_PAGES (10), RT_DEAD (30 of each kind), RT_LAYOUT (flat),
# RT_NOFAX (0: the share of the sites layout's sites without a fax), RT_RTT_MS (100),
# RT_LOSS (0: fraction of pieces delayed by a retransmission), RT_RTTS_PER_PAGE (4),
# RT_TIMEOUT (1200 s per client run), RT_CLIENTS ("harvest wget2"), VARNEL_BENCH_KEEP=1
# keeps the work folder. The client harvest reads every page of a site (--no-stop-at-fax).
# Needs root (the namespace), ip, nginx, wget2, openssl, python3.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
src=$(cd "$here/../.." && pwd)
build=${1:-$src/build}
counts=${2:-10}
sites=${RT_SITES:-300}
pages=${RT_PAGES:-10}
dead=${RT_DEAD:-30}
web_layout=${RT_LAYOUT:-flat}
no_fax=${RT_NOFAX:-0}
rtt=${RT_RTT_MS:-100}
loss=${RT_LOSS:-0}
rtts_per_page=${RT_RTTS_PER_PAGE:-4}
client_timeout=${RT_TIMEOUT:-1200}
clients=${RT_CLIENTS:-harvest wget2}
tool=$build/src/app/varnel-tool

die() { echo "roundtrip: $*" >&2; exit 2; }
[[ $(id -u) == 0 ]] || die "needs root to make a network namespace"
[[ -x $tool ]] || die "no varnel-tool at $tool (build it first)"
for p in ip nginx wget2 openssl python3 timeout; do
  command -v "$p" >/dev/null || [[ -x /usr/sbin/$p ]] || die "$p is needed (scripts/install-deps.sh)"
done
[[ -x /usr/bin/time ]] || die "/usr/bin/time is needed"
nginx=$(command -v nginx || echo /usr/sbin/nginx)
harvest_parallel=0
help_text=$("$tool" harvest --help 2>&1 || true)
[[ $help_text == *--parallel* ]] && harvest_parallel=1

ns=varnel-rt-$$
work=$(mktemp -d "${TMPDIR:-/tmp}/varnel-bench-roundtrip.XXXXXX")
netsim_pid=
nginx_pid=
stop_pid() { # pid: TERM, then KILL after five seconds
  local pid=$1
  [[ -n $pid ]] || return 0
  kill "$pid" 2>/dev/null || return 0
  for _ in $(seq 1 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill -9 "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}
cleanup() {
  stop_pid "$netsim_pid"
  stop_pid "$nginx_pid"
  ip netns del "$ns" 2>/dev/null || true
  rm -rf "/etc/netns/$ns"
  [[ ${VARNEL_BENCH_KEEP:-0} == 1 ]] && echo "kept $work" >&2 || rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
nsx() { ip netns exec "$ns" "$@"; }
wait_for_file() { # file, tenths of a second
  for _ in $(seq 1 "$2"); do [[ -s $1 ]] && return 0; sleep 0.1; done
  return 1
}

mkdir -p "$work/web"
python3 "$here/gen_web.py" "$work/web" "$sites" "$pages" "$dead" "$web_layout" "$no_fax"

# The namespace: loopback with the sites' and the refusing hosts' addresses, a link where
# nothing answers for the dropped ones, and name lookups that go to netsim alone (ip netns
# exec mounts /etc/netns/NAME/* over /etc).
ip netns add "$ns"
mkdir -p "/etc/netns/$ns"
printf '127.0.0.1 localhost\n::1 localhost\n' >"/etc/netns/$ns/hosts"
printf 'nameserver 127.0.0.53\noptions timeout:5 attempts:1\n' >"/etc/netns/$ns/resolv.conf"
{
  echo "link set lo up"
  awk -F'\t' '$2 == "live" || $2 == "refused" { print "address add " $3 "/32 dev lo" }' "$work/web/hosts.tsv"
  echo "link add vdrop0 type veth peer name vdrop1"
  echo "link set vdrop0 up"
  echo "link set vdrop1 up"
  echo "address add 198.19.255.254/17 dev vdrop0"
  # A fixed neighbour that is not the peer: frames go out and nobody ever answers.
  awk -F'\t' '$2 == "dropped" { print "neighbour add " $3 " lladdr 02:00:5e:00:53:01 dev vdrop0 nud permanent" }' "$work/web/hosts.tsv"
} >"$work/ip.batch"
nsx ip -batch "$work/ip.batch"

# TLS: one self-signed certificate (neither client verifies; ECDSA keeps nginx's share of
# the CPU small).
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 \
  -subj "/CN=roundtrip.bench" -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null

mkdir -p "$work/nginx/tmp" "$work/nginx/logs"
cat >"$work/nginx/nginx.conf" <<EOF
user root;
worker_processes 1;
pid $work/nginx/nginx.pid;
error_log $work/nginx/logs/error.log;
events { worker_connections 16384; }
http {
  log_format rt '\$msec \$status \$server_port \$host \$request_uri';
  access_log $work/nginx/logs/access.log rt;
  types { text/html htm html; text/plain txt; }
  default_type text/html;
  keepalive_timeout 65;
  keepalive_requests 100000;
  client_body_temp_path $work/nginx/tmp/client_body;
  proxy_temp_path $work/nginx/tmp/proxy;
  fastcgi_temp_path $work/nginx/tmp/fastcgi;
  uwsgi_temp_path $work/nginx/tmp/uwsgi;
  scgi_temp_path $work/nginx/tmp/scgi;
  server {
    listen 127.0.0.1:8080 default_server;
    return 301 https://\$host\$request_uri;
  }
  server {
    listen 127.0.0.1:8443 ssl default_server;
    ssl_certificate $work/cert.pem;
    ssl_certificate_key $work/key.pem;
    ssl_protocols TLSv1.2 TLSv1.3;
    root $work/web/www/\$host;
    index index.htm;
  }
}
EOF
# Started without the nsx function, so that $! is the server itself (ip netns exec execs it).
ip netns exec "$ns" "$nginx" -p "$work/nginx" -c "$work/nginx/nginx.conf" -g 'daemon off;' &
nginx_pid=$!
ip netns exec "$ns" python3 "$here/netsim.py" --hosts "$work/web/hosts.tsv" --rtt-ms "$rtt" --loss "$loss" \
  --http-port 8080 --https-port 8443 --ready "$work/netsim.ready" --stats "$work/netsim.stats" \
  2>"$work/netsim.err" &
netsim_pid=$!
wait_for_file "$work/netsim.ready" 300 || { cat "$work/netsim.err" >&2; die "netsim did not start"; }
wait_for_file "$work/nginx/nginx.pid" 100 || die "nginx did not start"
# A look-up of a live name and of a dead one, as the clients will do them.
first_live=$(awk -F'\t' '$2 == "live" { print $1; exit }' "$work/web/hosts.tsv")
first_nx=$(awk -F'\t' '$2 == "nxdomain" { print $1; exit }' "$work/web/hosts.tsv")
nsx getent ahostsv4 "$first_live" >/dev/null || die "the namespace does not resolve $first_live"
! nsx getent ahostsv4 "$first_nx" >/dev/null || die "$first_nx resolves but should not"
# One page over a new connection, timed step by step: the round trips the web imposes.
nsx python3 - "$first_live" <<'PY' || die "no page through the proxy"
import socket, ssl, sys, time
host = sys.argv[1]
t0 = time.monotonic()
addr = socket.getaddrinfo(host, 443, socket.AF_INET, socket.SOCK_STREAM)[0][4]
t1 = time.monotonic()
s = socket.create_connection(addr)
ctx = ssl.create_default_context()
ctx.check_hostname = False
ctx.verify_mode = ssl.CERT_NONE
s = ctx.wrap_socket(s, server_hostname=host)  # the handshake waits for the held connect
t2 = time.monotonic()
s.sendall(b"GET / HTTP/1.1\r\nHost: " + host.encode() + b"\r\nConnection: close\r\n\r\n")
data = b""
while True:
    chunk = s.recv(65536)
    if not chunk:
        break
    data += chunk
t3 = time.monotonic()
if not data.startswith(b"HTTP/1.1 200"):
    sys.exit("unexpected answer: %r" % data[:80])
print("one page over a new connection: lookup %.0f ms, TCP and TLS %.0f ms, request %.0f ms, "
      "total %.0f ms" % ((t1 - t0) * 1000, (t2 - t1) * 1000, (t3 - t2) * 1000, (t3 - t0) * 1000))
PY

snapshot() { # file: netsim's counts now (and its lateness since the last snapshot)
  rm -f "$work/netsim.stats"
  kill -USR1 "$netsim_pid" 2>/dev/null || true
  wait_for_file "$work/netsim.stats" 50 && cp "$work/netsim.stats" "$1" || : >"$1"
}

# Per client run: the nginx log of the run alone, then what it says.
new_log() {
  mv "$work/nginx/logs/access.log" "$work/nginx/logs/$1.log"
  kill -USR1 "$nginx_pid"
  for _ in $(seq 1 50); do [[ -e $work/nginx/logs/access.log ]] && return 0; sleep 0.1; done
  die "nginx did not reopen its log"
}
: >"$work/nginx/logs/access.log"
new_log setup
rm -f "$work/netsim.stats"

queue_db() { # the saved queue: one search string, every domain in the backlog
  mkdir -p "$1"
  python3 "$src/bench/common/make_queue.py" "$1/varnel.mdb" "$work/web/start.txt" roundtrip
}

run_client() { # client count
  local client=$1 n=$2 label=$1-$2 start rc=0
  local out=$work/$label
  mkdir -p "$out"
  [[ $client == harvest* ]] && queue_db "$out/data"
  snapshot "$out/netsim.before"
  start=$(date +%s.%N)
  case $client in
    harvest*)
      local par=() rule=(--no-stop-at-fax)
      ((harvest_parallel)) && par=(--parallel "$n")
      [[ $client == harvest-cf ]] && rule=(--stop-at-fax)
      nsx /usr/bin/time -v -o "$out/time" timeout "$client_timeout" "$tool" harvest \
        --data-dir "$out/data" --resume --follow "${rule[@]}" "${par[@]}" \
        >"$out/stdout" 2>"$out/stderr" || rc=$?
      ;;
    wget2)
      sed 's|^\(.*\)$|http://\1/|' "$work/web/start.txt" >"$out/urls.txt"
      # One try and ten-second limits, as the harvest's watchdog; HTTP/1.1 as the harvest.
      nsx /usr/bin/time -v -o "$out/time" timeout "$client_timeout" wget2 --no-config --quiet \
        --recursive --level=inf --span-hosts --max-threads="$n" --tries=1 --robots=off \
        --no-check-certificate --no-hsts --no-ocsp --no-http2 --no-tcp-fastopen \
        --connect-timeout=10 --dns-timeout=10 --read-timeout=10 \
        --directory-prefix="$out/mirror" --input-file="$out/urls.txt" \
        >"$out/stdout" 2>"$out/stderr" || rc=$?
      ;;
  esac
  snapshot "$out/netsim.after"
  new_log "$label"
  python3 "$here/report.py" run "$work" "$label" "$client" "$n" "$start" "$rc"
}

total_pages=$(cat "$work/web/pages.txt")
echo "== round trip ${rtt} ms, loss $loss; $total_pages live pages; counts: $counts; clients: $clients"
for n in $counts; do
  for client in $clients; do
    if [[ $client == harvest* && $n != 10 && $harvest_parallel == 0 ]]; then
      python3 "$here/report.py" skip "$work" harvest "$n" "varnel-tool harvest has no --parallel yet"
      continue
    fi
    run_client "$client" "$n"
  done
done

echo
python3 "$here/report.py" summary "$work" "$rtt" "$rtts_per_page"
echo "(round-trip limit = parallel / ($rtts_per_page x $rtt ms): lookup, TCP, TLS and request per new connection; load average $(cut -d' ' -f1 /proc/loadavg))"
