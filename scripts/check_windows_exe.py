#!/usr/bin/env python3
"""Checks a built Quillon.exe: its PE kind (via `file`) and its resources:
the manifest, dialog 102 control by control, icon group 105, the version
block and the embedded package FWPACKAGEZIP 1000; and its imports: exactly
the system DLLs it has always used, and the DLL search restricted to System32.

    check_windows_exe.py EXE --arch i686|x86_64 [--package ZIP]
    check_windows_exe.py EXE --arch ... --self-test   (also proves the checks can fail)

Exit status 0 when everything holds; every failed check is printed."""
import argparse
import copy
import io
import os
import struct
import subprocess
import sys
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import pe_resources  # noqa: E402

RT_ICON, RT_DIALOG, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 5, 14, 16, 24

WS_CHILD_VISIBLE = 0x50000000
WS_GROUP, WS_TABSTOP, WS_VSCROLL, WS_BORDER = 0x00020000, 0x00010000, 0x00200000, 0x00800000
ATOM_BUTTON, ATOM_STATIC, ATOM_COMBOBOX = 0x80, 0x82, 0x85

# The main dialog as the product's window is specified: id, class, text,
# further style, rectangle.
EXPECTED_CONTROLS = [
    (500, ATOM_COMBOBOX, '', 0x3 | WS_VSCROLL | WS_TABSTOP, (64, 11, 206, 59)),
    (-1, ATOM_STATIC, 'Model ', WS_GROUP, (65, 28, 50, 8)),
    (501, ATOM_STATIC, 'Model ', WS_GROUP, (115, 28, 203, 8)),
    (-1, ATOM_STATIC, 'Serial No. ', WS_GROUP, (65, 42, 50, 8)),
    (502, ATOM_STATIC, 'Serial No. ', WS_GROUP, (115, 42, 203, 8)),
    (-1, ATOM_STATIC, 'Interface ', WS_GROUP, (65, 56, 50, 8)),
    (503, ATOM_STATIC, 'Interface ', WS_GROUP, (115, 56, 203, 8)),
    (-1, ATOM_STATIC, 'Firmware ', WS_GROUP, (65, 70, 50, 8)),
    (504, ATOM_STATIC, 'Firmware ', WS_GROUP, (115, 70, 203, 8)),
    (-1, ATOM_STATIC, 'Capacity ', WS_GROUP, (65, 84, 50, 8)),
    (505, ATOM_STATIC, 'Capacity ', WS_GROUP, (115, 84, 203, 8)),
    (1, ATOM_BUTTON, 'RUN', 0x1 | WS_TABSTOP, (272, 10, 51, 14)),
    (510, ATOM_STATIC, '', WS_GROUP, (65, 100, 258, 8)),
    (1003, 'msctls_progress32', '', WS_BORDER, (0, 112, 339, 6)),
    (1004, ATOM_STATIC, '', 0x3, (16, 11, 20, 20)),
    (-1, ATOM_STATIC, '', 0x10, (65, 39, 250, 1)),
    (-1, ATOM_STATIC, '', 0x10, (65, 53, 250, 1)),
    (-1, ATOM_STATIC, '', 0x10, (65, 81, 250, 1)),
    (-1, ATOM_STATIC, '', 0x10, (65, 67, 250, 1)),
    (-1, ATOM_STATIC, '', 0x10, (65, 95, 250, 1)),
]
DIALOG_STYLE = 0x80C808C0  # WS_POPUP|WS_CAPTION|WS_SYSMENU|DS_MODALFRAME|DS_CENTER|DS_SETFONT
FONT_FACE = '\u5FAE\u8EDF\u6B63\u9ED1\u9AD4'

# The DLLs the product imports: all of them Windows's own. A new one (or a
# library's DLL instead of a static link) shows up here.
EXPECTED_DLLS = {'advapi32.dll', 'comctl32.dll', 'gdiplus.dll', 'kernel32.dll', 'msvcrt.dll', 'setupapi.dll',
                 'user32.dll'}

FILE_KIND = {
    'i686': 'PE32 executable (GUI) Intel 80386',
    'x86_64': 'PE32+ executable (GUI) x86-64',
}


