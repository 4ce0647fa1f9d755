#!/usr/bin/env python3
"""verblinka-lookup over whole sets of hostile characters: every byte in
entries and in echoed words (text lines, --explain, --json), every control
character in arguments echoed on standard error, every Unicode space that
becomes a blank and its neighbours, and words decided as the file reader
decides them. The sets are held here as data, not taken from the code."""
import json
import os
import re
import subprocess
import sys
import tempfile

lookup = sys.argv[1]
failures = []


def check(name, condition):
    if not condition:
        failures.append(name)


def run(*args):
    return subprocess.run([lookup, *args], capture_output=True)


DELIMITERS = set(b'\x00 ,.-!?\r\n"\'():;')
# Bytes written as \xHH in text lines: the C0 controls without the three
# named ones, DEL, and 0x98 (U+0098, a C1 control).
HEX_ESCAPED = (set(range(0x01, 0x20)) - {0x09, 0x0A, 0x0D}) | {0x7F, 0x98}
NAMED = {0x09: "\\t", 0x0A: "\\n", 0x0D: "\\r", 0x5C: "\\\\"}
# Unicode's White_Space characters that Windows-1251 lacks: each becomes a blank.
SPACES = {0x0085, 0x1680, *range(0x2000, 0x200B), 0x2028, 0x2029, 0x202F, 0x205F, 0x3000}


def unicode_of(byte):
    return "\u0098" if byte == 0x98 else bytes([byte]).decode("cp1251")


def shown(data):
    """An entry or word as the text lines must show it."""
    out = []
    for byte in data:
        if byte in NAMED:
            out.append(NAMED[byte])
        elif byte in HEX_ESCAPED:
            out.append("\\x%02X" % byte)
        else:
            out.append(unicode_of(byte))
    return "".join(out)


def no_controls(raw, name, separators="\n"):
    """Valid UTF-8 with no C0 control but the separators, no DEL, no C1 control."""
    try:
        text = raw.decode("utf-8")
    except UnicodeDecodeError:
        check(f"{name}: not UTF-8", False)
        return
    bad = [c for c in text if (ord(c) < 0x20 and c not in separators) or 0x7F <= ord(c) <= 0x9F]
    check(f"{name}: raw control characters {sorted(set(map(ord, bad)))}", not bad)


