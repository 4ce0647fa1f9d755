#!/usr/bin/env bash
# The whole test suite again, built by clang with AddressSanitizer (leaks
# included) and UndefinedBehaviorSanitizer, warnings as errors, while
# clang-tidy (.clang-tidy) and cppcheck check every source as it compiles:
# one clang build for both (preset sanitized-analysis, into
# build-sanitized-analysis/; its test preset sets the sanitizers' options).
# The presets asan and analysis do each half alone.
set -euo pipefail
cd "$(dirname "$0")/../.."
cmake --workflow --preset sanitized-analysis
echo "clang-tidy and cppcheck: clean"
