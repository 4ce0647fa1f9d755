#!/usr/bin/env python3
"""Draws the tree from its own includes, folder to folder, and checks the
dependency rule: each layer includes only itself and the layers below it,
the tests, fuzz targets and benchmarks include production code and
reference/ but never each other, nothing below ui/ includes Qt, and only the
engine, its tests, the fuzz targets, the benchmarks and reference/ include
engine/detail/.

  python3 scripts/include-graph.py [--dot FILE]   (exit 1 on a broken rule)
"""
import pathlib
import re
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
# Folder -> the folders it may include (besides itself).
ALLOWED = {
    "engine": set(),
    "text": set(),
    "dictionary": {"engine", "text"},
    "search": {"dictionary", "engine", "text"},
    "tools": {"search", "dictionary", "engine", "text"},
    "ui": {"search", "dictionary", "engine", "text"},
}
PRODUCTION = set(ALLOWED)
ALLOWED["reference"] = PRODUCTION - {"tools", "ui"}
ALLOWED["tests"] = PRODUCTION | {"reference"}
ALLOWED["fuzz"] = PRODUCTION - {"tools", "ui"} | {"reference"}
ALLOWED["bench"] = PRODUCTION | {"reference"}
NO_QT = {"engine", "text", "dictionary", "search", "tools", "reference"}
# The engine's internals: besides the engine itself, only what tests, fuzzes,
# measures or models its fast paths and arithmetic may include them.
DETAIL = "engine/detail/"
DETAIL_ALLOWED = ("engine/", "tests/engine/", "fuzz/", "bench/", "reference/")

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]', re.M)


def main():
    dot = None
    if len(sys.argv) == 3 and sys.argv[1] == "--dot":
        dot = sys.argv[2]
    edges = {}
    faults = []
    for path in sorted(ROOT.rglob("*")):
        if path.suffix not in (".h", ".cpp") or not path.is_file():
            continue
        relative = path.relative_to(ROOT)
        folder = relative.parts[0]
        if folder not in ALLOWED:
            continue
        for kind, name in INCLUDE.findall(path.read_text(encoding="utf-8", errors="replace")):
            if kind == "<":
                if folder in NO_QT and re.match(r"Q[A-Za-z]*(/|$)", name):
                    faults.append(f"{relative}: Qt below ui/: <{name}>")
                continue
            if name.startswith(DETAIL) and not str(relative).startswith(DETAIL_ALLOWED):
                faults.append(f"{relative}: only the engine and its tests include {name}")
            target = name.split("/")[0] if "/" in name else folder
            if target not in ALLOWED or target == folder:
                continue
            edges.setdefault((folder, target), set()).add(str(relative))
            if target not in ALLOWED[folder]:
                faults.append(f"{relative}: {folder}/ must not include {name}")
    lines = ["digraph includes {", "  rankdir=BT;"]
    for (source, target), files in sorted(edges.items()):
        lines.append(f'  "{source}" -> "{target}" [label="{len(files)}"];')
    lines.append("}")
    text = "\n".join(lines) + "\n"
    if dot:
        pathlib.Path(dot).write_text(text)
    else:
        print(text, end="")
    for fault in faults:
        print(fault, file=sys.stderr)
    print(f"{len(faults)} broken rule(s)" if faults else "layers point down only", file=sys.stderr)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
