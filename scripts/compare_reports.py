#!/usr/bin/env python3
"""Compares two run reports (JSON and the FILE.txt twin of each), times aside.

usage: compare_reports.py A.json B.json

Left out of the comparison, because they differ between two honest runs of
the same machine and command line on two hosts: the stages' times; the folder
part of paths (the temporary folder of the run, the folder the report goes
to: give both reports the same file name); and the log's separator lines. A
worker logs its closing separator just after it posts its result, so that
line comes before the dialog's own lines about the result, after them, or
after the report was written, by which thread runs first (the Linux host
lets the dialog run on; Windows often the worker). Exit 0 when the
rest is equal; else 1 and the first differences on stdout.
"""
import json
import re
import sys

# A path's folder part: anything up to the last separator before a file name.
PATH = re.compile(r"[A-Za-z]:\\[^\s\"]*[\\/]|/[^\s\"]*[\\/]")


def plain(text):
    return PATH.sub("<folder>/", text)


SEPARATOR = re.compile(r"-{20,}$")


def without_separators(lines):
    kept = [line for line in lines if not SEPARATOR.search(line)]
    return kept, len(lines) - len(kept)


def normal_json(doc):
    doc["command_line"] = plain(doc.get("command_line") or "")
    for stage in doc.get("stages") or []:
        stage.pop("at_ms", None)
        stage.pop("duration_ms", None)
    doc["log"], _ = without_separators([plain(line) for line in doc.get("log") or []])
    return doc


def normal_text(text):
    out = []
    for line in text.split("\r\n"):
        if line.startswith("Stage: "):
            line = re.sub(r" at -?\d+ ms$", "", line)
        out.append(plain(line))
    kept, _ = without_separators(out)
    return kept


def differences(a, b, where=""):
    if type(a) is not type(b):
        return [f"{where or '/'}: {a!r} != {b!r}"]
    if isinstance(a, dict):
        found = []
        for key in sorted(set(a) | set(b)):
            if key not in a or key not in b:
                found.append(f"{where}/{key}: only in {'the first' if key in a else 'the second'}")
            else:
                found += differences(a[key], b[key], f"{where}/{key}")
        return found
    if isinstance(a, list):
        found = [f"{where}: {len(a)} items != {len(b)}"] if len(a) != len(b) else []
        for i, (x, y) in enumerate(zip(a, b)):
            found += differences(x, y, f"{where}[{i}]")
        return found
    return [] if a == b else [f"{where or '/'}: {a!r} != {b!r}"]


def read(path, binary=False):
    with open(path, "rb" if binary else "r", encoding=None if binary else "utf-8") as f:
        return f.read()


def main():
    if len(sys.argv) != 3:
        print(__doc__.strip().splitlines()[2])
        return 2
    a, b = sys.argv[1], sys.argv[2]
    try:
        found = differences(normal_json(json.loads(read(a))), normal_json(json.loads(read(b))))
        ta = normal_text(read(a + ".txt", True).decode("utf-8"))
        tb = normal_text(read(b + ".txt", True).decode("utf-8"))
    except (OSError, ValueError) as e:
        print(f"cannot read a report: {e}")
        return 1
    for i in range(max(len(ta), len(tb))):
        x = ta[i] if i < len(ta) else "(none)"
        y = tb[i] if i < len(tb) else "(none)"
        if x != y:
            found.append(f"text line {i + 1}: {x!r} != {y!r}")
    for line in found[:10]:
        print(line)
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
