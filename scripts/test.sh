#!/usr/bin/env bash
# Sets everything up on a fresh Debian 12 machine and runs every test:
# the packages, the werror preset (build with warnings as errors, then the
# test suite), then each further check in scripts/test.d/ in order, each
# with the seconds it took.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh --ci
export CTEST_PARALLEL_LEVEL=${CTEST_PARALLEL_LEVEL:-$(nproc)}
started=$SECONDS
cmake --workflow --preset werror
echo "== werror workflow: $((SECONDS - started)) s"
shopt -s nullglob
for check in scripts/test.d/*.sh; do
  echo "== $check"
  started=$SECONDS
  bash "$check"
  echo "== $check: $((SECONDS - started)) s"
done
