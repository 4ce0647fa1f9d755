#!/usr/bin/env bash
# Proves the engine on aarch64, where long double is a 128-bit type and the
# network's arithmetic is the portable emulation: cross-builds the engine
# (network, competition) and the text layer (word code) with their tests
# with g++-aarch64-linux-gnu, GoogleTest from its Debian sources, and runs
# every test under qemu-aarch64 (preset aarch64, into build-aarch64/).
# The tests compare with values recorded on x87, so identical results here
# mean the same rows and the same bits as on x86-64.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh --ci
export CTEST_PARALLEL_LEVEL=${CTEST_PARALLEL_LEVEL:-$(nproc)}
cmake --workflow --preset aarch64
