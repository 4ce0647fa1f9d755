#!/usr/bin/env python3
"""verblinka-lookup --json and --trace against its plain output: every word's
object parses, its row, entry and distance are the plain line's, its steps are
--explain's, and every traced value reads back to the bits --trace prints."""
import json
import os
import random
import subprocess
import sys
import tempfile

lookup = sys.argv[1]
failures = []


def run(*args, stdin=None):
    done = subprocess.run([lookup, *args], input=stdin, capture_output=True, text=True)
    return done.returncode, done.stdout


def check(name, condition):
    if not condition:
        failures.append(name)


random.seed(5)
letters = "АБВЕИКЛОРТЁ"
words = ["".join(random.choice(letters) for _ in range(random.randint(1, 22)))
         for _ in range(1500)]
queries = ["КОТ", "ОКНО", "АБВЕИКЛОРТЁАБВЕИКЛОРТЁ", " КОТ ", words[7], "кот", 'К"О\\Т\tЁ', "   "]
with tempfile.TemporaryDirectory() as work:
    path = os.path.join(work, "words.txt")
    with open(path, "w", encoding="utf-8") as f:
        f.write(" ".join(words))
    stdin = "\n".join(queries) + "\n"
    plain_rc, plain = run(path, stdin=stdin)
    explain_rc, explained = run("--explain", path, stdin=stdin)
    json_rc, lines = run("--json", path, stdin=stdin)
    trace_rc, traced = run("--json", "--trace", path, stdin=stdin)
    text_rc, text = run("--trace", path, stdin=stdin)
    check("exit statuses", plain_rc == json_rc == trace_rc == text_rc == explain_rc == 1)

    results = [line.rsplit("\t", 2) for line in plain.splitlines()]
    objects = [json.loads(line) for line in lines.splitlines()]
    traced_objects = [json.loads(line) for line in traced.splitlines()]
    check("one object per word", len(objects) == len(queries) == len(traced_objects))
    check("refused word", objects[-1] == {"query": "   ", "error": "Ошибка: не введено слово для поиска"})
    explain_steps = [line for line in explained.splitlines() if line.startswith("# ")]
    answered = [o for o in objects if "error" not in o]
    check("answered words", len(answered) == len(results))
    for (row, entry, distance), obj, full in zip(results, answered, traced_objects):
        name = obj["query"]
        check(name + ": query as typed", name in queries)
        check(name + ": row", obj["row"] == int(row))
        check(name + ": entry", obj["entry"] == entry)
        check(name + ": distance", obj["distance"] == int(distance))
        check(name + ": steps", len(obj["steps"]) == len(name) + 1)
        check(name + ": chosen", obj["steps"][obj["chosen_step"]]["row"] == obj["row"])
        for index, step in enumerate(obj["steps"]):
            line = explain_steps.pop(0)
            check(f"{name}: step {index} as --explain", f'row {step["row"]} "{step["entry"]}", distance {step["distance"]}' in line)
            check(f"{name}: step {index} passes", 1 <= step["passes"] <= 7)
        for index, step in enumerate(full["steps"]):
            if "reused_from" in step:
                source = full["steps"][step["reused_from"]]
                check(f"{name}: reused step has its source's row and trace",
                      source["row"] == step["row"] and source["trace"] == step["trace"])
                continue
            trace = step["trace"]
            check(f"{name}: histogram", sum(trace["histogram"]) == len(set(words)) + 1)
            check(f"{name}: pass count", len(trace["passes"]) == step["passes"] + 1)
            check(f"{name}: winner", trace["passes"][-1]["winner"] == step["row"])
            check(f"{name}: winner tracked", any(t["row"] == step["row"] for t in trace["tracked"]))

    # The text tables and the JSON carry the same doubles, bit for bit.
    table_values = []
    for line in text.splitlines():
        fields = line[2:].split("\t") if line.startswith("# ") else []
        if len(fields) > 4 and fields[0].isdigit():
            table_values.append([float(v) for v in fields[4:]])
    json_values = [p["values"] for o in traced_objects if "steps" in o
                   for s in o["steps"] if "reused_from" not in s for p in s["trace"]["passes"]]
    check("tables equal the JSON values", table_values == json_values and len(json_values) > 50)

# The worked example, to the last bit.
with tempfile.TemporaryDirectory() as work:
    path = os.path.join(work, "cat.txt")
    with open(path, "w", encoding="utf-8") as f:
        f.write("КОТ ПЁС")
    rc, out = run("--json", "--trace", path, "КОТ")
    passes = json.loads(out)["steps"][0]["trace"]["passes"]
    check("worked example pass 7", [v.hex() for v in map(float, passes[7]["values"])] ==
          ["0x1.792e878cd14b8p+4", "0x1.3cde67b605676p-5", "0x0.0p+0"])

for failure in failures:
    print("FAIL", failure)
print(f"{len(failures)} failures")
sys.exit(1 if failures else 0)
