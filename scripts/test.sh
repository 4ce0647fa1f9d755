#!/usr/bin/env bash
# Sets everything up on a fresh Debian 12 machine and runs every test:
# the packages, a build with warnings as errors, the test suite, then each
# further check in scripts/test.d/ in order.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
bash scripts/build.sh -DVERBLINKA_WERROR=ON -DVERBLINKA_BUILD_TESTS=ON -DVERBLINKA_BUILD_UI=ON
ctest --test-dir build --output-on-failure --timeout 600 -j "$(nproc)"
shopt -s nullglob
for check in scripts/test.d/*.sh; do
  echo "== $check"
  bash "$check"
done
