#!/usr/bin/env bash
# verblinka-lookup gives every recognition of a search the same row with the
# fast paths as with the literal ones (--reference), on a generated word list.
set -euo pipefail
: "${LOOKUP:?}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# About 1,500 distinct pseudo-words: stems with endings, in random order.
awk 'BEGIN {
  srand(4); split("б в г д ж з к л м н п р с т х ч ш", c, " ");
  split("а е и о у ы я ё", v, " "); split("- а ы е у ой ам ах ом ов ть ла ли ет", e, " ");
  for (i = 0; i < 600; i++) {
    stem = ""; n = 1 + int(rand() * 3);
    for (k = 0; k < n; k++) stem = stem c[1 + int(rand() * 17)] v[1 + int(rand() * 8)];
    for (f = 0; f < 3; f++) { end = e[1 + int(rand() * 15)]; if (end == "-") end = "";
      printf "%s%s%s", stem, end, (rand() < 0.1 ? ".\n" : " ") }
  } }' >"$work/words.txt"

queries=(кот малина " домов" бабушкаидедушкаибабушка ёжик)
"$LOOKUP" --explain "$work/words.txt" "${queries[@]}" >"$work/fast.txt"
"$LOOKUP" --explain --reference "$work/words.txt" "${queries[@]}" >"$work/plain.txt"
if ! diff -u "$work/plain.txt" "$work/fast.txt"; then
  echo "fast and literal recognitions differ" >&2
  exit 1
fi
lines=$(wc -l <"$work/fast.txt")
[ "$lines" -gt 40 ] || { echo "expected a line per recognition, got $lines" >&2; exit 1; }
