#!/usr/bin/env bash
# Checks (or with --fix, applies) the formatting of every C++ source of the project with
# the clang-format of Debian 12, version 14: other versions format some constructs
# differently, so the check would flip between machines.
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
wanted=14
tool=
for t in clang-format-$wanted clang-format; do
  if command -v "$t" >/dev/null && [[ $("$t" --version) =~ version\ $wanted\. ]]; then
    tool=$t
    break
  fi
done
if [[ -z $tool ]]; then
  echo "format: clang-format $wanted is needed (Debian 12: apt-get install clang-format)" >&2
  exit 2
fi
cd "$src"
mapfile -t files < <(git ls-files -- 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' \
  'bench/*.cpp' 'bench/*.h' 'fuzz/*.cpp' 'fuzz/*.h')
if [[ "${1:-}" == "--fix" ]]; then
  "$tool" -i "${files[@]}"
else
  "$tool" --dry-run -Werror "${files[@]}"
fi
