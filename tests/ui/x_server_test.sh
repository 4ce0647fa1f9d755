#!/usr/bin/env bash
# The widget tests once more on a real X server (Xvfb, no window manager):
# window placement and sizes there differ from the off-screen platform's.
# UI_TESTS names the test program; exit 77 (skipped) without xvfb-run.
set -euo pipefail
if ! command -v xvfb-run >/dev/null; then
  echo "xvfb-run is missing (package xvfb): skipped"
  exit 77
fi
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  XDG_RUNTIME_DIR=$(mktemp -d) # private, as Qt wants it
  trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT
  export XDG_RUNTIME_DIR
fi
xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" \
  env QT_QPA_PLATFORM=xcb timeout 300 "$UI_TESTS" --gtest_brief=1
