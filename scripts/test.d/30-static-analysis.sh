#!/usr/bin/env bash
# clang-tidy (checks in .clang-tidy) and cppcheck on every source of every
# target as it compiles, in build-analysis/ (preset analysis); any finding
# fails the build.
set -euo pipefail
cd "$(dirname "$0")/../.."
cmake --workflow --preset analysis
echo "clang-tidy and cppcheck: clean"
