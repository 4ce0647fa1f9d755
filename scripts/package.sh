#!/usr/bin/env bash
# Builds the Debian package build-package/package/verblinka_<version>_<arch>.deb
# (workflow preset package: a release build without tests, then CPack) with
# Debian's hardening flags. Install the result with
#   sudo apt-get install ./build-package/package/verblinka_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh --package
# dpkg-buildflags: stack protector, fortified functions, full RELRO, as Debian
# builds its own packages. They change no floating-point behaviour. They take
# effect when build-package/ is first configured.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
# The package holds the programs stripped (CPACK_STRIP_FILES), so the debug
# information that Debian's flags ask for would only be thrown away: without
# -g the code is the same and the build is quicker.
export DEB_CXXFLAGS_MAINT_STRIP=-g
CXXFLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
LDFLAGS=$(dpkg-buildflags --get LDFLAGS)
export CXXFLAGS LDFLAGS
rm -f build-package/package/verblinka_*.deb
cmake --workflow --preset package >/dev/null
ls build-package/package/verblinka_*.deb
