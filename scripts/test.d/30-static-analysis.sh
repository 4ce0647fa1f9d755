#!/usr/bin/env bash
# clang-tidy (checks in .clang-tidy) and cppcheck over the project's own
# sources, using the compile commands of the main build; any finding fails.
set -euo pipefail
cd "$(dirname "$0")/../.."
[ -f build/compile_commands.json ] || bash scripts/build.sh -DVERBLINKA_BUILD_TESTS=ON

own="$PWD/(engine|dictionary|search|tools|tests|fuzz|ui|bench)/[^/]*\.cpp$"
echo "== clang-tidy"
run-clang-tidy-14 -p build -j "$(nproc)" -quiet "$own" >build/clang-tidy.log 2>&1 || {
  grep -E 'warning:|error:' -A4 build/clang-tidy.log | head -n 200
  echo "clang-tidy found problems (whole log: build/clang-tidy.log)" >&2
  exit 1
}
echo "clang-tidy: clean"

echo "== cppcheck"
# Qt's configuration makes "emit" a macro: only for the sources that use Qt.
check() { # LIBRARIES FILES...
  local libraries=$1
  shift
  [ $# -gt 0 ] || return 0
  cppcheck --quiet --error-exitcode=1 --inline-suppr --std=c++20 --language=c++ \
    --enable=warning,performance,portability --suppress=missingIncludeSystem \
    $libraries -j "$(nproc)" -I . "$@"
}
mapfile -t plain < <(git ls-files '*.cpp' | grep -E '^(engine|dictionary|search|tools|tests|fuzz|bench)/' |
  grep -v '^tests/ui/')
mapfile -t withQt < <(git ls-files '*.cpp' | grep -E '^(ui|tests/ui)/')
check "--library=googletest --library=scripts/cppcheck-gtest-typed.cfg --library=posix" "${plain[@]}"
check "--library=googletest --library=qt --library=posix" "${withQt[@]}"
echo "cppcheck: clean"
