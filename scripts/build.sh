#!/usr/bin/env bash
# Configures and builds one preset of CMakePresets.json (default dev, into
# build/); further arguments go to the configure step, e.g.
#   PRESET=werror bash scripts/build.sh
#   bash scripts/build.sh -DVERBLINKA_SOFT_EXTENDED=ON
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${PRESET:-dev}
cmake --preset "$preset" "$@" >/dev/null
cmake --build --preset "$preset"
