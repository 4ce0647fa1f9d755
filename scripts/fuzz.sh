#!/usr/bin/env bash
# Builds a fuzz target with clang and libFuzzer (address and undefined-
# behaviour sanitizers on) into build-fuzz/ and runs it for a while, starting
# from its seed corpus. New inputs go to a scratch directory, not the repo.
#   bash scripts/fuzz.sh [SECONDS] [TARGET]      (defaults: 60 precision_fuzz)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
target=${2:-precision_fuzz}
build_dir=${BUILD_DIR:-build-fuzz}
CXX=${FUZZ_CXX:-clang++} cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVERBLINKA_ENGINE_ONLY=ON -DVERBLINKA_BUILD_TESTS=OFF -DVERBLINKA_FUZZ_COVERAGE=ON >/dev/null
cmake --build "$build_dir" --target "$target" --parallel 2 >/dev/null
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
log="$build_dir/$target.log"
if ! "$build_dir/fuzz/$target" -max_total_time="$seconds" -max_len=64 -print_final_stats=1 \
  -artifact_prefix="$build_dir/" "$scratch" "fuzz/corpus/${target%_fuzz}" >"$log" 2>&1; then
  grep -v '^#[0-9]' "$log" | tail -n 30
  echo "$target failed; the input that failed is in $build_dir/ (see $log)" >&2
  exit 1
fi
grep -E '^(Done|stat::number_of_executed_units|stat::new_units_added)' "$log"
