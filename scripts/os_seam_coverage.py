#!/usr/bin/env python3
"""Every function declared in platform/os.h must be defined by a platform
implementation. Reads the declarations from os.h and the defined symbols
from `nm -C --defined-only` output of the implementation's objects.

    os_seam_coverage.py OS_H NM_OUTPUT_FILE"""
import re
import sys


def declared(header):
    text = open(header, encoding='utf-8').read()
    body = text[text.index('namespace os {'):]
    names = set()
    # A declaration: return type, name, '(' ... ');' at namespace level. Inline
    # definitions (with a body) need no implementation and are skipped.
    for m in re.finditer(r'^[A-Za-z_][\w\s\*&:<>,]*?\b([A-Z][A-Za-z0-9_]*)\s*\(([^;{]*?)\)\s*;', body, re.M | re.S):
        if m.group(0).lstrip().startswith(('typedef', 'return')):
            continue
        names.add(m.group(1))
    return names


def defined(nm_file):
    names = set()
    for line in open(nm_file, encoding='utf-8', errors='replace'):
        m = re.search(r'\s[TtWw]\s+os::([A-Za-z0-9_]+)\(', line)
        if m:
            names.add(m.group(1))
    return names


def main():
    want = declared(sys.argv[1])
    have = defined(sys.argv[2])
    missing = sorted(want - have)
    for name in missing:
        print('FAIL: os::%s is declared but not defined' % name)
    print('os seam: %d functions declared, %d missing' % (len(want), len(missing)))
    return 1 if missing or not want else 0


if __name__ == '__main__':
    sys.exit(main())
