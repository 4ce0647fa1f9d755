#!/usr/bin/env python3
"""Builds the keyboard code's table (text/KeyboardCode.txt): an 8-bit code
for every capital letter of the Russian (ЙЦУКЕН) and Latin (QWERTY) layouts,
chosen so that keys lying side by side differ in few bits.

The search is simulated annealing over distinct codes: it starts from the
letters' own Windows-1251 bytes, and each step either swaps the codes of two
letters or gives one letter a code nobody holds. The codes come from the
pool that no other upper-cased byte uses (the letters' own bytes and their
small letters' bytes), so the code of every byte stays one-to-one. The cost
is the sum of the bit distances over the neighbouring keys. Seeded: the same
seed gives the same table.

  python3 scripts/keyboard-code.py [--seed N] > text/KeyboardCode.txt
"""
import math
import random
import sys

# Rows of letter keys, top to bottom; a key of a lower row touches the key
# above it and the one above and to the right (the rows are staggered).
RUSSIAN = ["ЙЦУКЕНГШЩЗХЪ", "ФЫВАПРОЛДЖЭ", "ЯЧСМИТЬБЮ"]
LATIN = ["QWERTYUIOP", "ASDFGHJKL", "ZXCVBNM"]
EXTRA = [("Ё", "Й")]  # Ё sits above the first letter row's left end


def neighbour_pairs():
    pairs = set()
    for rows in (RUSSIAN, LATIN):
        for r, row in enumerate(rows):
            for i, key in enumerate(row):
                if i + 1 < len(row):
                    pairs.add(frozenset((key, row[i + 1])))
                if r > 0:
                    above = rows[r - 1]
                    for j in (i, i + 1):
                        if j < len(above):
                            pairs.add(frozenset((key, above[j])))
    for a, b in EXTRA:
        pairs.add(frozenset((a, b)))
    return sorted(tuple(sorted(p)) for p in pairs)


def byte_of(letter):
    return letter.encode("cp1251")[0]


def upper_byte(b):
    ch = bytes([b]).decode("cp1251", errors="replace")
    if len(ch) == 1 and ch.upper() != ch and len(ch.upper()) == 1:
        try:
            return ch.upper().encode("cp1251")[0]
        except UnicodeEncodeError:
            return b
    return b


def main():
    seed = 1
    if len(sys.argv) == 3 and sys.argv[1] == "--seed":
        seed = int(sys.argv[2])
    rnd = random.Random(seed)
    letters = sorted({c for rows in (RUSSIAN, LATIN) for row in rows for c in row} | {"Ё"},
                     key=byte_of)
    mine = {byte_of(c) for c in letters}
    used_by_others = {upper_byte(b) for b in range(256)} - mine
    pool = [b for b in range(256) if b not in used_by_others]
    pairs = neighbour_pairs()
    index = {c: i for i, c in enumerate(letters)}
    edges = [(index[a], index[b]) for a, b in pairs]
    by_letter = [[] for _ in letters]
    for a, b in edges:
        by_letter[a].append(b)
        by_letter[b].append(a)

    code = [byte_of(c) for c in letters]
    free = [b for b in pool if b not in set(code)]

    def local(i, value):
        return sum(bin(value ^ code[j]).count("1") for j in by_letter[i] if j != i)

    cost = sum(bin(code[a] ^ code[b]).count("1") for a, b in edges)
    start_cost = cost
    steps = 400000
    t0, t1 = 2.0, 0.02
    best, best_cost = list(code), cost
    for step in range(steps):
        t = t0 * (t1 / t0) ** (step / steps)
        i = rnd.randrange(len(letters))
        if rnd.random() < 0.5:
            j = rnd.randrange(len(letters))
            if i == j:
                continue
            before = local(i, code[i]) + local(j, code[j])
            code[i], code[j] = code[j], code[i]
            after = local(i, code[i]) + local(j, code[j])
            delta = after - before
            if delta <= 0 or rnd.random() < math.exp(-delta / t):
                cost += delta
            else:
                code[i], code[j] = code[j], code[i]
        else:
            k = rnd.randrange(len(free))
            delta = local(i, free[k]) - local(i, code[i])
            if delta <= 0 or rnd.random() < math.exp(-delta / t):
                code[i], free[k] = free[k], code[i]
                cost += delta
        if cost < best_cost:
            best, best_cost = list(code), cost
    code = best
    assert len(set(code)) == len(code) and all(c in pool for c in code)

    print("# The keyboard code: 8 bits for each capital letter of the ЙЦУКЕН and QWERTY")
    print("# layouts (most significant bit first), such that keys lying side by side")
    print("# differ in few bits. Made by scripts/keyboard-code.py --seed %d (simulated" % seed)
    print("# annealing over distinct codes that no other byte uses): %d neighbouring" % len(edges))
    print("# pairs of keys differ in %d bits in all (%.2f each; the letters' own" %
          (best_cost, best_cost / len(edges)))
    print("# bytes: %d, %.2f each). Every other byte keeps its own bits." %
          (start_cost, start_cost / len(edges)))
    print("# The same form serves for a code of one's own: a letter, then 8 binary digits.")
    for c, value in zip(letters, code):
        print("%s %s" % (c, format(value, "08b")))


if __name__ == "__main__":
    main()
