#!/usr/bin/env bash
# verblinka-lookup's lab options: a bad value is refused with its message and
# exit status 2 before any work (the dictionary named does not exist, so a
# refusal that came after the load would say so instead); the settings reach
# the lookups; an evaluation of a tiny list gives the counts worked out by hand.
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

refused() { # name expected-message-part arguments...
  local name=$1 part=$2
  shift 2
  local message
  message=$("$LOOKUP" "$@" "$work/missing.txt" 2>&1 >/dev/null)
  local status=$?
  check "$name: status" 2 "$status"
  case "$message" in
  *"$part"*) passed=$((passed + 1)) ;;
  *)
    failures=$((failures + 1))
    printf 'FAIL %s: message\n  expected a part: %s\n  actual: %s\n' "$name" "$part" "$message"
    ;;
  esac
}

printf 'А 1100000\n' >"$work/short.txt"
printf 'А 11000000\nа 11000001\n' >"$work/twice.txt"
refused "negative clip level" "--max-output needs a number above 0, not '-5'" --max-output -5
refused "clip level not a number" "not 'abc'" --max-output abc
refused "infinite clip level" "not 'inf'" --max-output inf
refused "negative factor" "--epsilon-factor needs a number of at least 0" --epsilon-factor -0.1
refused "negative pass limit" "--max-iterations needs a whole number from 0 to 1000, not '-1'" \
  --max-iterations -1
refused "fractional pass limit" "not '2.5'" --max-iterations 2.5
refused "no misspellings" "--evaluate needs a whole number from 1" --evaluate 0
refused "seed too large" "--seed needs a whole number" --evaluate 3 --seed 4294967296
refused "unknown configuration" "unknown configuration 'worst' (there are program," --config worst
refused "unknown code" "«$work/nope»" --code "$work/nope"
refused "short table" "строка 1: нужно 8 двоичных цифр, а их 7" --code "$work/short.txt"
refused "letter twice" "строка 2: буква «А» уже задана в строке 1" --code "$work/twice.txt"
refused "missing pairs" "pairs-missing" --pairs "$work/pairs-missing.txt"
check "value missing" "verblinka-lookup: --config needs a value" \
  "$("$LOOKUP" "$work/missing.txt" --config 2>&1 | head -n 1)"
refused "several configurations for lookups" "only with --evaluate" --config program --config best

# The clip level at work: two entries agree with the query in all but one
# letter's bits, clipped they tie and the lower row wins; unclipped the
# entry itself does.
printf '%s' 'АБВГДЕЖЗИКЛМНОПРСТУФ АБВГДЕЖЗИКЛМНОПРСТУХ ДОМ КОТ ПЁС' >"$work/clip.txt"
check "clipped" "$(printf '1\tАБВГДЕЖЗИКЛМНОПРСТУФ\t1')" \
  "$("$LOOKUP" "$work/clip.txt" АБВГДЕЖЗИКЛМНОПРСТУХ)"
check "unclipped" "$(printf '2\tАБВГДЕЖЗИКЛМНОПРСТУХ\t0')" \
  "$("$LOOKUP" --max-output 1000 "$work/clip.txt" АБВГДЕЖЗИКЛМНОПРСТУХ)"
check "best" "$(printf '2\tАБВГДЕЖЗИКЛМНОПРСТУХ\t0')" \
  "$("$LOOKUP" --config best "$work/clip.txt" АБВГДЕЖЗИКЛМНОПРСТУХ)"

# Rows: 0 the empty entry, 1 ZEBRA, 2 КОРОВА, 3 ЯБЛОКО. The pairs: a
# neighbouring key and a missing letter found, another entry typed exactly
# (missed), a word the dictionary lacks (missed), the word itself (found).
printf '%s' 'корова ZEBRA яблоко' >"$work/tiny.txt"
printf 'коровы\tкорова\nяблко\tЯБЛОКО\n\nzebra\tкорова\nлошадь\tлошадь\r\nкорова\tкорова\n' \
  >"$work/pairs.txt"
table=$("$LOOKUP" --pairs "$work/pairs.txt" --config program --config best "$work/tiny.txt")
check "table status" 0 $?
check "table" "первое попадание, %   пары    все  медиана, мс
program               60.0   60.0
best                  60.0   60.0" "$(printf '%s\n' "$table" | sed 's/  *[0-9.]*$//')"
json=$("$LOOKUP" --json --evaluate 4 --seed 9 --pairs "$work/pairs.txt" --config pairs \
  --max-iterations 7 "$work/tiny.txt")
check "json lines" 7 "$(printf '%s\n' "$json" | wc -l)"
check "json given" '"config":"pairs (100, 0.5, 7)","code":"pairs","max_output":100,"epsilon_factor":0.5,"max_iterations":7,"kind":"given","title":"пары","hits":3,"total":5' \
  "$(printf '%s\n' "$json" | grep '"given"' | sed 's/^{//; s/,"first_hit.*//')"
check "json kinds of 4" 5 "$(printf '%s\n' "$json" | grep -c '"total":4,')"
again=$("$LOOKUP" --json --evaluate 4 --seed 9 --pairs "$work/pairs.txt" --config pairs \
  --max-iterations 7 "$work/tiny.txt")
check "same seed, same counts" "$(printf '%s\n' "$json" | sed 's/,"median_ms.*//')" \
  "$(printf '%s\n' "$again" | sed 's/,"median_ms.*//')"
"$LOOKUP" --evaluate 2 "$work/tiny.txt" word >/dev/null 2>&1
check "evaluation with words" 2 $?

echo "lookup lab: $passed passed, $failures failed"
[ "$failures" -eq 0 ]