def check_dialog(dlg, fail):
    if dlg['style'] != DIALOG_STYLE:
        fail('dialog style 0x%08X, want 0x%08X' % (dlg['style'], DIALOG_STYLE))
    if dlg['ex_style'] != 0:
        fail('dialog extended style 0x%X, want 0' % dlg['ex_style'])
    if dlg['rect'] != (0, 0, 340, 117):
        fail('dialog rectangle %s, want (0, 0, 340, 117)' % (dlg['rect'],))
    if dlg['menu'] != '' or dlg['class'] != '':
        fail('dialog has a menu or class: %r %r' % (dlg['menu'], dlg['class']))
    if dlg['title'] != 'Dialog':
        fail('dialog caption %r, want "Dialog"' % dlg['title'])
    font = dlg['font']
    want_font = {'point': 9, 'weight': 400, 'italic': 0, 'charset': 136, 'face': FONT_FACE}
    if font != want_font:
        fail('dialog font %r, want %r' % (font, want_font))
    controls = dlg['controls']
    if len(controls) != len(EXPECTED_CONTROLS):
        fail('%d controls, want %d' % (len(controls), len(EXPECTED_CONTROLS)))
    for i, (got, want) in enumerate(zip(controls, EXPECTED_CONTROLS)):
        cid, cls, text, style, rect = want
        where = 'control %d (id %d)' % (i, cid)
        if got['id'] != cid:
            fail('%s: id %d' % (where, got['id']))
        same_class = (got['class'] == cls if isinstance(cls, int)
                      else isinstance(got['class'], str) and got['class'].lower() == cls.lower())
        if not same_class:
            fail('%s: class %r, want %r' % (where, got['class'], cls))
        if got['text'] != text:
            fail('%s: text %r, want %r' % (where, got['text'], text))
        if got['style'] != (WS_CHILD_VISIBLE | style):
            fail('%s: style 0x%08X, want 0x%08X' % (where, got['style'], WS_CHILD_VISIBLE | style))
        if got['ex_style'] != 0:
            fail('%s: extended style 0x%X' % (where, got['ex_style']))
        if got['rect'] != rect:
            fail('%s: rectangle %s, want %s' % (where, got['rect'], rect))


def check_icon_group(resources, fail):
    group = resources.get((RT_GROUP_ICON, 105))
    if not group:
        fail('no icon group 105')
        return
    data = group[0][1]
    reserved, kind, count = struct.unpack_from('<HHH', data, 0)
    if reserved != 0 or kind != 1 or count == 0:
        fail('icon group 105 header %d %d %d' % (reserved, kind, count))
        return
    sizes = []
    for i in range(count):
        w, h, _, _, _, bits, size, icon_id = struct.unpack_from('<BBBBHHIH', data, 6 + 14 * i)
        sizes.append(w or 256)
        icon = resources.get((RT_ICON, icon_id))
        if not icon:
            fail('icon group 105 names missing icon %d' % icon_id)
        elif len(icon[0][1]) != size:
            fail('icon %d is %d bytes, the group says %d' % (icon_id, len(icon[0][1]), size))
        if bits != 32:
            fail('icon %d has %d bits per pixel' % (icon_id, bits))
    if 16 not in sizes or 32 not in sizes:
        fail('icon group 105 lacks a 16 or 32 pixel image (has %s)' % sizes)


def check_manifest(resources, fail):
    manifest = resources.get((RT_MANIFEST, 1))
    if not manifest:
        fail('no manifest (RT_MANIFEST 1)')
        return
    if sum(len(v) for (t, _), v in resources.items() if t == RT_MANIFEST) != 1:
        fail('more than one manifest')
    text = manifest[0][1].decode('utf-8', 'replace')
    if 'level="requireAdministrator"' not in text:
        fail('manifest does not ask for administrator rights')
    if 'name="Microsoft.Windows.Common-Controls"' not in text or 'version="6.0.0.0"' not in text:
        fail('manifest does not bind common controls 6')


def check_package(resources, package, fail):
    entry = resources.get(('FWPACKAGEZIP', 1000))
    if not entry:
        fail('no FWPACKAGEZIP 1000')
        return
    blob = entry[0][1]
    if blob[:4] != b'PK\x03\x04':
        fail('FWPACKAGEZIP 1000 is not a zip archive')
        return
    try:
        names = zipfile.ZipFile(io.BytesIO(blob)).namelist()
    except zipfile.BadZipFile as e:
        fail('FWPACKAGEZIP 1000 does not open: %s' % e)
        return
    if 'QuillonInfo.ini' not in names:
        fail('package holds no QuillonInfo.ini (has %s)' % names)
    if package:
        with open(package, 'rb') as f:
            if f.read() != blob:
                fail('FWPACKAGEZIP 1000 differs from %s' % package)


def check_resources(resources, package, fail):
    dialog = resources.get((RT_DIALOG, 102))
    if not dialog:
        fail('no dialog 102')
    else:
        try:
            check_dialog(pe_resources.parse_dialogex(dialog[0][1]), fail)
        except (pe_resources.PeError, struct.error) as e:
            fail('dialog 102 does not decode: %s' % e)
    check_icon_group(resources, fail)
    check_manifest(resources, fail)
    check_package(resources, package, fail)
    if not resources.get((RT_VERSION, 1)):
        fail('no version block')


