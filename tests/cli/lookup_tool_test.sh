#!/usr/bin/env bash
# Runs verblinka-lookup as a user would: the worked cases, exit statuses,
# standard input, raw bytes and a large sorted dictionary.
set -uo pipefail
: "${LOOKUP:?path of verblinka-lookup}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
passed=0

check() { # name expected actual
  if [ "$2" == "$3" ]; then
    passed=$((passed + 1))
  else
    failures=$((failures + 1))
    printf 'FAIL %s\n  expected: %q\n  actual:   %q\n' "$1" "$2" "$3"
  fi
}

printf '%s' 'ПЕРЕПЕЛКАПЕРЕПЕЛКАПЕРЕПЕЛКА ПЕРЕПЕЛКАПЕРЕПЕЛКАПЕРЕПЕЛКИ КОТ ДОМ' >"$work/quail.txt"
printf '%s' 'АБВГДЕЖЗИКЛМНОПРСТУФ АБВГДЕЖЗИКЛМНОПРСТУХ ДОМ КОТ ПЁС' >"$work/clip.txt"
printf '%s' 'ГАБ ГЕ ЖЛК ЖРГ МРН Н НТУБН П РБ СИС ТНДВЖ УВ' >"$work/precision.txt"
printf '%s' 'КОТ ПЁС' >"$work/cat.txt"

check "identical codes" "$(printf '3\tПЕРЕПЕЛКАПЕРЕПЕЛКАПЕРЕПЕЛКА\t1')" \
  "$("$LOOKUP" "$work/quail.txt" ПЕРЕПЕЛКАПЕРЕПЕЛКАПЕРЕПЕЛКИ)"
check "clipping" "$(printf '1\tАБВГДЕЖЗИКЛМНОПРСТУФ\t1')" \
  "$("$LOOKUP" "$work/clip.txt" АБВГДЕЖЗИКЛМНОПРСТУХ)"
check "precision" "$(printf '10\tСИС\t3')" "$("$LOOKUP" "$work/precision.txt" О)"
check "worked example" "$(printf '1\tКОТ\t0')" "$("$LOOKUP" "$work/cat.txt" КОТ)"

explained=$("$LOOKUP" --explain "$work/precision.txt" О)
check "explain" "$(printf '# word "О": row 3 "ЖЛК", distance 3\n# variant 1 " О": row 10 "СИС", distance 3 (chosen)\n10\tСИС\t3')" "$explained"

# Words from standard input, one per line, CRLF tolerated.
check "stdin" "$(printf '1\tКОТ\t0\n2\tПЁС\t0')" "$(printf 'КОТ\r\nПЁС\n' | "$LOOKUP" "$work/cat.txt")"

# Raw Windows-1251 bytes in and out.
printf '\xca\xce\xd2 \xcf\xa8\xd1' >"$work/cat1251.txt"
check "raw" "$(printf '2\t\xcf\xa8\xd1\t0')" "$("$LOOKUP" --raw "$work/cat1251.txt" $'\xcf\xa8\xd1')"
check "1251 file, UTF-8 words" "$(printf '2\tПЁС\t3')" "$("$LOOKUP" "$work/cat1251.txt" пёс)"

# A refused word: its message on standard error, status 1, the others still answered.
out=$("$LOOKUP" "$work/cat.txt" КОТ "  " ПЁС 2>"$work/err"); status=$?
check "refused status" 1 "$status"
check "refused output" "$(printf '1\tКОТ\t0\n2\tПЁС\t0')" "$out"
check "refused message" "Ошибка: не введено слово для поиска" "$(cat "$work/err")"

# A dictionary that cannot be opened: the open failure, status 2.
"$LOOKUP" "$work/missing.txt" КОТ >/dev/null 2>"$work/err"; status=$?
check "missing status" 2 "$status"
check "missing message" "Cannot open file $work/missing.txt." "$(cat "$work/err")"
(cd "$work" && "$LOOKUP" missing.txt КОТ >/dev/null 2>"$work/err")
check "relative path named in full" "Cannot open file $work/missing.txt." "$(cat "$work/err")"
"$LOOKUP" "$work" КОТ >/dev/null 2>"$work/err"; status=$?
check "directory status" 2 "$status"
"$LOOKUP" >/dev/null 2>&1; check "no arguments" 2 "$?"
"$LOOKUP" --help >/dev/null; check "help" 0 "$?"
version=$("$LOOKUP" --version); status=$?
check "version status" 0 "$status"
check "version line" 1 "$(grep -cE '^verblinka-lookup [0-9]+\.[0-9]+\.[0-9]+$' <<<"$version")"

# 100,000 distinct words in ascending byte order load; no words, empty input.
awk 'BEGIN { for (i = 0; i < 100000; i++) printf "W%06d\n", i }' >"$work/sorted.txt"
"$LOOKUP" "$work/sorted.txt" </dev/null; check "sorted file loads" 0 "$?"

# Load progress goes only to a terminal: with standard error a file, nothing
# but the results; --quiet changes nothing else. A UTF-16 file with its mark
# reads as the same text.
"$LOOKUP" "$work/cat.txt" КОТ 2>"$work/err" >/dev/null
check "no progress off a terminal" "" "$(cat "$work/err")"
check "quiet" "$(printf '1\tКОТ\t0')" "$("$LOOKUP" --quiet "$work/cat.txt" КОТ 2>&1)"
if command -v iconv >/dev/null; then
  { printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE "$work/cat.txt"; } >"$work/cat16.txt"
  check "UTF-16" "$("$LOOKUP" "$work/cat.txt" ПЁС)" "$("$LOOKUP" "$work/cat16.txt" ПЁС)"
fi

echo "$passed passed, $failures failed"
[ "$failures" -eq 0 ]
