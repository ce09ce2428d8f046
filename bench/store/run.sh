#!/usr/bin/env bash
# The store benchmark on the SQLite file and on a throwaway PostgreSQL server, side by side.
#   bench/store/run.sh BUILD_DIR [MAX_ROWS]
set -euo pipefail
build=${1:?usage: run.sh BUILD_DIR [MAX_ROWS]}
rows=${2:-1000000}
src=$(cd "$(dirname "$0")/../.." && pwd)
cluster=/tmp/varnel-pg-bench-$$
trap '"$src/scripts/pg-cluster.sh" stop "$cluster"' EXIT
port=$("$src/scripts/pg-cluster.sh" start "$cluster")
PGPASSWORD=varnel "$build/bench/store/bench_store" "$rows" "postgresql://varnel@127.0.0.1:$port/varnel"
