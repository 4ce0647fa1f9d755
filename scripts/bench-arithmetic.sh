#!/usr/bin/env bash
# Times Recognize at M = 100,000 with x87 arithmetic and with the emulation
# forced, on the same generated words (CPU time, so a busy machine distorts it
# less), and says whether both gave every value of every pass bit for bit.
# Arguments go to verblinka-bench-arithmetic (--rows M, --repetitions R).
#   bash scripts/bench-arithmetic.sh
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh --ci
# Presets bench (x87) and bench-emulated, into build-bench/ and build-bench-emulated/.
cmake --preset bench >/dev/null
cmake --build --preset bench-arithmetic >/dev/null
cmake --preset bench-emulated >/dev/null
cmake --build --preset bench-emulated >/dev/null
dir_of() { if [ "$1" = x87 ]; then echo build-bench; else echo build-bench-emulated; fi; }
# Three rounds, the two builds taking turns; each keeps its best median.
for round in 1 2 3; do
  for arithmetic in x87 emulated; do
    "$(dir_of $arithmetic)/bench/verblinka-bench-arithmetic" "$@" >"$(dir_of $arithmetic)/round-$round.txt"
  done
done
best() { grep -h '^Recognize' "$(dir_of "$1")"/round-*.txt | sed 's/.*median \([0-9.]*\) ms.*/\1/' | sort -g | head -n1; }
hashes() { grep -h '^hash' "$(dir_of "$1")"/round-*.txt | sort -u; }
sed -n '2p' build-bench/round-1.txt
x87=$(best x87)
emulated=$(best emulated)
echo "Recognize with x87:       $x87 ms"
echo "Recognize with emulation: $emulated ms"
awk -v a="$emulated" -v b="$x87" 'BEGIN { printf "ratio emulated / x87:     %.2f\n", a / b }'
if [ "$(hashes x87)" = "$(hashes emulated)" ] && [ "$(hashes x87 | wc -l)" -eq 1 ]; then
  echo "every value of every pass: identical ($(hashes x87 | sed 's/.*: //'))"
else
  echo "every value of every pass: DIFFERENT" >&2
  hashes x87 >&2
  hashes emulated >&2
  exit 1
fi
