#!/usr/bin/env bash
# A short libFuzzer run of the emulation against x87 (the seed corpus and a
# fixed random stream also run in ctest, without libFuzzer).
set -euo pipefail
exec bash "$(dirname "$0")/../fuzz.sh" "${FUZZ_SECONDS:-30}" precision_fuzz
