#!/usr/bin/env bash
# Runs every fuzz target for a while. Usage: run-all.sh BUILD_DIR [SECONDS] [TARGET...]
# The working corpus of each target lives in BUILD_DIR/fuzz-corpus/<target> and grows from
# run to run; the seeds come from the repository. A crash, a leak or a timeout fails the run.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
src=$(cd "$here/.." && pwd)
build=$1
seconds=${2:-30}
shift 2 || true
targets=("$@")
((${#targets[@]})) || targets=(htmltotext entities faxline faxpage faxfinder links domains readers siteimport engines http rtf robots framing pool)

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
    htmltotext|faxpage|faxfinder|links) echo "$src/fuzz/seeds/pages" ;;
    domains) echo "$src/tests/discovery/fixtures" ;;
    readers) echo "$src/tests/corpus/serp" ;;
    engines) echo "$src/resources/engines" ;;
  esac
}

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
status=0
for t in "${targets[@]}"; do
  exe="$build/fuzz/fuzz_$t"
  [[ -x "$exe" ]] || { echo "fuzz: $exe is missing" >&2; status=1; continue; }
  corpus="$build/fuzz-corpus/$t"
  mkdir -p "$corpus" "$build/fuzz-artifacts/$t"
  [[ $t == rtf ]] && cp -f "$src"/resources/*.rtf "$corpus"/ 2>/dev/null || true
  seeds=()
  for d in $(seed_dirs_of "$t"); do [[ -d "$d" ]] && seeds+=("$d"); done
  echo "== fuzz_$t for ${seconds}s =="
  if ! "$exe" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=262144 \
        -dict="$(dict_of "$t")" -artifact_prefix="$build/fuzz-artifacts/$t/" \
        -print_final_stats=1 "$corpus" "${seeds[@]}" 2>"$build/fuzz-artifacts/$t.log"; then
    echo "fuzz_$t FAILED; see $build/fuzz-artifacts/$t.log and the artifacts beside it" >&2
    tail -40 "$build/fuzz-artifacts/$t.log" >&2
    status=1
  else
    grep -E 'stat::number_of_executed_units|cov:' "$build/fuzz-artifacts/$t.log" | tail -2
  fi
done
exit $status