with tempfile.TemporaryDirectory() as work:
    # Every byte but the delimiters, inside a word, in an entry and a query.
    values = [b for b in range(1, 256) if b not in DELIMITERS]
    words = [b"Z" + bytes([b]) + b"Z" for b in values]
    path = os.path.join(work, "bytes.txt")
    with open(path, "wb") as f:
        f.write(b"\n".join(words))
    raw = run("--raw", path, *words)
    text = run(path, *words)
    explained = run("--explain", path, *words)
    as_json = run("--json", path, *words)
    check("byte words: statuses", raw.returncode == text.returncode == as_json.returncode == 0)
    raw_lines = raw.stdout.split(b"\n")[:-1]
    text_lines = text.stdout.decode("utf-8").split("\n")[:-1]
    check("byte words: one line each", len(raw_lines) == len(text_lines) == len(words))
    seen = set()
    for word, raw_line, line in zip(words, raw_lines, text_lines):
        row, rest = raw_line.split(b"\t", 1)
        entry, distance = rest.rsplit(b"\t", 1)  # a raw entry may hold a tab
        seen |= set(entry)
        check(f"byte 0x{word[1]:02X}: entry shown",
              line == f"{row.decode()}\t{shown(entry)}\t{distance.decode()}")
    # Upper-casing leaves every byte of the escaped sets as it is, so each of
    # them (and its neighbours) is in some entry printed.
    wanted = HEX_ESCAPED | {0x09, 0x5C, 0x7E, 0x80, 0x97, 0x99}
    check(f"byte entries cover the sets: missing {sorted(wanted - seen)}", wanted <= seen)
    no_controls(text.stdout, "text lines", "\t\n")

    firsts = [line for line in explained.stdout.decode("utf-8").split("\n") if line.startswith("# word ")]
    check("explain: one word line each", len(firsts) == len(words))
    for word, line in zip(words, firsts):
        check(f"byte 0x{word[1]:02X}: word echoed by --explain", line.startswith(f'# word "{shown(word)}": row '))
    no_controls(explained.stdout, "--explain", "\t\n")

    no_controls(as_json.stdout, "--json")
    for word, raw_line, line in zip(words, raw_lines, as_json.stdout.decode("utf-8").split("\n")):
        obj = json.loads(line)
        entry = raw_line.split(b"\t", 1)[1].rsplit(b"\t", 1)[0]
        check(f"byte 0x{word[1]:02X}: --json query", obj["query"] == "".join(map(unicode_of, word)))
        check(f"byte 0x{word[1]:02X}: --json entry", obj["entry"] == "".join(map(unicode_of, entry)))
    for byte in (0x7F, 0x98):
        check(f"--json escapes 0x{byte:02X}", f"\\u{ord(unicode_of(byte)):04x}".encode() in as_json.stdout)

    # Arguments echoed on standard error: every C0 control, DEL, every C1
    # control in UTF-8, and every byte that is no UTF-8 on its own.
    hostile = bytes(range(1, 0x80)) + "".join(map(chr, range(0x80, 0xA0))).encode() + bytes(range(0x80, 0x100))
    hostile += "ж\\λ".encode()

    def unescape(shown_text):
        return re.sub(rb"\\(x([0-9A-F]{2})|\\)",
                      lambda m: bytes([int(m.group(2), 16)]) if m.group(2) else b"\\", shown_text)

    for name, args, before, after in (
            ("unknown option", [b"--" + hostile], b"verblinka-lookup: unknown option --",
             b"\nTry 'verblinka-lookup --help'.\n"),
            ("missing file", [os.path.join(work, "x").encode() + hostile, b"word"],
             b"Cannot open file " + os.path.join(work, "x").encode(), b".\n")):
        done = subprocess.run([lookup.encode(), *args], capture_output=True)
        err = done.stderr
        check(f"{name}: status", done.returncode == 2)
        no_controls(err, name)
        check(f"{name}: message", err.startswith(before) and err.endswith(after))
        check(f"{name}: argument read back", unescape(err[len(before):-len(after)]) == hostile)
        check(f"{name}: text kept", "ж\\\\λ".encode() in err)

    # Every Unicode space that becomes a blank, and its neighbours, typed in a word.
    points = sorted(SPACES | {c + d for c in SPACES for d in (-1, 1)} | {0x09, 0x20, 0xA0})
    typed = ["а" + chr(c) + "б" for c in points]
    done = run("--json", path, *typed)
    check("spaces: status", done.returncode == 0)
    for c, line in zip(points, done.stdout.decode("utf-8").split("\n")):
        try:
            expected = " " if c in SPACES else chr(c).encode("cp1251").decode("cp1251")
        except UnicodeEncodeError:
            expected = "\x1a"  # the substitute byte
        check(f"U+{c:04X} typed", json.loads(line)["query"] == "а" + expected + "б")

    # A word on standard input or as an argument is decided as a file of the
    # same bytes is: UTF-8 with one stray byte stays UTF-8.
    stray = "программа".encode() + b"\xff"
    path = os.path.join(work, "stray.txt")
    with open(path, "wb") as f:
        f.write(stray)
    expected = "1\tПРОГРАММА\\x1A\t9\n".encode()
    check("stray byte: argument", run(path, stray).stdout == expected)
    check("stray byte: line", subprocess.run([lookup, path], input=stray + b"\n",
                                             capture_output=True).stdout == expected)
    # Windows-1251 «программа» is still bytes.
    check("Windows-1251 word", run(path, "программа".encode("cp1251")).stdout ==
          "1\tПРОГРАММА\\x1A\t10\n".encode())

for failure in failures:
    print("FAIL", failure)
print(f"{len(failures)} failures")
sys.exit(1 if failures else 0)
