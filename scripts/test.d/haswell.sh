#!/usr/bin/env bash
# The search's tests again on a processor without AVX-512: the werror build's
# test binaries under qemu-x86_64 -cpu Haswell, where the first layer takes
# the POPCNT kernel that an AVX-512 machine's search never reaches. The
# engine's kernel tests first show that the emulated processor lacks AVX-512
# (they skip that kernel and say so). Left out: two tests of queries of 30,000
# characters and 2 GiB, which reach the first layer like any other query but
# take most of the time under emulation.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=build-werror
for binary in "$build/tests/engine/verblinka_engine_tests" "$build/tests/search/verblinka_search_tests"; do
  [ -x "$binary" ] || { echo "$binary is missing: run cmake --workflow --preset werror first"; exit 1; }
done
log=$(mktemp)
trap 'rm -f "$log" "$log".*' EXIT
# qemu warns about each Haswell feature it does not emulate (none that the
# program uses); only the tests' own output is shown.
haswell() { qemu-x86_64 -cpu Haswell "$@" 2> >(grep -v "TCG doesn't support requested feature" >&2); }

haswell "$build/tests/engine/verblinka_engine_tests" --gtest_brief=1 \
  --gtest_filter='*FirstLayerKernel*' | tee "$log"
grep -q "lacks the avx512 first-layer kernel" "$log" ||
  { echo "the emulated processor has AVX-512: the search would not take the POPCNT kernel"; exit 1; }

# The emulator runs one thread, so the tests go in two shards side by side,
# one a core; each shard's output is shown whole once both have ended.
start=$(date +%s)
shards=2
pids=()
for ((shard = 0; shard < shards; shard++)); do
  GTEST_TOTAL_SHARDS=$shards GTEST_SHARD_INDEX=$shard haswell \
    "$build/tests/search/verblinka_search_tests" --gtest_brief=1 \
    --gtest_filter='-HostileInputTest.QueryOf30000Characters:OverflowTest.QueryLongerThanACountCanHoldFailsTheSearch' \
    >"$log.$shard" 2>&1 &
  pids+=($!)
done
failed=0
for ((shard = 0; shard < shards; shard++)); do
  status=0
  wait "${pids[$shard]}" || status=$?
  cat "$log.$shard"
  rm -f "$log.$shard"
  [ "$status" -eq 0 ] || { echo "search tests, shard $shard of $shards: exit $status"; failed=1; }
done
[ "$failed" -eq 0 ] || exit 1
echo "search tests under qemu-x86_64 -cpu Haswell: $(( $(date +%s) - start )) s"
