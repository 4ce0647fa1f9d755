#!/usr/bin/env bash
# Builds and runs the benchmarks: for M = 1,000, 10,000, 100,000 and 1,000,000
# one Recognize (passes over classes, the previous passes over doubles, and
# literal up to M = 10,000), one competition pass (fast, and plain up to
# M = 100,000), the searches of an eight-letter and of a 24-letter word (every
# core, one thread, the previous way), and the loads of generated word lists
# (random order with repeats, ascending, descending, alphabetical) with their
# peak memory; then verblinka-lookup itself on the largest lists under
# /usr/bin/time -v. Builds the bench preset into build-bench/; generated
# lists go to build-bench/bench-data and are reused by later runs. Arguments go to
# verblinka-bench (for example --sizes 1000,10000 for a quick run).
# Then verblinka-bench-load: loads of a million distinct words, of 4.24
# million running words and of a 1 GiB UTF-8 text, by the counting route and
# by the word tree, with time and peak memory.
# A full run takes a few minutes: the plain pass at M = 100,000 alone takes
# one to two minutes.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=build-bench
bash scripts/deps.sh --ci hunspell-ru hunspell-tools
cmake --preset bench >/dev/null
cmake --build --preset bench
data=$build_dir/bench-data
"$build_dir/bench/verblinka-bench" --data "$data" "$@"

# A real Russian word list: 100,000 stems of the spelling dictionary, and
# 1,000,000 of its word forms (unmunch) in random order; seeded one-edit
# misspellings of their entries, median and 95th percentile per query.
dic=/usr/share/hunspell/ru_RU.dic
if [ -f "$dic" ] && command -v unmunch >/dev/null; then
  mkdir -p "$data"
  [ -f "$data/ru-stems-100000.txt" ] ||
    tail -n +2 "$dic" | cut -d/ -f1 | head -n 100000 >"$data/ru-stems-100000.txt"
  [ -f "$data/ru-forms-1000000.txt" ] ||
    unmunch "$dic" "${dic%.dic}.aff" 2>/dev/null | sort -u | shuf --random-source=<(yes) |
      head -n 1000000 >"$data/ru-forms-1000000.txt"
  echo
  echo "== real words, one-edit misspellings"
  "$build_dir/bench/verblinka-bench" --misspellings "$data/ru-stems-100000.txt" 1000
  "$build_dir/bench/verblinka-bench" --misspellings "$data/ru-forms-1000000.txt" 300
fi

echo
echo "== verblinka-lookup, load and one search, under /usr/bin/time -v"
for list in "$data"/random-1000000.txt "$data"/alphabetical-1000000.txt; do
  [ -f "$list" ] || continue
  report=$(/usr/bin/time -v "$build_dir/verblinka-lookup" "$list" "праграмма" 2>&1 >/dev/null)
  echo "  $(basename "$list"): $(grep -E 'Elapsed' <<<"$report" | sed 's/.*: //') elapsed," \
       "$(grep -E 'Maximum resident' <<<"$report" | sed 's/.*: //') KiB peak"
done

echo
echo "== loads: the counting route beside the word tree's (verblinka-bench-load)"
"$build_dir/bench/verblinka-bench-load" --data "$data"
for list in "$data"/distinct-1000000.txt "$data"/running-1000000.txt "$data"/text-1024MiB.txt; do
  [ -f "$list" ] || continue
  report=$(/usr/bin/time -v "$build_dir/verblinka-lookup" --quiet "$list" "праграмма" 2>&1 >/dev/null)
  echo "  verblinka-lookup $(basename "$list"): $(grep -E 'Elapsed' <<<"$report" | sed 's/.*: //') elapsed," \
       "$(grep -E 'Maximum resident' <<<"$report" | sed 's/.*: //') KiB peak (load and one search)"
done
