#!/usr/bin/env bash
# The engine and its tests cross-built for aarch64 and run under qemu.
set -euo pipefail
exec bash "$(dirname "$0")/../aarch64-test.sh"
