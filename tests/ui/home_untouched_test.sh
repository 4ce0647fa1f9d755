#!/usr/bin/env bash
# The windows write nothing to the user's home folder: the open dialog's
# history and column widths (Qt's "QtProject.conf") stay in a folder of the
# run's own. UI_TESTS names the test program; the tests that open the real
# file dialog run with HOME pointing at an empty folder, which must stay empty.
set -euo pipefail
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
env -u XDG_CONFIG_HOME -u XDG_DATA_HOME -u XDG_CACHE_HOME HOME="$home" \
  QT_QPA_PLATFORM=offscreen "$UI_TESTS" --gtest_filter='OpenCommand.*' --gtest_brief=1
written=$(find "$home" -mindepth 1 -print)
if [ -n "$written" ]; then
  echo "written to the home folder:"
  echo "$written"
  exit 1
fi
