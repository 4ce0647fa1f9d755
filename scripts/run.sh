#!/usr/bin/env bash
# Sets everything up on a fresh Debian 12 machine, builds the program and the
# tool (preset run, into build-run/; no test is built) and starts the program.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake --preset run >/dev/null
cmake --build --preset run
exec build-run/ui/verblinka "$@"
