#!/usr/bin/env python3
"""An independent model of the whole lookup in exact rational arithmetic.

Every operation of the network is computed exactly and then rounded by hand,
first to a 64-bit significand and then to double, both to nearest with ties
to even. Random small dictionaries and queries are run through this model and
through verblinka-lookup --raw; every selected row and distance must agree.
Usage: exact_reference.py LOOKUP [CASES] [SEED]
"""
import math
import random
import subprocess
import sys
import tempfile
from fractions import Fraction

DELIMITERS = set(b'\x00 ,.-!?\r\n"\'():;')
UPPER = {c: c for c in range(256)}
UPPER.update({c: c - 0x20 for c in range(0x61, 0x7B)})
UPPER.update({c: c - 0x20 for c in range(0xE0, 0x100)})
UPPER.update({0x90: 0x80, 0x83: 0x81, 0x9A: 0x8A, 0x9C: 0x8C, 0x9D: 0x8D, 0x9E: 0x8E,
              0x9F: 0x8F, 0xA2: 0xA1, 0xBC: 0xA3, 0xB4: 0xA5, 0xB8: 0xA8, 0xBA: 0xAA,
              0xBF: 0xAF, 0xB3: 0xB2, 0xBE: 0xBD})


def round_to(x, digits):
    if x == 0:
        return Fraction(0)
    sign = -1 if x < 0 else 1
    x = abs(x)
    e = x.numerator.bit_length() - x.denominator.bit_length()
    while Fraction(2) ** e > x:
        e -= 1
    while Fraction(2) ** (e + 1) <= x:
        e += 1
    e = max(e, -1022)  # doubles below 2^-1022 share the subnormal grid
    ulp = Fraction(2) ** (e - digits + 1)
    q = x / ulp
    whole = math.floor(q)
    rest = q - whole
    if rest > Fraction(1, 2) or (rest == Fraction(1, 2) and whole % 2 == 1):
        whole += 1
    return sign * whole * ulp


def ext(x):
    return round_to(x, 64)


def store(x):
    return round_to(round_to(x, 64), 53)


def code(word):
    result = [0] * 160
    for k, byte in enumerate(word[:20]):
        byte = UPPER[byte]
        for bit in range(8):
            result[k * 8 + bit] = 1 if (byte >> bit) & 1 else -1
    return result


def recognize(rows, word_code, max_iterations=5):
    m = len(rows)
    if m == 0:
        return 0
    epsilon = store(Fraction(1, 2) / m)
    similarity = []
    for row in rows:
        acc = Fraction(0)
        for x, w in zip(word_code, row):
            acc = store(acc + ext(Fraction(x * w)))
        similarity.append(store(ext(acc + 160) / 2))
    winner, passes = 0, 0
    while True:
        activity = []
        for j in range(m):
            acc = Fraction(0)
            for k in range(m):
                if k != j:
                    acc = store(acc + similarity[k])
            value = store(similarity[j] - ext(acc * epsilon))
            activity.append(Fraction(100) if value > 100 else (value if value >= 0 else Fraction(0)))
        if activity == similarity:
            return winner
        similarity = activity
        winner = max(range(m), key=lambda i: (activity[i], -i))
        if passes > max_iterations:
            return winner
        passes += 1


def words_of(data):
    words, current = [], bytearray()
    for byte in data:
        if byte in DELIMITERS:
            if current:
                words.append(bytes(current))
                current = bytearray()
        else:
            current.append(byte)
    if current:
        words.append(bytes(current))
    return words


def distance(a, b):
    return abs(len(a) - len(b)) + sum(1 for x, y in zip(a, b) if x != y)


def lookup(data, query):
    entries = sorted({bytes(UPPER[c] for c in w) for w in words_of(data)} | {b''})
    rows = [code(e) for e in entries]
    row = recognize(rows, code(query))
    best, best_row = distance(query, entries[row]), row
    for p in range(len(query)):
        variant = query[:p] + b' ' + query[p:]
        row = recognize(rows, code(variant))
        d = distance(variant, entries[row])
        if d <= best:
            best, best_row = d, row
    return best_row, entries[best_row], best


def random_word(rng, alphabet):
    return bytes(rng.choice(alphabet) for _ in range(rng.choice([1, 1, 2, 3, 3, 4, 5, 8, 21])))


def main():
    tool = sys.argv[1]
    cases = int(sys.argv[2]) if len(sys.argv) > 2 else 40
    rng = random.Random(int(sys.argv[3]) if len(sys.argv) > 3 else 1251)
    alphabets = [list(range(0xC0, 0xC8)), list(range(0xC0, 0xE0)) + [0xA8, 0xB8], list(b'ABab09')]
    failures = 0
    for case in range(cases):
        alphabet = rng.choice(alphabets)
        words = [random_word(rng, alphabet) for _ in range(rng.randint(1, 14))]
        data = b' '.join(words)
        queries = [random_word(rng, alphabet) for _ in range(3)] + [rng.choice(words)]
        with tempfile.NamedTemporaryFile(suffix='.txt') as handle:
            handle.write(data)
            handle.flush()
            result = subprocess.run([tool, '--raw', handle.name, *queries], capture_output=True,
                                    check=True).stdout.split(b'\n')
        for query, line in zip(queries, result):
            row, entry, dist = lookup(data, query)
            expected = b'%d\t%s\t%d' % (row, entry, dist)
            if line != expected:
                failures += 1
                print('FAIL', data, query, line, expected)
    print('%d passed, %d failed' % (cases * 4 - failures, failures))
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
