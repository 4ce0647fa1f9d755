#!/usr/bin/env bash
# verblinka-lookup when its dictionary cannot be loaded or does not fit in
# memory: a clear message and exit status 2. (A read that fails part-way is
# checked through the window, tests/ui/LoadFailureTest.cpp, and at every
# offset by the load's own tests.)
# Needs LOOKUP (the tool); skips the memory case when SANITIZED=1 (sanitizers
# need vast address space).
set -uo pipefail

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

dir=$(mktemp -d)
chmod 755 "$dir"
trap 'rm -rf "$dir"' EXIT

# expect_load_error EXPECTED_MESSAGE COMMAND...: exit 2, the message alone on
# standard error, nothing on standard output.
expect_load_error() {
  local expected=$1
  shift
  local out err status
  out=$("$@" 2>"$dir/stderr" </dev/null)
  status=$?
  err=$(cat "$dir/stderr")
  [ "$status" -eq 2 ] || fail "$*: exit status $status, expected 2"
  [ "$err" = "$expected" ] || fail "$*: said '$err', expected '$expected'"
  [ -z "$out" ] || fail "$*: printed '$out'"
}

expect_load_error "Cannot open file $dir/missing.txt." "$LOOKUP" "$dir/missing.txt" кот
expect_load_error "Cannot open file $dir/missing.txt." \
  bash -c 'cd "$1" && "$2" missing.txt кот' _ "$dir" "$LOOKUP"
mkdir "$dir/folder"
expect_load_error "Cannot open file $dir/folder." "$LOOKUP" "$dir/folder" кот

printf 'кот пёс\n' >"$dir/locked.txt"
chmod 000 "$dir/locked.txt"
if [ "$(id -u)" -ne 0 ]; then
  expect_load_error "Cannot open file $dir/locked.txt." "$LOOKUP" "$dir/locked.txt" кот
elif setpriv --reuid=65534 --regid=65534 --clear-groups "$LOOKUP" --help >/dev/null 2>&1; then
  expect_load_error "Cannot open file $dir/locked.txt." \
    setpriv --reuid=65534 --regid=65534 --clear-groups "$LOOKUP" "$dir/locked.txt" кот
else
  echo "SKIP: no read permission: root cannot run the tool as another user here"
fi

if [ "${SANITIZED:-0}" = 1 ]; then
  echo "SKIP: running out of memory: the sanitizers need more address space than the limit"
else
  # A million distinct words do not fit in 48 MB of address space.
  awk 'BEGIN { for (i = 0; i < 1000000; i++) printf "w%d\n", (i * 7919) % 1000003 }' \
    >"$dir/big.txt"
  expect_load_error "Недостаточно памяти для словаря." \
    bash -c 'ulimit -v 48000 && exec "$@"' _ "$LOOKUP" "$dir/big.txt"
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures failed"
  exit 1
fi
echo "lookup failures: all passed"
