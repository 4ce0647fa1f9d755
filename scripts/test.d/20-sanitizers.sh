#!/usr/bin/env bash
# The whole test suite again, built by clang with AddressSanitizer (leaks
# included) and UndefinedBehaviorSanitizer, warnings as errors, in build-asan/.
set -euo pipefail
cd "$(dirname "$0")/../.."
export CC=clang-14 CXX=clang++-14
BUILD_DIR=build-asan bash scripts/build.sh -DVERBLINKA_SANITIZE=ON -DVERBLINKA_WERROR=ON \
  -DVERBLINKA_BUILD_TESTS=ON
export ASAN_OPTIONS=detect_leaks=1:detect_stack_use_after_return=1:strict_string_checks=1:check_initialization_order=1:abort_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
ctest --test-dir build-asan --output-on-failure --timeout 900 -j "$(nproc)"
