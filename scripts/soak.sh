#!/usr/bin/env bash
# Huge and hostile dictionaries through verblinka-lookup, each measured with
# /usr/bin/time -v: elapsed time and peak memory. Not part of CI (it writes
# about 1.3 GB of files and takes minutes); run it by hand:
#   scripts/soak.sh [CASE ...]        (default: every case; SOAK_DIR, SOAK_TIMEOUT)
# Cases: binary nodelim gigabyte ascending descending longwords query30k
#        search-gigabyte search-ascending
# Each case loads a generated file and, where it says so, looks words up; a
# case fails when the tool crashes, exits non-zero or runs past SOAK_TIMEOUT.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${SOAK_DIR:-build-soak}
limit=${SOAK_TIMEOUT:-1800}
mkdir -p "$dir"
bash scripts/build.sh >/dev/null
lookup=$PWD/build/verblinka-lookup

generate() { # NAME: writes $dir/NAME once
  local name=$1
  [ -s "$dir/$name" ] && return 0
  python3 - "$dir/$name" "$name" <<'PY'
import random, sys
path, name = sys.argv[1], sys.argv[2]
rnd = random.Random(20261208)
cyr = 'абвгдеёжзийклмнопрстуфхцчшщъыьэюя'
def word(n):
    return ''.join(rnd.choice(cyr) for _ in range(n))
with open(path, 'wb') as out:
    if name == 'binary.bin':          # 16 MB of random bytes
        out.write(rnd.randbytes(16 << 20))
    elif name == 'nodelim.txt':       # one word of 16 MB, no delimiter at all
        out.write(b'\xe6' * (16 << 20))
    elif name == 'gigabyte.txt':      # 1 GiB of UTF-8 text over 200,000 words
        vocabulary = list({word(rnd.randint(2, 14)) for _ in range(200_000)})
        block = ' '.join(rnd.choice(vocabulary) for _ in range(4_000_000)).encode() + b'\n'
        written = 0
        while written < (1 << 30):
            piece = block[: (1 << 30) - written]
            out.write(piece)
            written += len(piece)
    elif name in ('ascending.txt', 'descending.txt'):  # 1,000,000 distinct words
        words = sorted('w%07d' % (i * 7919 % 1_000_003) for i in range(1_000_000))
        if name == 'descending.txt':
            words.reverse()
        out.write(('\n'.join(words) + '\n').encode())
    elif name == 'longwords.txt':     # 1,000 distinct words of 100,000 bytes
        stem = word(99_990).encode('cp1251')
        for i in range(1000):
            out.write(stem + b'%010d\n' % i)
    elif name == 'query30k.txt':      # one line: a pasted text of 30,000 characters
        out.write((' '.join(word(rnd.randint(1, 12)) for _ in range(5000))[:30_000]).encode())
PY
}

results=()
measure() { # LABEL FILE [WORD...]: runs the tool, records time and peak memory
  local label=$1 file=$2
  shift 2
  local log="$dir/$label.time"
  local status=0
  timeout "$limit" /usr/bin/time -v "$lookup" "$file" "$@" </dev/null >"$dir/$label.out" \
    2>"$log" || status=$?
  local seconds rss cpu
  seconds=$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$log")
  rss=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$log")
  cpu=$(awk -F': ' '/User time|System time/ { t += $2 } END { printf "%.2f", t }' "$log")
  results+=("$(printf '%-36s %9s %9s s %7s MB  exit %s' "$label" "${seconds:-timeout}" "$cpu" \
    "$((${rss:-0} / 1024))" "$status")")
  echo "${results[-1]}"
  [ "$status" -eq 0 ] || { tail -n 5 "$dir/$label.out" "$log"; return 1; }
}

cases=("$@")
[ ${#cases[@]} -gt 0 ] || cases=(binary nodelim gigabyte ascending descending longwords query30k \
  search-gigabyte search-ascending)
failed=0
for c in "${cases[@]}"; do
  case $c in
  binary) generate binary.bin
    measure "binary 16 MB, load" "$dir/binary.bin" || failed=1 ;;
  nodelim) generate nodelim.txt
    measure "no delimiter, 16 MB word, search" "$dir/nodelim.txt" жжж || failed=1 ;;
  gigabyte) generate gigabyte.txt
    measure "1 GiB UTF-8 text, load" "$dir/gigabyte.txt" || failed=1 ;;
  ascending) generate ascending.txt
    measure "1,000,000 ascending, load" "$dir/ascending.txt" || failed=1 ;;
  descending) generate descending.txt
    measure "1,000,000 descending, load" "$dir/descending.txt" || failed=1 ;;
  longwords) generate longwords.txt
    measure "1,000 words of 100 KB, search" "$dir/longwords.txt" слово || failed=1 ;;
  query30k) generate query30k.txt; generate longwords.txt
    measure "30,000-char query, 1,000 long words" "$dir/longwords.txt" \
      "$(cat "$dir/query30k.txt")" || failed=1 ;;
  # Searches over the big dictionaries: fast only with the fast recognition.
  search-gigabyte) generate gigabyte.txt
    measure "1 GiB UTF-8 text, 2 searches" "$dir/gigabyte.txt" привет ёж || failed=1 ;;
  search-ascending) generate ascending.txt; generate query30k.txt
    measure "1,000,000 words, 8 letters + 30k query" "$dir/ascending.txt" w0012345 \
      "$(cat "$dir/query30k.txt")" || failed=1 ;;
  *) echo "unknown case $c" >&2; exit 2 ;;
  esac
done
echo
echo "case                                   elapsed  CPU (user+sys)  peak RSS"
printf '%s\n' "${results[@]}"
exit "$failed"
