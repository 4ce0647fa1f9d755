#!/usr/bin/env bash
# verblinka-lookup driven as a careless or hostile user would: output that
# cannot be written, dictionaries that are no regular files or have an empty
# or overlong name, words in Windows-1251 or made of characters the code page
# lacks, and entries holding control characters.
set -uo pipefail
: "${LOOKUP:?path of verblinka-lookup}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

check() { # name expected actual
  if [ "$2" != "$3" ]; then
    failures=$((failures + 1))
    printf 'FAIL %s\n  expected: %q\n  actual:   %q\n' "$1" "$2" "$3"
  fi
}

printf '%s' 'КОТ ПЁС' >"$work/cat.txt"

# A failed write is a failure: status 3, a message, and no long batch run on.
"$LOOKUP" "$work/cat.txt" КОТ >/dev/full 2>"$work/err"
check "full disk: status" 3 "$?"
check "full disk: message" "verblinka-lookup: cannot write the output: No space left on device" \
  "$(cat "$work/err")"
"$LOOKUP" "$work/cat.txt" КОТ >&- 2>/dev/null
check "closed output: status" 3 "$?"
"$LOOKUP" --help >/dev/full 2>/dev/null
check "help to a full disk: status" 3 "$?"
yes КОТ | head -n 200000 >"$work/batch.txt"
start=$SECONDS
"$LOOKUP" "$work/cat.txt" <"$work/batch.txt" >/dev/full 2>/dev/null
check "batch to a full disk: status" 3 "$?"
[ $((SECONDS - start)) -lt 20 ] || check "batch to a full disk stops at once" "<20 s" "$((SECONDS - start)) s"
status=$( (trap '' PIPE; "$LOOKUP" "$work/cat.txt" <"$work/batch.txt" 2>/dev/null | head -n 1 >/dev/null
  echo "${PIPESTATUS[0]}") )
check "reader gone, SIGPIPE ignored: status" 3 "$status"
"$LOOKUP" --help >/dev/full 2>"$work/err"
check "help to a full disk: message" "verblinka-lookup: cannot write the output: No space left on device" \
  "$(cat "$work/err")"

# A failed read of standard input is no empty input: status 3 and the reason.
"$LOOKUP" "$work/cat.txt" </ >"$work/out" 2>"$work/err"
check "input a directory: status" 3 "$?"
check "input a directory: message" "verblinka-lookup: cannot read standard input: Is a directory" \
  "$(cat "$work/err")"
"$LOOKUP" "$work/cat.txt" <&- >"$work/out" 2>"$work/err"
check "closed input: status" 3 "$?"
check "closed input: message" "verblinka-lookup: cannot read standard input: Bad file descriptor" \
  "$(cat "$work/err")"
check "closed input: output" "" "$(cat "$work/out")"
check "closed input, words given" "$(printf '1\tКОТ\t0')" "$("$LOOKUP" "$work/cat.txt" КОТ <&-)"
check "last line without its end" "$(printf '1\tКОТ\t0\n2\tПЁС\t0')" \
  "$(printf 'КОТ\nПЁС' | "$LOOKUP" "$work/cat.txt")"

# Only a regular file is a dictionary: a FIFO without a writer is refused at once.
mkfifo "$work/fifo"
timeout 10 "$LOOKUP" "$work/fifo" КОТ >/dev/null 2>"$work/err"
check "FIFO: status" 2 "$?"
check "FIFO: message" "Cannot open file $work/fifo." "$(cat "$work/err")"

# An empty dictionary argument is a file that cannot be opened, not a gap.
"$LOOKUP" "" КОТ >/dev/null 2>"$work/err"
check "empty name: status" 2 "$?"
check "empty name: message" "Cannot open file " "$(cat "$work/err")"
echo КОТ | "$LOOKUP" "" "$work/cat.txt" >/dev/null 2>&1
check "empty name, then a file: status" 2 "$?"

