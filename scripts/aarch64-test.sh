#!/usr/bin/env bash
# Proves the engine on aarch64, where long double is a 128-bit type and the
# network's arithmetic is the portable emulation: cross-builds the engine
# (network, competition, word code) and its tests with g++-aarch64-linux-gnu,
# GoogleTest from its Debian sources, and runs every test under qemu-aarch64.
# The tests compare with values recorded on x87, so identical results here
# mean the same rows and the same bits as on x86-64.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
build_dir=${BUILD_DIR:-build-aarch64}
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/aarch64-linux-gnu.cmake" \
  -DVERBLINKA_ENGINE_ONLY=ON -DVERBLINKA_GTEST_FROM_SOURCE=ON -DVERBLINKA_WERROR=ON >/dev/null
cmake --build "$build_dir" --parallel "$(nproc)"
ctest --test-dir "$build_dir" --output-on-failure --timeout 900 -j "$(nproc)"
