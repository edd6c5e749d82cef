#!/usr/bin/env python3
"""Writes a firmware package zip: every file given, at the top of the archive,
deflated, with a fixed timestamp so the bytes are the same on every build.
   make_package_zip.py OUT.zip FILE..."""
import os
import sys
import zipfile

out, files = sys.argv[1], sys.argv[2:]
tmp = out + ".tmp"
with zipfile.ZipFile(tmp, "w", zipfile.ZIP_DEFLATED) as z:
    for path in files:
        info = zipfile.ZipInfo(os.path.basename(path), date_time=(2024, 1, 1, 0, 0, 0))
        info.compress_type = zipfile.ZIP_DEFLATED
        info.external_attr = 0x20  # archive bit, DOS host
        info.create_system = 0
        with open(path, "rb") as f:
            z.writestr(info, f.read())
os.replace(tmp, out)
