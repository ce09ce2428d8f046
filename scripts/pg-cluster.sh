#!/usr/bin/env bash
# A throwaway PostgreSQL cluster for the store's tests and benchmarks: initdb into a fresh
# folder as the postgres user, started on a free loopback port, stopped and removed again.
#
#   pg-cluster.sh start [--or-skip] DIR   prints the port on stdout once the server accepts
#                                         connections (also written to DIR/port)
#   pg-cluster.sh stop DIR                stops the server and removes DIR
#
# The cluster has a superuser "postgres" (no password over the socket in DIR) and a role
# "varnel" with the password "varnel" that owns the database "varnel"; TCP connections use
# scram-sha-256, so a wrong password is refused as on a real server. Run as root, the server
# runs as the postgres user, so DIR must be a folder that user can reach (under /tmp, not
# under /root). Without PostgreSQL, start fails with status 3, or with --or-skip says so and
# succeeds without a cluster (the suites then skip the server with that message).
set -euo pipefail
cmd=${1:-}
shift || true
orskip=0
if [[ ${1:-} == --or-skip ]]; then orskip=1; shift; fi
dir=${1:-}
[[ -n $cmd && -n $dir ]] || { echo "usage: $0 start [--or-skip]|stop DIR" >&2; exit 2; }
bindir=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n1 || true)
as_pg() { if [[ $(id -u) == 0 ]]; then runuser -u postgres -- "$@"; else "$@"; fi; }

stop() {
  if [[ -n $bindir && -f $dir/data/postmaster.pid ]]; then
    as_pg "$bindir/pg_ctl" -D "$dir/data" -m immediate -w stop >/dev/null 2>&1 || true
  fi
  rm -rf "$dir"
}

case $cmd in
start)
  if [[ -z $bindir || ! -x $bindir/initdb ]]; then
    echo "pg-cluster: PostgreSQL is not installed (Debian package postgresql)" >&2
    ((orskip)) && exit 0
    exit 3
  fi
  stop # a cluster left behind by an earlier run that was killed
  mkdir -p "$dir"
  if [[ $(id -u) == 0 ]]; then
    chown postgres: "$dir"
    if ! runuser -u postgres -- test -w "$dir"; then
      echo "pg-cluster: the postgres user cannot reach $dir (choose a folder under /tmp)" >&2
      rm -rf "$dir"
      exit 1
    fi
  fi
  if ! as_pg "$bindir/initdb" -D "$dir/data" -U postgres -A trust --auth-host=scram-sha-256 \
      -E UTF8 --locale=C.UTF-8 >"$dir/initdb.log" 2>&1; then
    echo "pg-cluster: initdb failed:" >&2
    tail -n 20 "$dir/initdb.log" >&2
    exit 1
  fi
  # A free port, then the server on it; another program may take the port in between.
  started=0
  for _ in 1 2 3 4 5; do
    port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
    if as_pg "$bindir/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 \
        -o "-p $port -k $dir -c listen_addresses=127.0.0.1 -c fsync=off -c max_connections=100" \
        start >/dev/null; then
      started=1
      break
    fi
  done
  if ((!started)); then
    echo "pg-cluster: the server did not start:" >&2
    tail -n 20 "$dir/server.log" >&2
    exit 1
  fi
  as_pg "$bindir/psql" -h "$dir" -p "$port" -U postgres -q -v ON_ERROR_STOP=1 -d postgres \
    -c "CREATE ROLE varnel LOGIN PASSWORD 'varnel'" -c "CREATE DATABASE varnel OWNER varnel" >/dev/null
  echo "$port" >"$dir/port"
  echo "$port"
  ;;
stop)
  stop
  ;;
*) echo "usage: $0 start [--or-skip]|stop DIR" >&2; exit 2 ;;
esac
