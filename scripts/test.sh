#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the format check, the Qt Test
# suites, the headless suites in a build without the windows, the same suites in a
# sanitizer build, and a short run of every fuzz target. The project's own code builds
# with warnings as errors. Set VARNEL_QUICK=1 to run only the format check and the plain
# suite.
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
"$src/scripts/install-deps.sh"

export QT_QPA_PLATFORM=offscreen
export QTWEBENGINE_DISABLE_SANDBOX=1
export CTEST_OUTPUT_ON_FAILURE=1
jobs=$(nproc)

echo "== format =="
"$src/scripts/format.sh"

echo "== build and test =="
"$src/scripts/build.sh" "$src/build-test" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVARNEL_WERROR=ON
ctest --test-dir "$src/build-test" -j "$jobs" --timeout 600

[[ "${VARNEL_QUICK:-0}" == 1 ]] && exit 0

echo "== build without the windows and test =="
"$src/scripts/build.sh" "$src/build-nogui" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVARNEL_GUI=OFF \
  -DVARNEL_WERROR=ON -DVARNEL_BENCH=OFF
ctest --test-dir "$src/build-nogui" -j "$jobs" --timeout 600

echo "== sanitizer build and test =="
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$src/tests/lsan.supp:print_suppressions=0
"$src/scripts/build.sh" "$src/build-asan" -DCMAKE_BUILD_TYPE=Debug -DVARNEL_SANITIZE=ON -DVARNEL_BENCH=OFF \
  -DVARNEL_WERROR=ON
ctest --test-dir "$src/build-asan" -j "$jobs" --timeout 900 -LE no-sanitizer

if [[ -d "$src/fuzz" ]]; then
  echo "== short fuzz runs =="
  "$src/scripts/build.sh" "$src/build-fuzz" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++ -DVARNEL_FUZZ=ON -DVARNEL_TESTS=OFF -DVARNEL_BENCH=OFF -DVARNEL_GUI=OFF
  "$src/fuzz/run-all.sh" "$src/build-fuzz" "${VARNEL_FUZZ_SECONDS:-30}"
fi
echo "== all tests passed =="
