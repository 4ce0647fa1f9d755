#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer on; preset fuzz) into build-fuzz/ and runs them side by side,
# each for the given time, from its saved corpus in fuzz/corpus/.
#   scripts/fuzz.sh [TARGET|all] [SECONDS]      (default: all for 60 s; either order)
# A target is named by its source (load_fuzzer, search_fuzzer, fastpath_fuzzer,
# precision_fuzz); its corpus is fuzz/corpus/TARGET, or without "_fuzz" at the
# end. New inputs go to build-fuzz/corpus/TARGET and findings to
# build-fuzz/findings/; the saved corpus is never changed. Prints, per target,
# how long it ran and how many inputs it tried; exits non-zero when any target
# found something.
set -euo pipefail
cd "$(dirname "$0")/.."
target=all
seconds=60
for argument in "$@"; do
  if [[ $argument =~ ^[0-9]+$ ]]; then seconds=$argument; else target=$argument; fi
done
build_dir=build-fuzz

corpus_of() {
  if [ -d "fuzz/corpus/$1" ]; then echo "fuzz/corpus/$1"; else echo "fuzz/corpus/${1%_fuzz}"; fi
}
targets=()
for source in fuzz/*_fuzz.cpp fuzz/*_fuzzer.cpp; do
  [ -e "$source" ] || continue
  name=$(basename "$source" .cpp)
  if [ "$target" = all ] || [ "$target" = "$name" ]; then
    targets+=("$name")
  fi
done
[ ${#targets[@]} -gt 0 ] || { echo "unknown target $target" >&2; exit 2; }

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target "${targets[@]}" >/dev/null

mkdir -p "$build_dir/findings"
pids=()
for t in "${targets[@]}"; do
  mkdir -p "$build_dir/corpus/$t"
  options=()
  [ "$t" = precision_fuzz ] && options+=(-max_len=64) # two operands and a choice
  [ -f "fuzz/$t.dict" ] && options+=(-dict="fuzz/$t.dict")
  echo "== fuzzing $t for $seconds s"
  "$build_dir/fuzz/$t" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$build_dir/findings/$t-" "${options[@]}" \
    "$build_dir/corpus/$t" "$(corpus_of "$t")" >"$build_dir/$t.log" 2>&1 &
  pids+=($!)
done
failed=0
for i in "${!targets[@]}"; do
  t=${targets[$i]}
  status=0
  wait "${pids[$i]}" || status=$?
  log="$build_dir/$t.log"
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  took=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$log" | tail -1)
  echo "$t: ${runs:-?} inputs in ${took:-?} s"
  if [ "$status" -ne 0 ]; then
    grep -v '^#[0-9]' "$log" | tail -n 40
    echo "FINDING in $t (exit $status); the input is in $build_dir/findings/" >&2
    failed=1
  fi
done
exit "$failed"
