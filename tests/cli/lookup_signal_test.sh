#!/usr/bin/env bash
# An interrupt or a termination while verblinka-lookup shows «Loading the
# dictionary: N%» on a terminal erases that line before the program ends, and
# the program still ends by the signal. The terminal is a pseudo-terminal from
# script(1); the dictionary a sparse file of 64 GiB (almost no disk space),
# whose load lasts long enough for the line to appear and is cut short by the
# signal.
set -uo pipefail
: "${LOOKUP:?path of verblinka-lookup}"
if ! command -v script >/dev/null || ! env --default-signal=INT true 2>/dev/null; then
  echo "SKIP: needs script(1) and env --default-signal"
  exit 0
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# UTF-8 words first, enough to decide the encoding at once; then blanks.
awk 'BEGIN { for (i = 0; i < 70000; i++) printf "ж " }' >"$work/sparse.txt"
truncate -s 64G "$work/sparse.txt"
for signal in INT TERM; do
  rm -f "$work/pid" "$work/typescript"
  # A background job starts with SIGINT ignored, which the tool keeps: give
  # it the default action, as a shell's foreground job has it.
  LOOKUP=$LOOKUP DICTIONARY="$work/sparse.txt" PIDFILE="$work/pid" env --default-signal=INT \
    script -qfec 'echo $$ >"$PIDFILE"; exec "$LOOKUP" "$DICTIONARY" </dev/null' \
    "$work/typescript" </dev/null >/dev/null &
  session=$!
  shown=0
  for _ in $(seq 300); do
    if grep -q 'Loading the dictionary' "$work/typescript" 2>/dev/null; then
      shown=1
      break
    fi
    sleep 0.1
  done
  [ -s "$work/pid" ] && kill -"$signal" "$(cat "$work/pid")"
  wait "$session"
  status=$?
  [ "$shown" = 1 ] || fail "SIG$signal: no progress line within 30 s"
  number=$(kill -l "$signal")
  [ "$status" -eq $((128 + number)) ] || fail "SIG$signal: status $status, expected $((128 + number))"
  # After the last progress line, the erasing sequence, then nothing but the
  # typescript's closing line.
  after=$(LC_ALL=C sed -n 's/.*Loading the dictionary: [0-9]*%//p' "$work/typescript" | tail -n 1)
  [ "$after" = $'\r\e[K' ] ||
    fail "SIG$signal: after the progress line came $(printf %q "$after"), not the erasing sequence"
done

if [ "$failures" -ne 0 ]; then
  echo "$failures failed"
  exit 1
fi
echo "lookup signals: all passed"
