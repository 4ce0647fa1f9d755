#!/usr/bin/env bash
# Builds the Debian package: build-package/package/verblinka_<version>_<arch>.deb
# (or in $BUILD_DIR/package). A fresh build folder is configured as a release
# build with Debian's hardening flags; an existing one (CI passes build-werror/) is
# reused as it is configured. Install the result with
#   sudo apt-get install ./build-package/package/verblinka_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${BUILD_DIR:-build-package}
if [ ! -f "$build_dir/CMakeCache.txt" ]; then
  bash scripts/deps.sh
  # dpkg-buildflags: stack protector, fortified functions, full RELRO, as
  # Debian builds its own packages. They change no floating-point behaviour.
  export DEB_BUILD_MAINT_OPTIONS=hardening=+all
  CXXFLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
  LDFLAGS=$(dpkg-buildflags --get LDFLAGS)
  export CXXFLAGS LDFLAGS
  cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVERBLINKA_WERROR=ON \
    -DVERBLINKA_BUILD_TESTS=OFF -DVERBLINKA_BUILD_FUZZ=OFF -DVERBLINKA_BUILD_UI=ON >/dev/null
fi
cmake --build "$build_dir" --parallel "$(nproc)"
rm -f "$build_dir"/package/verblinka_*.deb
(cd "$build_dir" && cpack -G DEB >/dev/null)
ls "$build_dir"/package/verblinka_*.deb
