#!/usr/bin/env bash
# Draws the program's windows into build/screenshots/ for a look at their
# layout: under a private Xvfb server where one is installed (as a desktop
# user would see them, without window frames), otherwise off screen.
# Also photographs the whole screen with the program started as a user starts it.
# `--docs` also copies the README's pictures into docs/screenshots/.
set -euo pipefail
cd "$(dirname "$0")/.."
docs=0
if [ "${1:-}" = --docs ]; then
  docs=1
  shift
fi
out=${1:-build/screenshots}
ninja -C build verblinka verblinka_ui_screens >/dev/null
mkdir -p "$out"

if command -v Xvfb >/dev/null; then
  display=:$((90 + RANDOM % 100))
  Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb=$!
  trap 'kill "$xvfb" 2>/dev/null || true' EXIT
  sleep 1
  export DISPLAY=$display QT_QPA_PLATFORM=xcb
  if command -v import >/dev/null; then
    build/ui/verblinka &
    program=$!
    sleep 2
    import -window root "$out/screen-start.png"
    kill "$program"
  fi
else
  export QT_QPA_PLATFORM=offscreen
fi
build/tests/ui/verblinka_ui_screens "$out" samples/help.txt "${2:-праграма}"
if [ "$docs" -eq 1 ]; then
  mkdir -p docs/screenshots
  for name in main-search about; do
    cp "$out/$name.png" docs/screenshots/
  done
fi
