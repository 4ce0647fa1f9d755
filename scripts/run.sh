#!/usr/bin/env bash
# Sets everything up on a fresh Debian 12 machine, builds and starts the program.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/build.sh
if [ -x build/ui/verblinka ]; then
  exec build/ui/verblinka "$@"
fi
# Without the desktop program, look a few words up in the shipped sample text.
exec build/verblinka-lookup --explain samples/help.txt "${@:-программа}"