# A file whose full path is longer than the system takes opens by its relative name.
deep=$(
  cd "$work" || exit
  part=$(printf 'd%.0s' $(seq 200))
  for _ in $(seq 25); do mkdir "$part" && cd "$part" || exit; done
  printf '%s' 'КОТ ПЁС' >cat.txt
  "$LOOKUP" cat.txt ПЁС
)
check "path beyond PATH_MAX" "$(printf '2\tПЁС\t0')" "$deep"

# Words as the file reader takes text: valid UTF-8 is converted, anything else
# is Windows-1251 bytes, as an argument and as a line.
check "Windows-1251 line" "$(printf '1\tКОТ\t0\n2\tПЁС\t3')" \
  "$(printf 'КОТ\nпёс\n' | iconv -f UTF-8 -t CP1251 | "$LOOKUP" "$work/cat.txt")"
check "Windows-1251 argument" "$(printf '2\tПЁС\t0')" \
  "$("$LOOKUP" "$work/cat.txt" "$(printf 'ПЁС' | iconv -f UTF-8 -t CP1251)")"

# Windows-1251 text that begins «яю» or «юя», the bytes of a UTF-16
# byte-order mark: no word is lost.
for first in яю юя; do
  printf '%s кот пёс' "$first" | iconv -f UTF-8 -t CP1251 >"$work/mark.txt"
  check "Windows-1251 beginning «$first»" "$(printf '3\t%s\t0\n1\tКОТ\t0' "${first^^}")" \
    "$("$LOOKUP" "$work/mark.txt" "${first^^}" КОТ)"
done

# A character that Windows-1251 lacks is a character: such words are looked up
# (and found among entries made of them); a typed control character is blank.
printf '%s' 'λόγος ✓ КОТ' >"$work/foreign.txt"
check "characters the code page lacks" "$(printf '2\t\\x1A\\x1A\\x1A\\x1A\\x1A\t0\n1\t\\x1A\t0\n1\t\\x1A\t0')" \
  "$("$LOOKUP" "$work/foreign.txt" λόγος ✓ 中 2>&1)"
"$LOOKUP" "$work/foreign.txt" $'\x1a' " "$'\x1a' >/dev/null 2>"$work/err"
check "typed control character: status" 1 "$?"
check "typed control character: message" "$(printf 'Ошибка: не введено слово для поиска\nОшибка: не введено слово для поиска')" \
  "$(cat "$work/err")"
"$LOOKUP" --raw "$work/foreign.txt" $'\x1a' >/dev/null 2>&1
check "raw control character: status" 1 "$?"

# Control characters in entries and echoed words are written visibly; --raw
# writes the bytes.
printf 'a\tb c\033[2Jd x\\y' >"$work/control.txt"
check "escaped entries" "$(printf '1\tA\\tB\t2\n2\tC\\x1B[2JD\t0\n3\tX\\\\Y\t0')" \
  "$("$LOOKUP" "$work/control.txt" $'a\tb' $'C\e[2JD' 'X\Y')"
printf 'del\177 \230x' >"$work/del.txt"
check "DEL and 0x98 escaped" "$(printf '1\tDEL\\x7F\t0\n2\t\\x98X\t0')" \
  "$("$LOOKUP" "$work/del.txt" $'DEL\x7f' $'\xc2\x98X')"
check "escaped explain" "$(printf '# word "C\\x1B": row 2 "C\\x1B[2JD", distance 4 (chosen)')" \
  "$("$LOOKUP" --explain "$work/control.txt" $'C\e' | head -n 1)"
check "raw entries" "$(printf '1\tA\tB\t0')" "$("$LOOKUP" --raw "$work/control.txt" $'A\tB')"
"$LOOKUP" --help | grep -- '^  --  ' >/dev/null || check "help names --" "found" "missing"

if [ "$failures" -ne 0 ]; then
  echo "$failures failed"
  exit 1
fi
echo "lookup hostile input: all passed"
