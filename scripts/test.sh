#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the format check, the Qt Test
# suites, the headless suites in a build without the windows, the suites again under the
# sanitizers, and a short run of every fuzz target. The project's own code builds with
# warnings as errors. Set VARNEL_QUICK=1 to run only the format check and the plain suite.
#
# Three build trees:
#   build-test   GCC, the whole program and its suites
#   build-nogui  GCC, without the windows; its compiles are the same as build-test's, so
#                ccache (a cache of its own in build-ccache) answers most of them
#   build-asan   clang with AddressSanitizer, UndefinedBehaviorSanitizer and libFuzzer's
#                coverage: the suites under the sanitizers and the fuzz targets, built once
# Each leg prints how long it took, and the end a summary of all of them.
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)

leg_name=
leg_start=0
legs=()
end_leg() {
  if [[ -n $leg_name ]]; then
    legs+=("$(printf '%6d s  %s' $((SECONDS - leg_start)) "$leg_name")")
    leg_name=
  fi
}
leg() {
  end_leg
  leg_name=$1
  leg_start=$SECONDS
  echo "== $1 == ($(date '+%H:%M:%S'), load $(cut -d' ' -f1-3 /proc/loadavg 2>/dev/null || echo ?))"
}
summary() {
  local status=$?
  end_leg
  echo "== times =="
  ((${#legs[@]})) && printf '%s\n' "${legs[@]}"
  printf '%6d s  total\n' "$SECONDS"
  return $status
}
trap summary EXIT

leg "install dependencies"
"$src/scripts/install-deps.sh"

export QT_QPA_PLATFORM=offscreen
export QTWEBENGINE_DISABLE_SANDBOX=1
export CTEST_OUTPUT_ON_FAILURE=1
jobs=$(nproc)

# Every tree links with lld and keeps line tables only for debug information: enough for
# stack traces, and a quarter less compile time than full information.
common=(-DCMAKE_EXE_LINKER_FLAGS=-fuse-ld=lld)
# Warnings are errors with GCC, whose warnings the code is kept free of. The two GCC trees
# share a cache: paths are taken relative to the source folder, so their compiles are the
# same commands.
gcc_trees=(-DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG"
  -DVARNEL_WERROR=ON)
if command -v ccache >/dev/null; then
  gcc_trees+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  export CCACHE_DIR="$src/build-ccache"
  export CCACHE_BASEDIR="$src"
  export CCACHE_NOHASHDIR=1
  export CCACHE_NOCOMPRESS=1
  export CCACHE_INODECACHE=1
  export CCACHE_MAXSIZE=4G
  export CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime
fi

leg "format"
"$src/scripts/format.sh"

leg "build"
"$src/scripts/build.sh" "$src/build-test" "${common[@]}" "${gcc_trees[@]}"
leg "test"
ctest --test-dir "$src/build-test" -j "$jobs" --timeout 600

[[ "${VARNEL_QUICK:-0}" == 1 ]] && exit 0

leg "build without the windows"
"$src/scripts/build.sh" "$src/build-nogui" "${common[@]}" "${gcc_trees[@]}" -DVARNEL_GUI=OFF \
  -DVARNEL_BENCH=OFF
leg "test without the windows"
ctest --test-dir "$src/build-nogui" -j "$jobs" --timeout 600

# One clang tree for the sanitizers and the fuzz targets. A debug build, so that Qt's own
# assertions (an index out of range, say) are checked too, at -O1 for speed.
leg "sanitizer and fuzz build"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$src/tests/lsan.supp:print_suppressions=0
"$src/scripts/build.sh" "$src/build-asan" "${common[@]}" -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=Debug "-DCMAKE_CXX_FLAGS_DEBUG=-O1 -g1" -DVARNEL_FUZZ=ON -DVARNEL_BENCH=OFF
leg "test under the sanitizers"
ctest --test-dir "$src/build-asan" -j "$jobs" --timeout 900 -LE no-sanitizer

leg "short fuzz runs"
"$src/fuzz/run-all.sh" "$src/build-asan" "${VARNEL_FUZZ_SECONDS:-30}"
end_leg
echo "== all tests passed =="
