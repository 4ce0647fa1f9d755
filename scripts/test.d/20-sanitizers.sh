#!/usr/bin/env bash
# The whole test suite again, built by clang with AddressSanitizer (leaks
# included) and UndefinedBehaviorSanitizer, warnings as errors, in build-asan/
# (preset asan; its test preset sets the sanitizers' options).
set -euo pipefail
cd "$(dirname "$0")/../.."
cmake --workflow --preset asan
