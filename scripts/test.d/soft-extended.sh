#!/usr/bin/env bash
# The engine's tests again with the emulated arithmetic forced on x86-64: the
# network then runs on what machines without x87 get, and the tests still
# compare it with x87 bit for bit.
set -euo pipefail
cd "$(dirname "$0")/../.."
build_dir=build-soft-extended
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVERBLINKA_ENGINE_ONLY=ON \
  -DVERBLINKA_SOFT_EXTENDED=ON -DVERBLINKA_BUILD_FUZZ=OFF -DVERBLINKA_WERROR=ON >/dev/null
cmake --build "$build_dir" --parallel "$(nproc)"
ctest --test-dir "$build_dir" --output-on-failure --timeout 600 -j "$(nproc)"
