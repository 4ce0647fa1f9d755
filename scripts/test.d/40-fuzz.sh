#!/usr/bin/env bash
# Every fuzz target for at least a minute, from its saved corpus
# (scripts/fuzz.sh; FUZZ_SECONDS changes the time).
set -euo pipefail
cd "$(dirname "$0")/../.."
bash scripts/fuzz.sh all "${FUZZ_SECONDS:-60}"