def check_imports(imports, fail):
    dlls = set(imports)
    if dlls != EXPECTED_DLLS:
        fail('imports %s, want %s (extra %s, missing %s)' % (sorted(dlls), sorted(EXPECTED_DLLS),
                                                          sorted(dlls - EXPECTED_DLLS), sorted(EXPECTED_DLLS - dlls)))
    if 'SetDefaultDllDirectories' not in imports.get('kernel32.dll', set()):
        fail('SetDefaultDllDirectories is not imported from KERNEL32: the DLL search is not restricted')


def self_test_imports(imports):
    """The import check must fail on a DLL too many and on a missing call."""
    errors = 0
    extra = copy.deepcopy(imports)
    extra['uxtheme.dll'] = {'OpenThemeData'}
    unrestricted = copy.deepcopy(imports)
    unrestricted.get('kernel32.dll', set()).discard('SetDefaultDllDirectories')
    for broken, what in ((extra, 'an extra DLL'), (unrestricted, 'no SetDefaultDllDirectories')):
        found = []
        check_imports(broken, found.append)
        if not found:
            print('FAIL: self-test: the import check passes with %s' % what)
            errors += 1
    return errors


def self_test(resources, package):
    """Breaks the decoded resources one way at a time; each must be noticed."""
    def breaks(mutate, what):
        broken = copy.deepcopy(resources)
        mutate(broken)
        found = []
        check_resources(broken, package, found.append)
        if not found:
            print('SELF-TEST: a broken %s went unnoticed' % what)
            return 1
        return 0

    def patch_dialog(offset, value):
        def mutate(r):
            lang, data = r[(RT_DIALOG, 102)][0]
            data = bytearray(data)
            struct.pack_into('<H', data, offset, value)
            r[(RT_DIALOG, 102)][0] = (lang, bytes(data))
        return mutate

    dialog = resources[(RT_DIALOG, 102)][0][1]
    font_off = 26 + 2 + 2 + (len('Dialog') + 1) * 2
    errors = 0
    errors += breaks(patch_dialog(22, 118), 'dialog height')
    errors += breaks(patch_dialog(font_off + 4, 0x8600), 'font character set')  # italic 0, charset 134
    errors += breaks(patch_dialog(16, 19), 'control count')
    errors += breaks(lambda r: r.pop((RT_GROUP_ICON, 105)), 'icon group')
    errors += breaks(lambda r: r.pop(('FWPACKAGEZIP', 1000)), 'package')

    def weaken_manifest(r):
        lang, data = r[(RT_MANIFEST, 1)][0]
        r[(RT_MANIFEST, 1)][0] = (lang, data.replace(b'requireAdministrator', b'asInvoker'))
    errors += breaks(weaken_manifest, 'manifest')
    if dialog[font_off:font_off + 2] != b'\x09\x00':
        print('SELF-TEST: font not where expected')
        errors += 1
    return errors


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('exe')
    ap.add_argument('--arch', choices=sorted(FILE_KIND), required=True)
    ap.add_argument('--package')
    ap.add_argument('--self-test', action='store_true')
    args = ap.parse_args()

    failures = []
    kind = subprocess.run(['file', '-b', args.exe], capture_output=True, text=True).stdout.strip()
    if not kind.startswith(FILE_KIND[args.arch]):
        failures.append('file says %r, want %r' % (kind, FILE_KIND[args.arch]))

    with open(args.exe, 'rb') as f:
        data = f.read()
    try:
        resources = pe_resources.read_resources(data)
    except (pe_resources.PeError, struct.error) as e:
        print('FAIL: resources do not decode: %s' % e)
        return 1
    check_resources(resources, args.package, failures.append)
    try:
        imports = pe_resources.read_imports(data)
    except (pe_resources.PeError, struct.error, ValueError) as e:
        failures.append('imports do not decode: %s' % e)
        imports = None
    if imports is not None:
        check_imports(imports, failures.append)
    for f in failures:
        print('FAIL: %s' % f)
    errors = len(failures)
    if args.self_test and not failures:
        errors += self_test(resources, args.package)
        errors += self_test_imports(imports)
    if errors == 0:
        print('ok: %s (%s): %d resources, dialog 102 with %d controls, manifest, icon 105, package 1000; imports %s'
              % (args.exe, kind.split(',')[0], sum(len(v) for v in resources.values()), len(EXPECTED_CONTROLS),
                 ' '.join(sorted(imports))))
    return 1 if errors else 0


if __name__ == '__main__':
    sys.exit(main())
