#!/usr/bin/env python3
"""Writes the generated seed corpora of the fuzz harnesses (the binary ones;
the text seeds live in fuzz/seeds/<target>/).
   scripts/fuzz-seeds.py TARGET OUT_DIR      (TARGET: zip, image, identify)"""
import io
import os
import struct
import sys
import zipfile
import zlib

PAGE = 4096


def crc32c(data, crc=0):
    table = crc32c.table
    if table is None:
        table = []
        for i in range(256):
            c = i
            for _ in range(8):
                c = (c >> 1) ^ 0x82F63B78 if c & 1 else c >> 1
            table.append(c)
        crc32c.table = table
    c = crc ^ 0xFFFFFFFF
    for b in data:
        c = table[(c ^ b) & 0xFF] ^ (c >> 8)
    return c ^ 0xFFFFFFFF


crc32c.table = None


def image(regions, pages, version, ftl=1234, variant=1, config=b""):
    """A CMFG image of `pages` pages; regions: three (first, last) pairs."""
    data = bytearray(pages * PAGE)
    data[0:4] = b"CMFG"
    for r, (first, last) in enumerate(regions):
        struct.pack_into("<II", data, 0x10 + 8 * r, first, last)
    cfg = regions[2][0] * PAGE
    data[cfg:cfg + len(config)] = config
    trailer = (regions[2][1] + 1) * PAGE
    data[trailer + 0x10:trailer + 0x18] = version
    struct.pack_into("<I", data, trailer + 0xFF8, ftl)
    covered = bytes(data[0:0x50]) + bytes(PAGE - 0x50)
    for first, last in regions:
        covered += bytes(data[first * PAGE:(last + 1) * PAGE])
    crc = crc32c(covered) if variant else zlib.crc32(covered)
    struct.pack_into("<I", data, trailer + 0x0C, crc)
    return bytes(data)


def zip_seeds():
    """Small archives of the kinds the reader must handle."""
    image_bytes = bytes((i * 7 + i // 13) & 0xFF for i in range(3000))
    for name, method in (("deflated.zip", zipfile.ZIP_DEFLATED), ("stored.zip", zipfile.ZIP_STORED)):
        buf = io.BytesIO()
        with zipfile.ZipFile(buf, "w", method) as z:
            for entry, data in (("QuillonInfo.ini", b"[UPDATEINFO]\r\nTitle=Seed\r\n"), ("sub/", b""),
                                ("sub/image.bin", image_bytes), ("empty.bin", b"")):
                # Fixed times: the same seeds on every run.
                z.writestr(zipfile.ZipInfo(entry, date_time=(2024, 5, 6, 7, 8, 10)), data, compress_type=method)
        yield name, buf.getvalue()
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w", zipfile.ZIP_DEFLATED) as z:
        i = zipfile.ZipInfo("t.txt", date_time=(2020, 1, 2, 3, 4, 6))
        i.extra = b"UT" + struct.pack("<HBii", 9, 3, 1000000000, 1100000000)
        z.writestr(i, b"timestamps" * 20)
        z.writestr(zipfile.ZipInfo("dir/", date_time=(2021, 2, 3, 4, 5, 6)), b"")
        z.comment = b"seed comment"
    yield "ut.zip", buf.getvalue()

    class Pipe:  # not seekable: sizes go into a data descriptor
        def __init__(self): self.parts = []
        def write(self, b): self.parts.append(bytes(b)); return len(b)
        def flush(self): pass
    pipe = Pipe()
    z = zipfile.ZipFile(pipe, "w", zipfile.ZIP_DEFLATED)
    info = zipfile.ZipInfo("d.bin", date_time=(2022, 1, 1, 0, 0, 0))
    info.compress_type = zipfile.ZIP_DEFLATED
    with z.open(info, "w") as w:
        w.write(bytes(range(256)) * 8)
    z.close()
    yield "descriptor.zip", b"".join(pipe.parts)
    buf = io.BytesIO()
    zipfile.ZipFile(buf, "w").close()
    yield "empty.zip", buf.getvalue()


def image_seeds():
    config = bytearray(PAGE)
    config[0x428:0x430] = b"OLDVERS1"
    yield "crc32c.bin", bytes([0x05]) + image([(1, 1), (2, 2), (3, 3)], 5, b"1A2B3C4D", variant=1, config=config)
    yield "crc32.bin", bytes([0x32]) + image([(1, 1), (2, 2), (3, 3)], 5, b"\x001\x002\x003\x004", variant=0)
    # Region 0 on the header page, region 2 inside region 1.
    yield "overlap.bin", bytes([0x65]) + image([(0, 0), (1, 2), (2, 2)], 4, b"1A\x002\x003\x004")
    yield "dotted-text.bin", bytes([0x27]) + b"\x00" * 40 + b"FW1..2.3.4 FW1.2.3.4\x00" + b"\x00" * 16
    yield "short-version.bin", bytes([0x11]) + image([(1, 1), (1, 1), (2, 2)], 4, b"\x001\x002\x00\x00\x00\x00")


def identify_seeds():
    """byte 0 the attachment, byte 1 options, then one record per answer
    (see fuzz/identify_fuzzer.cpp); no records: the model's own answers."""
    for attachment in range(8):
        for options in (0x00, 0x01, 0x0E, 0x12, 0x20, 0xC0):
            yield "a%d-o%02x.bin" % (attachment, options), bytes([attachment, options])
    # Native drive: the first answer (Identify Controller) with a model of
    # blanks and a revision cut short; the second (Identify Namespace) with LBADS 12.
    yield "native-texts.bin", bytes([0, 0, 0x02, 24, 0, 4, 32, 32, 32, 32, 64, 0, 2, 0x31, 0x00,
                                     0x01, 130, 0, 1, 12])
    # Every answer failed.
    yield "all-fail.bin", bytes([2, 0]) + bytes([0x80]) * 24


def main():
    target, out = sys.argv[1], sys.argv[2]
    os.makedirs(out, exist_ok=True)
    seeds = {"zip": zip_seeds, "image": image_seeds, "identify": identify_seeds}[target]
    for name, data in seeds():
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
