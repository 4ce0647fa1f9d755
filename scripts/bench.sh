#!/usr/bin/env bash
# Builds and runs the benchmarks: for M = 1,000, 10,000, 100,000 and 1,000,000
# one Recognize, one competition pass (fast, and plain up to M = 100,000),
# the search of an eight-letter word, and the loads of generated word lists
# (random order with repeats, ascending, descending, alphabetical) with their
# peak memory; then verblinka-lookup itself on the largest lists under
# /usr/bin/time -v. Builds the bench preset into build-bench/; generated
# lists go to build-bench/bench-data and are reused by later runs. Arguments go to
# verblinka-bench (for example --sizes 1000,10000 for a quick run).
# A full run takes a few minutes: the plain pass at M = 100,000 alone takes
# one to two minutes.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=build-bench
bash scripts/deps.sh time
cmake --preset bench >/dev/null
cmake --build --preset bench
data=$build_dir/bench-data
"$build_dir/bench/verblinka-bench" --data "$data" "$@"

echo
echo "== verblinka-lookup, load and one search, under /usr/bin/time -v"
for list in "$data"/random-1000000.txt "$data"/alphabetical-1000000.txt; do
  [ -f "$list" ] || continue
  report=$(/usr/bin/time -v "$build_dir/verblinka-lookup" "$list" "праграмма" 2>&1 >/dev/null)
  echo "  $(basename "$list"): $(grep -E 'Elapsed' <<<"$report" | sed 's/.*: //') elapsed," \
       "$(grep -E 'Maximum resident' <<<"$report" | sed 's/.*: //') KiB peak"
done
