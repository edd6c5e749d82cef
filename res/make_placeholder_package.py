#!/usr/bin/env python3
"""Writes a minimal firmware package zip (just a QuillonInfo.ini) so that
Quillon.exe can be built and started before a real package is chosen.

    make_placeholder_package.py OUTPUT.zip

Its title reads "Quillon (no package)" and its empty SOCID admits no drive,
so the window comes up with an empty list."""
import sys
import zipfile


def hex_title(text):
    # TITLE holds the UTF-16LE bytes of the title as space-separated hex.
    return ' '.join('%02X' % b for b in text.encode('utf-16-le'))


def main():
    if len(sys.argv) != 2:
        sys.exit('usage: make_placeholder_package.py OUTPUT.zip')
    ini = ('[UPDATEINFO]\r\n'
           'TITLE=%s\r\n'
           'SOCID=\r\n'
           'ModelName=\r\n'
           'FWVersion=\r\n'
           'NEWVERSION=KEEP\r\n'
           'PowerCtrl=0\r\n'
           '[NandMap]\r\n') % hex_title('Quillon (no package)')
    info = zipfile.ZipInfo('QuillonInfo.ini', date_time=(2024, 1, 1, 0, 0, 0))
    info.compress_type = zipfile.ZIP_DEFLATED
    with zipfile.ZipFile(sys.argv[1], 'w') as z:
        z.writestr(info, ini.encode('ascii'))


if __name__ == '__main__':
    main()
