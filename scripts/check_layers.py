#!/usr/bin/env python3
"""Fails on any #include "..." of a product folder that points up or sideways.

Each product folder may include itself and the folders listed for it; the
table is the one docs/architecture.md draws. tests/, tools/ and fuzz/ sit on
top and may include anything. Prints "file:line: ..." for every offence.
    check_layers.py [ROOT]
"""
import os
import re
import sys

# folder -> the folders below it that it may use (itself is always allowed)
ALLOWED = {
    "platform": {"res"},
    "res": set(),
    "core": {"platform"},
    "storage": {"core", "platform"},
    "package": {"core", "platform"},
    "nvme": {"storage", "core", "platform"},
    "sata": {"storage", "core", "platform"},
    "app": {"nvme", "sata", "package", "storage", "core", "platform", "res"},
}
SOURCES = (".h", ".cpp", ".rc")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def check(root):
    offences = []
    for layer, allowed in sorted(ALLOWED.items()):
        top = os.path.join(root, layer)
        for folder, dirs, files in os.walk(top):
            dirs.sort()
            for name in sorted(files):
                if not name.endswith(SOURCES):
                    continue
                path = os.path.join(folder, name)
                rel = os.path.relpath(path, root)
                with open(path, encoding="utf-8", errors="replace") as f:
                    for number, line in enumerate(f, 1):
                        m = INCLUDE.match(line)
                        if not m or "/" not in m.group(1):
                            continue  # a generated header beside the file, or a same-folder name
                        target = m.group(1).split("/", 1)[0]
                        if target == layer or target in allowed:
                            continue
                        if target not in ALLOWED:
                            offences.append(f"{rel}:{number}: includes \"{m.group(1)}\" from outside the product folders")
                        else:
                            offences.append(f"{rel}:{number}: {layer}/ may not include \"{m.group(1)}\" "
                                            f"({layer}/ uses only: {', '.join(sorted(allowed)) or 'nothing'})")
    return offences


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
    offences = check(root)
    for o in offences:
        print(o)
    if offences:
        print(f"layers: {len(offences)} include(s) against the layer table")
        return 1
    print("layers: every include points down")
    return 0


if __name__ == "__main__":
    sys.exit(main())
