#!/usr/bin/env bash
# Runs every fuzz target for a while. Usage: run-all.sh BUILD_DIR [SECONDS] [TARGET...]
# The working corpus of each target lives in BUILD_DIR/fuzz-corpus/<target> and grows from
# run to run; the seeds come from the repository. A crash, a leak or a timeout fails the run.
# VARNEL_FUZZ_JOBS targets run at once (default: one per processor); each target is one
# process, so the runs do not share a corpus and their outcome does not depend on the count.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
src=$(cd "$here/.." && pwd)
build=$1
seconds=${2:-30}
shift 2 || true
targets=("$@")
((${#targets[@]})) || targets=(htmltotext entities faxline faxpage faxfinder links domains readers siteimport scriptshell engines http rtf robots framing pool)

dict_of() {
  case $1 in
    http|framing|pool) echo "$here/dict/http.dict" ;;
    robots) echo "$here/dict/robots.dict" ;;
    domains) echo "$here/dict/domains.dict" ;;
    rtf) echo "$here/dict/rtf.dict" ;;
    faxfinder) echo "$here/dict/faxfinder.dict" ;;
    engines) echo "$here/dict/engines.dict" ;;
    *) echo "$here/dict/html.dict" ;;
  esac
}

# Seeds: the repository's own per-target seeds, plus pages from the test corpora for the
# targets that read pages.
seed_dirs_of() {
  local t=$1
  echo "$here/seeds/$t"
  case $t in
    htmltotext|faxpage|faxfinder|links|scriptshell) echo "$src/fuzz/seeds/pages" ;;
    domains) echo "$src/tests/discovery/fixtures" ;;
    readers) echo "$src/tests/corpus/serp" ;;
    engines) echo "$src/resources/engines" ;;
  esac
}

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
jobs=${VARNEL_FUZZ_JOBS:-$(nproc)}
mkdir -p "$build/fuzz-artifacts"

# One target; its summary (or its failure) goes to fuzz-artifacts/<target>.summary, so that
# targets run side by side still report one after the other.
run_one() {
  local t=$1 exe="$build/fuzz/fuzz_$1" corpus="$build/fuzz-corpus/$1" d
  local summary="$build/fuzz-artifacts/$t.summary" log="$build/fuzz-artifacts/$t.log"
  if [[ ! -x "$exe" ]]; then
    echo "fuzz: $exe is missing" >"$summary"
    return 1
  fi
  mkdir -p "$corpus" "$build/fuzz-artifacts/$t"
  [[ $t == rtf ]] && cp -f "$src"/resources/*.rtf "$corpus"/ 2>/dev/null || true
  local seeds=()
  for d in $(seed_dirs_of "$t"); do [[ -d "$d" ]] && seeds+=("$d"); done
  if ! "$exe" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=262144 \
        -dict="$(dict_of "$t")" -artifact_prefix="$build/fuzz-artifacts/$t/" \
        -print_final_stats=1 "$corpus" "${seeds[@]}" 2>"$log"; then
    { echo "fuzz_$t FAILED; see $log and the artifacts beside it"; tail -40 "$log"; } >"$summary"
    return 1
  fi
  grep -E 'stat::number_of_executed_units|cov:' "$log" | tail -2 >"$summary"
}

report() {
  local t=$1 rc=$2
  echo "== fuzz_$t for ${seconds}s =="
  if ((rc)); then cat "$build/fuzz-artifacts/$t.summary" >&2; else cat "$build/fuzz-artifacts/$t.summary"; fi
}

status=0
declare -A pid_of
for t in "${targets[@]}"; do
  while (($(jobs -rp | wc -l) >= jobs)); do wait -n || true; done
  run_one "$t" &
  pid_of[$t]=$!
done
for t in "${targets[@]}"; do
  rc=0
  wait "${pid_of[$t]}" || rc=$?
  report "$t" "$rc"
  if ((rc)); then status=1; fi
done
exit $status
