#!/usr/bin/env bash
# `cmake --install` puts the programs, the desktop file and the icons where a
# Linux desktop looks for them.
# Run by ctest (label install) with the build folder as its argument.
set -euo pipefail
build_dir=${1:?usage: install_test.sh BUILD_DIR}
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build_dir" --prefix "$prefix" >/dev/null
for file in \
  bin/verblinka bin/verblinka-lookup \
  share/applications/verblinka.desktop \
  share/icons/hicolor/scalable/apps/verblinka.svg \
  share/icons/hicolor/32x32/apps/verblinka.svg \
  share/icons/hicolor/16x16/apps/verblinka.svg; do
  [ -e "$prefix/$file" ] || { echo "not installed: $file"; exit 1; }
done
[ -x "$prefix/bin/verblinka" ] || { echo "bin/verblinka is not executable"; exit 1; }
# The launcher starts the installed program and shows the installed emblem.
grep -qx 'Exec=verblinka' "$prefix/share/applications/verblinka.desktop"
grep -qx 'Icon=verblinka' "$prefix/share/applications/verblinka.desktop"
echo "install: ok"
