#!/usr/bin/env bash
# Installs the Debian packages the project needs, once: packages already
# present are not asked for again, so running it twice costs nothing.
#   bash scripts/deps.sh              what building and running the program needs
#   bash scripts/deps.sh --package    that, and what making the Debian package needs
#   bash scripts/deps.sh --ci         everything the tests and checks of CI need
# Further arguments name more packages.
set -euo pipefail

build=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-svg-dev libqt6svg6 qt6-charts-dev libqt6opengl6-dev qt6-translations-l10n
  fonts-dejavu-core fonts-dejavu-extra
)
package=(dpkg-dev help2man librsvg2-bin)
ci=(
  "${package[@]}" python3 xvfb xauth time
  googletest libgtest-dev libbenchmark-dev
  g++-aarch64-linux-gnu qemu-user clang libclang-rt-14-dev clang-14 clang-tidy-14 cppcheck
  lintian appstream desktop-file-utils man-db
)

packages=("${build[@]}")
for argument in "$@"; do
  case "$argument" in
    --package) packages+=("${package[@]}") ;;
    --ci) packages+=("${ci[@]}") ;;
    -*) echo "deps.sh: unknown option $argument (--package, --ci)" >&2; exit 2 ;;
    *) packages+=("$argument") ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
[ "$(id -u)" -ne 0 ] && sudo=(sudo)
echo "Installing: ${missing[*]}"
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
