#!/usr/bin/env bash
# Files that fstat calls regular but that are not: one whose reads wait for
# data that never comes (as /proc/kmsg's do; the read shim FAULTY_READ makes a
# test file behave so) is refused at once as a non-file; /proc/self/pagemap,
# which hands out zeros for hundreds of gigabytes, shows the bytes read as
# they grow while the first pass runs.
set -uo pipefail
: "${LOOKUP:?path of verblinka-lookup}"
: "${SHIM:?path of the read shim libfaulty_read.so}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

check() { # name expected actual
  if [ "$2" != "$3" ]; then
    failures=$((failures + 1))
    printf 'FAIL %s\n  expected: %q\n  actual:   %q\n' "$1" "$2" "$3"
  fi
}

printf '%s' '<6>[ 0.0] Linux version' >"$work/kmsg"
for at in 0 5; do
  env LD_PRELOAD="$SHIM" FAULTY_READ_PATH="$work/kmsg" FAULTY_READ_AT=$at FAULTY_READ_WAIT=30000 \
    timeout 20 "$LOOKUP" "$work/kmsg" КОТ >"$work/out" 2>"$work/err"
  check "reads that wait from byte $at: status" 2 "$?"
  check "reads that wait from byte $at: message" "Cannot open file $work/kmsg." "$(cat "$work/err")"
  check "reads that wait from byte $at: no output" "" "$(cat "$work/out")"
done

# The progress line needs a terminal: script(1) gives the tool one.
if [ -r /proc/self/pagemap ] && command -v script >/dev/null; then
  timeout 8 script -qfec "$LOOKUP /proc/self/pagemap КОТ" "$work/typescript" </dev/null >/dev/null 2>&1
  shown=$(tr '\r' '\n' <"$work/typescript" | grep -c ' MiB read$')
  [ "$shown" -ge 2 ] || check "pagemap: the bytes read shown as they grow" ">= 2 lines" "$shown lines"
fi

[ "$failures" -eq 0 ] && echo "all checks passed"
exit "$((failures > 0))"
