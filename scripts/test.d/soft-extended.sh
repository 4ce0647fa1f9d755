#!/usr/bin/env bash
# The engine's tests again with the emulated arithmetic forced on x86-64: the
# network then runs on what machines without x87 get, and the tests still
# compare it with x87 bit for bit (preset soft-extended).
set -euo pipefail
cd "$(dirname "$0")/../.."
cmake --workflow --preset soft-extended
