#!/usr/bin/env python3
"""A small reader for the resources and imports of a PE (Windows .exe) file.

    read_resources(data) -> {(type, name): [(language, bytes), ...]}
    read_imports(data) -> {dll name in lower case: set of function names}

type and name are ints (ordinals) or upper-case strings (named entries), as
the resource directory stores them. Only what a resource check needs: the
headers are validated just enough to find the .rsrc data directory."""
import struct


class PeError(Exception):
    pass


def _u16(data, off):
    return struct.unpack_from('<H', data, off)[0]


def _u32(data, off):
    return struct.unpack_from('<I', data, off)[0]


def pe_info(data):
    """Machine, optional-header magic, subsystem and sections of the image."""
    if len(data) < 0x40 or data[:2] != b'MZ':
        raise PeError('no MZ header')
    pe = _u32(data, 0x3C)
    if data[pe:pe + 4] != b'PE\0\0':
        raise PeError('no PE signature')
    machine, nsections = struct.unpack_from('<HH', data, pe + 4)
    opt_size = _u16(data, pe + 20)
    opt = pe + 24
    magic = _u16(data, opt)
    if magic == 0x10B:      # PE32
        subsystem = _u16(data, opt + 68)
        ndirs_off, dirs_off = opt + 92, opt + 96
    elif magic == 0x20B:    # PE32+
        subsystem = _u16(data, opt + 68)
        ndirs_off, dirs_off = opt + 108, opt + 112
    else:
        raise PeError('unknown optional header magic 0x%X' % magic)
    ndirs = _u32(data, ndirs_off)
    dirs = [struct.unpack_from('<II', data, dirs_off + 8 * i) for i in range(ndirs)]
    sections = []
    sec = opt + opt_size
    for i in range(nsections):
        name = data[sec + 40 * i: sec + 40 * i + 8].rstrip(b'\0').decode('ascii', 'replace')
        vsize, vaddr, rawsize, rawptr = struct.unpack_from('<IIII', data, sec + 40 * i + 8)
        sections.append((name, vaddr, max(vsize, rawsize), rawptr, rawsize))
    return {'machine': machine, 'magic': magic, 'subsystem': subsystem, 'dirs': dirs, 'sections': sections}


def _rva_to_offset(info, rva):
    for _, vaddr, vsize, rawptr, rawsize in info['sections']:
        if vaddr <= rva < vaddr + vsize:
            if rva - vaddr >= rawsize:
                raise PeError('RVA 0x%X lies in uninitialised data' % rva)
            return rawptr + rva - vaddr
    raise PeError('RVA 0x%X outside every section' % rva)


def _c_string(data, off):
    end = data.index(b'\0', off)
    return data[off:end].decode('ascii', 'replace')


def read_imports(data):
    """The import directory: each DLL (lower case) with the names it supplies
    (ordinals as '#N')."""
    info = pe_info(data)
    rva, size = info['dirs'][1] if len(info['dirs']) > 1 else (0, 0)
    imports = {}
    if rva == 0 or size == 0:
        return imports
    wide = info['magic'] == 0x20B
    thunk_size, ordinal_bit = (8, 1 << 63) if wide else (4, 1 << 31)
    desc = _rva_to_offset(info, rva)
    while True:
        lookup, _, _, name_rva, first = struct.unpack_from('<IIIII', data, desc)
        if name_rva == 0:
            break
        dll = _c_string(data, _rva_to_offset(info, name_rva)).lower()
        names = imports.setdefault(dll, set())
        thunk = _rva_to_offset(info, lookup or first)
        while True:
            value = struct.unpack_from('<Q' if wide else '<I', data, thunk)[0]
            if value == 0:
                break
            if value & ordinal_bit:
                names.add('#%d' % (value & 0xFFFF))
            else:
                names.add(_c_string(data, _rva_to_offset(info, value & 0x7FFFFFFF) + 2))
            thunk += thunk_size
        desc += 20
    return imports


def read_resources(data):
    info = pe_info(data)
    if len(info['dirs']) < 3 or info['dirs'][2][0] == 0:
        return {}
    root = _rva_to_offset(info, info['dirs'][2][0])
    seen = set()

    def entries(dir_off):
        if dir_off in seen:
            raise PeError('resource directory loop')
        seen.add(dir_off)
        named, ids = struct.unpack_from('<HH', data, dir_off + 12)
        for i in range(named + ids):
            name_field, target = struct.unpack_from('<II', data, dir_off + 16 + 8 * i)
            if name_field & 0x80000000:
                so = root + (name_field & 0x7FFFFFFF)
                length = _u16(data, so)
                key = data[so + 2: so + 2 + 2 * length].decode('utf-16-le')
            else:
                key = name_field & 0xFFFF
            yield key, target

    result = {}
    for rtype, t1 in entries(root):
        if not t1 & 0x80000000:
            raise PeError('type entry without sub-directory')
        for rname, t2 in entries(root + (t1 & 0x7FFFFFFF)):
            if not t2 & 0x80000000:
                raise PeError('name entry without sub-directory')
            for lang, t3 in entries(root + (t2 & 0x7FFFFFFF)):
                if t3 & 0x80000000:
                    raise PeError('language entry is a directory')
                rva, size = struct.unpack_from('<II', data, root + t3)
                off = _rva_to_offset(info, rva)
                if off + size > len(data):
                    raise PeError('resource data past the end of the file')
                result.setdefault((rtype, rname), []).append((lang, bytes(data[off:off + size])))
    return result


def _sz_or_ord(data, off):
    """A DLGTEMPLATEEX name field: 0, 0xFFFF + ordinal, or a zero-terminated UTF-16 text."""
    first = _u16(data, off)
    if first == 0:
        return '', off + 2
    if first == 0xFFFF:
        return _u16(data, off + 2), off + 4
    end = off
    while _u16(data, end) != 0:
        end += 2
    return data[off:end].decode('utf-16-le'), end + 2


def parse_dialogex(data):
    """Decodes an extended dialog template into a dict with its controls."""
    ver, sig = struct.unpack_from('<HH', data, 0)
    if ver != 1 or sig != 0xFFFF:
        raise PeError('not an extended dialog template')
    help_id, ex_style, style, count, x, y, cx, cy = struct.unpack_from('<IIIHhhhh', data, 4)
    off = 26
    menu, off = _sz_or_ord(data, off)
    wclass, off = _sz_or_ord(data, off)
    title, off = _sz_or_ord(data, off)
    dlg = {'style': style, 'ex_style': ex_style, 'rect': (x, y, cx, cy), 'menu': menu, 'class': wclass,
           'title': title, 'font': None, 'controls': []}
    if style & 0x40 or style & 0x48:  # DS_SETFONT / DS_SHELLFONT
        point, weight, italic, charset = struct.unpack_from('<HHBB', data, off)
        face, off = _sz_or_ord(data, off + 6)
        dlg['font'] = {'point': point, 'weight': weight, 'italic': italic, 'charset': charset, 'face': face}
    for _ in range(count):
        off = (off + 3) & ~3
        help_id, ex_style, style, x, y, cx, cy, cid = struct.unpack_from('<IIIhhhhI', data, off)
        off += 24
        cclass, off = _sz_or_ord(data, off)
        text, off = _sz_or_ord(data, off)
        extra = _u16(data, off)
        off += 2 + extra
        if cid & 0x80000000:
            cid -= 1 << 32
        dlg['controls'].append({'id': cid, 'class': cclass, 'text': text, 'style': style, 'ex_style': ex_style,
                                'rect': (x, y, cx, cy)})
    return dlg
