#!/usr/bin/env bash
# Sets everything up on a fresh Debian 12 machine and runs every test:
# the packages, the werror preset (build with warnings as errors, then the
# test suite), then each further check in scripts/test.d/ in order.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh --ci
export CTEST_PARALLEL_LEVEL=${CTEST_PARALLEL_LEVEL:-$(nproc)}
cmake --workflow --preset werror
shopt -s nullglob
for check in scripts/test.d/*.sh; do
  echo "== $check"
  bash "$check"
done
