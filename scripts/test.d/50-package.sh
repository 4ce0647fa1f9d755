#!/usr/bin/env bash
# The Debian package as a user gets it: built by scripts/package.sh (workflow
# preset package, into build-package/), checked by lintian, installed with
# apt, its metadata, desktop entry and manual pages validated where they were installed, both programs run from
# /usr/bin, then purged. Packages that the install pulled in are purged too,
# so the machine ends as it began.
set -euo pipefail
cd "$(dirname "$0")/../.."
sudo=()
[ "$(id -u)" -ne 0 ] && sudo=(sudo)
apt_get() { DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get -o DPkg::Lock::Timeout=300 -y -qq "$@"; }

if dpkg-query -W -f='${Status}' verblinka 2>/dev/null | grep -q 'install ok installed'; then
  echo "verblinka is installed on this machine already; purge it before this check"
  exit 1
fi

before=$(mktemp) after=$(mktemp) run=$(mktemp -d)
trap 'rm -rf "$before" "$after" "$run"' EXIT
milliseconds_since() { echo "$(( ($(date +%s%N) - $1) / 1000000 )) ms"; }

bash scripts/package.sh >/dev/null
deb=$(ls build-package/package/verblinka_*.deb)
echo "package: $deb, $(stat -c %s "$deb") bytes"
# Depends names every package once, the SVG plugins' among them.
depends=$(dpkg-deb -f "$deb" Depends | tr ',' '\n' | sed 's/^ *//; s/[ (].*//')
echo "Depends: $(echo "$depends" | paste -sd ' ')"
twice=$(echo "$depends" | sort | uniq -d)
[ -z "$twice" ] || { echo "Depends names more than once: $twice"; exit 1; }
echo "$depends" | grep -qx libqt6svg6 || { echo "Depends lacks libqt6svg6"; exit 1; }

# Errors fail; the remaining warnings are listed.
lintian_status=0
lintian --fail-on error "$deb" >"$run/lintian" 2>&1 || lintian_status=$?
grep -v -e '^N:' -e 'running with root privileges' "$run/lintian" || echo "lintian: no errors, no warnings"
[ "$lintian_status" -eq 0 ] || { echo "lintian reports errors"; exit 1; }

dpkg-query -W -f='${Package}\n' | sort >"$before"
purge() {
  apt_get purge verblinka >/dev/null
  dpkg-query -W -f='${Package}\n' | sort >"$after"
  local extra
  mapfile -t extra < <(comm -13 "$before" "$after")
  [ ${#extra[@]} -eq 0 ] || apt_get purge "${extra[@]}" >/dev/null
}
trap 'purge; rm -rf "$before" "$after" "$run"' EXIT
start=$(date +%s%N)
apt_get install --no-install-recommends "./$deb" >"$run/install.log" 2>&1 || { cat "$run/install.log"; exit 1; }
echo "installed in $(milliseconds_since "$start")"

metainfo=$(dpkg -L verblinka | grep '^/usr/share/metainfo/.*\.metainfo\.xml$')
appstreamcli validate --no-net "$metainfo"
desktop-file-validate /usr/share/applications/verblinka.desktop
for page in verblinka verblinka-lookup; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
  [ -z "$warnings" ] || { echo "man $page: $warnings"; exit 1; }
done

/usr/bin/verblinka-lookup --help >/dev/null
# The example of the manual page is what the installed tool prints.
zcat /usr/share/man/man1/verblinka-lookup.1.gz | awk '/^prints/ {p = 1} p && /^\.fi/ {exit} p == 2 {print} p && /^\.nf/ {p = 2}' >"$run/expected"
[ -s "$run/expected" ] || { echo "the example's output is missing from the manual page"; exit 1; }
/usr/bin/verblinka-lookup /usr/share/common-licenses/GPL-3 lisence fredom softwre >"$run/actual"
diff -u "$run/expected" "$run/actual"
# Same rows as the tool built beside the tests, on Cyrillic text.
/usr/bin/verblinka-lookup samples/help.txt праграма Хеминга >"$run/installed"
build-werror/verblinka-lookup samples/help.txt праграма Хеминга >"$run/built"
diff -u "$run/built" "$run/installed"

# The program as its desktop entry starts it, off screen and, where Xvfb is
# installed, on an X server: still running after two seconds (timeout's 124)
# means it started and did not crash.
read -ra command < <(sed -n 's/^Exec=//p' /usr/share/applications/verblinka.desktop)
start_program() {
  local status=0
  env -i PATH=/usr/bin:/bin HOME="$run" XDG_RUNTIME_DIR="$run" "$@" \
    timeout 2 "${command[@]}" >"$run/program.log" 2>&1 || status=$?
  if [ "$status" -ne 124 ]; then
    echo "the program ended with status $status within two seconds ($*):"
    cat "$run/program.log"
    exit 1
  fi
}
start_program QT_QPA_PLATFORM=offscreen
if command -v xvfb-run >/dev/null; then
  start_program QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp"
fi

start=$(date +%s%N)
trap 'rm -rf "$before" "$after" "$run"' EXIT
purge
echo "purged in $(milliseconds_since "$start")"
if [ -e /usr/bin/verblinka ] || [ -e /usr/share/doc/verblinka ]; then
  echo "files left after purge"
  exit 1
fi
dpkg-query -W -f='${Package}\n' | sort | cmp -s - "$before" || { echo "the installed packages changed"; exit 1; }
echo "package: ok"
