#!/usr/bin/env python3
"""Writes an objcopy --redefine-syms file that moves the definitions of the
named os:: functions of the Windows platform library to os_win32::.

usage: reroute_symbols.py NM LIBRARY OUT NAME...

The device functions the simulated machine answers (DeviceIoControl,
SetupDi*, CM_*) are moved as well, so the machine's definitions are the only
os:: ones in QuillonSim.exe. Only the namespace part of the mangled name
changes; substitution indices stay valid because the number of components
does not.
"""
import re
import subprocess
import sys


def main():
    nm, library, out, names = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4:]
    listing = subprocess.run([nm, "-g", "--defined-only", library], check=True, capture_output=True,
                             text=True).stdout
    pairs = {}
    for line in listing.splitlines():
        parts = line.split()
        if len(parts) < 3:
            continue
        symbol = parts[2]
        m = re.match(r"_ZN2os(\d+)", symbol)
        if not m:
            continue
        end = m.end() + int(m.group(1))
        if symbol[m.end():end] not in names or symbol[end:end + 1] != "E":
            continue
        pairs[symbol] = "_ZN8os_win32" + symbol[len("_ZN2os"):]
    missing = [n for n in names if not any(re.match(r"_ZN2os\d+" + n + "E", s) for s in pairs)]
    if missing:
        sys.exit("reroute_symbols: not defined in %s: %s" % (library, " ".join(missing)))
    with open(out, "w") as f:
        for old, new in sorted(pairs.items()):
            f.write("%s %s\n" % (old, new))


if __name__ == "__main__":
    main()
