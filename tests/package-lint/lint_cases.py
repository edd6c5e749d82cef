#!/usr/bin/env python3
"""quillon-tool package lint against deliberately broken packages: each case
changes one thing in a copy of the default package and must fail with the
message that names it; the default package itself must pass.
   lint_cases.py QUILLON_TOOL RES_PACKAGE_DIR DEFAULT_ZIP WORK_DIR"""
import json
import os
import shutil
import struct
import subprocess
import sys
import zipfile

tool, res, default_zip, work = sys.argv[1:5]
env = dict(os.environ, ASAN_OPTIONS="detect_leaks=0")
shutil.rmtree(work, ignore_errors=True)
os.makedirs(work)
INI = open(os.path.join(res, "QuillonInfo.ini"), "rb").read().decode("ascii")


def run(*args):
    p = subprocess.run([tool, *args], capture_output=True, text=True, env=env)
    return p.returncode, p.stdout + p.stderr


def make_image(path, version="1A2B3C5E", firmware=b"firmware bytes " * 100):
    fw = path + ".fw"
    open(fw, "wb").write(firmware)
    code, out = run("image", "make", path, "--firmware", fw, "--config-version", "VX5A0100",
                    "--version", version, "--build", "0x00012345")
    os.remove(fw)
    assert code == 0, out


def package(name, ini=INI, images=("VX500_B17A.bin", "VX500_N48R.bin"), change_image=None, as_zip=False):
    d = os.path.join(work, name)
    os.makedirs(d)
    if ini is not None:
        open(os.path.join(d, "QuillonInfo.ini"), "w", newline="").write(ini)
    for img in images:
        make_image(os.path.join(d, img))
    if change_image:
        change_image(os.path.join(d, images[0]))
    if not as_zip:
        return d
    z = d + ".zip"
    with zipfile.ZipFile(z, "w", zipfile.ZIP_DEFLATED) as f:
        for n in sorted(os.listdir(d)):
            f.write(os.path.join(d, n), n)
    return z


def patch(offset, value):
    def change(path):
        data = bytearray(open(path, "rb").read())
        if offset < 0:
            data = data[:offset]
        else:
            data[offset:offset + 4] = struct.pack("<I", value)
        open(path, "wb").write(data)
    return change


def replace(old, new):
    assert old in INI, old
    return INI.replace(old, new)


def no_magic(path):
    data = bytearray(open(path, "rb").read())
    data[0:4] = b"XXXX"
    open(path, "wb").write(data)


def unreadable_version(path):
    # Header version "1.2" (too short) and no dotted text anywhere to scan.
    make_image(path, version="1.2.3.4", firmware=b"plain firmware " * 50)
    data = bytearray(open(path, "rb").read())
    trailer = (struct.unpack_from("<I", data, 0x24)[0] + 1) * 4096
    data[trailer + 0x10:trailer + 0x18] = bytes([0, ord("1"), 0, ord("2"), 0, 0, 0, 0])
    open(path, "wb").write(data)
    code, out = run("image", "reseal", path)
    assert code == 0, out


cases = [
    ("no-ini", dict(ini=None), "QuillonInfo.ini is missing"),
    ("no-title", dict(ini="\n".join(l for l in INI.split("\n") if not l.startswith("TITLE="))), "TITLE is missing"),
    ("title-text", dict(ini=replace("TITLE=51 00", "TITLE=Quillon 51 00")), "TITLE must be hexadecimal"),
    ("socid-case", dict(ini=replace("SOCID=VELQORAX", "SOCID=velqorax")), "SOCID velqorax is none of"),
    ("socid-hex-case", dict(ini=replace("SOCID=VELQORAX", "SOCID=0X5236")), "SOCID 0X5236 is none of"),
    ("socid-short", dict(ini=replace("SOCID=VELQORAX", "SOCID=0x523")), "SOCID 0x523 is none of"),
    ("socid-empty", dict(ini=replace("SOCID=VELQORAX", "SOCID=")), "SOCID is missing or empty"),
    ("model-bars", dict(ini=replace("ModelName=|VELQORAX VX500 512GB|", "ModelName=VELQORAX VX500 512GB|")),
     "ModelName must be written |a|b|"),
    ("fwversion-bars", dict(ini=replace("FWVersion=|VX5A0100|VX5A0101|", "FWVersion=|VX5A0100|VX5A0101")),
     "FWVersion must be written |a|b|"),
    ("int-hex", dict(ini=replace("iInternalFWVersionCheckPart=3", "iInternalFWVersionCheckPart=0x3")),
     "iInternalFWVersionCheckPart=0x3 is not a plain decimal number"),
    ("powerctrl-range", dict(ini=replace("PowerCtrl=0", "PowerCtrl=257")), "PowerCtrl=257 is out of range"),
    ("nand-suffix", dict(ini=replace("89C40832A600_1=", "89C40832A600_3=")), "key 89C40832A600_3 is neither"),
    ("nand-digits", dict(ini=replace("2CC30832EA_2=", "2CC30832EA3_2=")), "key 2CC30832EA3_2 is neither"),
    ("nand-path", dict(ini=replace("=VX500_N48R.bin", "=..\\VX500_N48R.bin")), "is not a plain file name"),
    ("nand-empty", dict(ini=INI[:INI.index("[NandMap]")]), "NandMap: no entries"),
    ("image-no-magic", dict(change_image=no_magic), "VX500_B17A.bin: no CMFG magic"),
    ("image-region-outside", dict(change_image=patch(0x14, 4000)), "VX500_B17A.bin: a region or the trailer page lies outside"),
    ("image-region-reversed", dict(change_image=patch(0x18, 9)), "VX500_B17A.bin: a region or the trailer page lies outside"),
    ("image-no-trailer", dict(change_image=patch(-4096, 0)), "VX500_B17A.bin: a region or the trailer page lies outside"),
    ("image-checksum", dict(change_image=patch(4096 + 100, 0x12345678)), "VX500_B17A.bin: the checksum matches neither"),
    ("image-version", dict(change_image=unreadable_version), "VX500_B17A.bin: no version text the tool can read"),
]

failures = 0
for name, kwargs, expected in cases:
    for as_zip in (False, True):
        if as_zip and kwargs.get("ini", "") is None:
            continue
        target = package(name + ("-zip" if as_zip else ""), as_zip=as_zip, **kwargs)
        code, out = run("package", "lint", target)
        if code != 1 or expected not in out:
            failures += 1
            print(f"FAIL {name}{' (zip)' if as_zip else ''}: exit {code}, expected '{expected}'\n{out}")

# Entries the reader refuses: the file they carry never reaches the work
# directory, so the lint fails and says why.
def zip_with(name, extra):
    d = package(name)
    z = d + ".zip"
    with zipfile.ZipFile(z, "w", zipfile.ZIP_DEFLATED) as f:
        for n in sorted(os.listdir(d)):
            f.write(os.path.join(d, n), n)
        for entry, data in extra:
            f.writestr(entry, data)
    return z


def bsdtar_from_dot(name):
    d = package(name)
    z = d + ".zip"
    subprocess.run(["bsdtar", "--format", "zip", "-cf", z, "."], cwd=d, check=True)
    return z


zip_cases = [
    ("zip-dot", bsdtar_from_dot, "zip entry ./QuillonInfo.ini cannot be extracted: its name has a \".\" component"),
    ("zip-parent", lambda n: zip_with(n, [("../extra.bin", b"x")]),
     "zip entry ../extra.bin cannot be extracted: its name has a \"..\" component"),
    ("zip-parent-inside", lambda n: zip_with(n, [("a/../../extra.bin", b"x")]),
     "zip entry ../extra.bin cannot be extracted: its name has a \"..\" component"),
    ("zip-colon", lambda n: zip_with(n, [("ab:stream.bin", b"x")]),
     "zip entry ab:stream.bin cannot be extracted: its name holds a colon"),
    ("zip-forbidden", lambda n: zip_with(n, [("what?.bin", b"x")]),
     "zip entry what?.bin cannot be extracted: its name holds a character Windows forbids"),
]
for name, make, expected in zip_cases:
    code, out = run("package", "lint", make(name))
    if code != 1 or expected not in out:
        failures += 1
        print(f"FAIL {name}: exit {code}, expected '{expected}'\n{out}")

# Things the tool tolerates but that do not do what the author meant: the
# lint passes and warns.
def with_folder(name):
    d = package(name)
    os.makedirs(os.path.join(d, "notes"))
    return d


warn_cases = [
    ("warn-nested-entry", lambda n: zip_with(n, [("notes/readme.txt", b"x")]),
     "zip entry notes/readme.txt is not at the top level"),
    ("warn-folder", with_folder, "folder notes is not at the top level"),
    ("warn-unknown-key", lambda n: package(n, ini=replace("PowerCtrl=0", "PowerCrtl=2")),
     "key PowerCrtl is not one the tool reads"),
    ("warn-odd-title", lambda n: package(n, ini=replace("TITLE=51 00", "TITLE=51 00 00")),
     "TITLE has an odd number of bytes"),
    ("warn-lower-br", lambda n: package(n, ini=replace("updated.<BR>Do", "updated.<br>Do")),
     "BeforeMessage has a line break not written <BR> in capitals"),
    ("warn-empty-newversion", lambda n: package(n, ini=replace("NEWVERSION=VX5A0200", "NEWVERSION=")),
     "NEWVERSION is empty"),
    ("warn-placeholder", lambda n: package(n), "453C98B37672_1=NONE names no file in the package"),
]
for name, make, expected in warn_cases:
    code, out = run("package", "lint", make(name))
    if code != 0 or expected not in out:
        failures += 1
        print(f"FAIL {name}: exit {code}, expected '{expected}'\n{out}")

not_zip = os.path.join(work, "not-a-zip.zip")
open(not_zip, "wb").write(b"PK\x03\x04 this is no archive")
code, out = run("package", "lint", not_zip)
if code != 1 or "is not a zip archive" not in out:
    failures += 1
    print(f"FAIL not-a-zip: exit {code}\n{out}")

# What the lint was given goes by content, not by the name's suffix.
def check(name, args, want_code, *wanted, stream="out"):
    global failures
    p = subprocess.run([tool, *args], capture_output=True, text=True, env=env)
    text = p.stdout if stream == "out" else p.stderr
    if p.returncode != want_code or any(w not in text for w in wanted):
        failures += 1
        print(f"FAIL {name}: exit {p.returncode}, expected {want_code} and {wanted} on std{stream}\n{p.stdout}{p.stderr}")
    return p


renamed = os.path.join(work, "my.pkg")
shutil.copyfile(default_zip, renamed)
check("zip-by-content", ["package", "lint", renamed], 0, "my.pkg: 0 errors")
folder_zip = package("folder.zip")
check("folder-named-zip", ["package", "lint", folder_zip], 0, "folder.zip: 0 errors")
check("missing", ["package", "lint", os.path.join(work, "missing.zip")], 1,
      f"quillon-tool: {os.path.join(work, 'missing.zip')}: no such file or folder", stream="err")
text_file = os.path.join(work, "notes.txt")
open(text_file, "w").write("just words\n")
check("neither", ["package", "lint", text_file], 1, "neither a zip archive, a Windows executable nor a folder",
      stream="err")


def pe_with_resource(path, payload, type_name="FWPACKAGEZIP", pe32_plus=False):
    """A minimal PE: one .rsrc section holding type/name 1000/language 0x409."""
    name = type_name.encode("utf-16-le")
    tree = bytearray()
    tree += struct.pack("<IIHHHH", 0, 0, 0, 0, 1, 0)                 # root: one named entry
    tree += struct.pack("<II", 0x80000000 | 0x48, 0x80000000 | 0x18)  # name string at 0x48, sub-directory at 0x18
    tree += struct.pack("<IIHHHH", 0, 0, 0, 0, 0, 1)                 # 0x18: names
    tree += struct.pack("<II", 1000, 0x80000000 | 0x30)
    tree += struct.pack("<IIHHHH", 0, 0, 0, 0, 0, 1)                 # 0x30: languages
    tree += struct.pack("<II", 0x409, 0x70)
    tree += struct.pack("<H", len(type_name)) + name                  # 0x48
    assert len(tree) <= 0x70
    tree += b"\0" * (0x70 - len(tree))
    rva = 0x1000
    tree += struct.pack("<IIII", rva + 0x80, len(payload), 0, 0)      # 0x70: data entry
    tree += payload                                                   # 0x80
    opt_size = 240 if pe32_plus else 224
    head = bytearray(b"MZ" + b"\0" * 0x3A + struct.pack("<I", 0x40))
    head += b"PE\0\0" + struct.pack("<HHIIIHH", 0x8664 if pe32_plus else 0x14C, 1, 0, 0, 0, opt_size, 0x102)
    opt = bytearray(opt_size)
    struct.pack_into("<H", opt, 0, 0x20B if pe32_plus else 0x10B)
    dirs = 112 if pe32_plus else 96
    struct.pack_into("<I", opt, dirs - 4, 16)
    struct.pack_into("<II", opt, dirs + 16, rva, len(tree))
    head += opt
    head += b".rsrc\0\0\0" + struct.pack("<IIIIIIHHI", len(tree), rva, len(tree), 0x400, 0, 0, 0, 0, 0x40000040)
    head += b"\0" * (0x400 - len(head))
    open(path, "wb").write(bytes(head + tree))


package_bytes = open(default_zip, "rb").read()
exe = os.path.join(work, "Quillon.exe")
pe_with_resource(exe, package_bytes)
check("executable", ["package", "lint", exe], 0,
      f"Quillon.exe: resource FWPACKAGEZIP 1000, {len(package_bytes)} bytes", "Quillon.exe: 0 errors")
exe64 = os.path.join(work, "Quillon64.bin")
pe_with_resource(exe64, package_bytes, pe32_plus=True)
check("executable-pe32+", ["package", "lint", exe64], 0, "resource FWPACKAGEZIP 1000", "0 errors")
broken_exe = os.path.join(work, "Broken.exe")
inside = package("broken-inside", ini=replace("SOCID=VELQORAX", "SOCID=velqorax"), as_zip=True)
pe_with_resource(broken_exe, open(inside, "rb").read())
check("executable-findings", ["package", "lint", broken_exe], 1, "SOCID velqorax is none of")
other_exe = os.path.join(work, "Other.exe")
pe_with_resource(other_exe, b"icon", type_name="OTHERDATA")
check("executable-without", ["package", "lint", other_exe], 1, "a Windows executable without a FWPACKAGEZIP resource",
      stream="err")
cut_exe = os.path.join(work, "Cut.exe")
open(cut_exe, "wb").write(open(exe, "rb").read()[:0x400 + 0x80 + 100])
check("executable-cut", ["package", "lint", cut_exe], 1, "a Windows executable whose resources cannot be read",
      stream="err")

# Every byte of an executable is the file's to choose: cut short or with a
# resource-directory field overwritten, the lint refuses or reports, and
# never reads outside the file (the tool is built with AddressSanitizer).
whole = open(exe, "rb").read()
damaged = [whole[:n] for n in list(range(0, 0x480, 61)) + [0x47F, 0x480, 0x4A0, len(whole) - 1]]
opt = 0x58  # PE32: e_lfanew, section count, optional header size, magic, directory count, resource directory,
section = opt + 224  # and the section's addresses and sizes; then every word of the resource tree
fields = [0x3C, 0x46, 0x54, opt, opt + 92, opt + 112, opt + 116, section + 8, section + 12, section + 16, section + 20]
for at in fields + list(range(0x400, 0x480, 8)):
    for value in (0xFFFFFFFF, 0x80000040):
        damaged.append(whole[:at] + struct.pack("<I", value) + whole[at + 4:])
crashes = 0
for i, data in enumerate(damaged):
    path = os.path.join(work, "damaged.exe")
    open(path, "wb").write(data)
    p = subprocess.run([tool, "package", "lint", path], capture_output=True, text=True, env=env)
    if p.returncode not in (0, 1) or "Sanitizer" in p.stderr or "runtime error" in p.stderr:
        crashes += 1
        if crashes <= 3:
            print(f"FAIL damaged executable {i}: exit {p.returncode}\n{p.stderr[-600:]}")
if crashes:
    failures += 1

# New findings, each in a package that is otherwise whole.
def bzip2_entry(name):
    d = package(name)
    z = d + ".zip"
    with zipfile.ZipFile(z, "w", zipfile.ZIP_DEFLATED) as f:
        for n in sorted(os.listdir(d)):
            f.write(os.path.join(d, n), n)
        f.writestr("notes.txt", b"compressed with bzip2 " * 20, compress_type=zipfile.ZIP_BZIP2)
    return z


utf8_message = replace("BeforeMessage=The firmware", "BeforeMessage=Mise à jour: the firmware")
check("error-bzip2", ["package", "lint", bzip2_entry("bzip2")], 1,
      "error: zip entry notes.txt cannot be extracted: bzip2 (method 12) is not supported; use deflate or store")
d = package("utf8", ini=utf8_message)
offset = open(os.path.join(d, "QuillonInfo.ini"), "rb").read().index("à".encode())
check("warn-utf8", ["package", "lint", d], 0,
      f"warning: UPDATEINFO: BeforeMessage has non-ASCII text at byte offset {offset} of QuillonInfo.ini: the tool "
      "reads the file in the system code page, so UTF-8 shows as \"Mise Ã\xa0 jour", "save the file as UTF-16")
d = package("utf8-bom")
open(os.path.join(d, "QuillonInfo.ini"), "wb").write(b"\xef\xbb\xbf" + utf8_message.encode())
p = check("utf8-with-bom", ["package", "lint", d], 0, "0 errors, 1 warnings")
if "non-ASCII" in p.stdout:
    failures += 1
    print("FAIL utf8-with-bom: a file with a byte-order mark is read in its own encoding\n" + p.stdout)
keep_plain = package("keep-plain", ini=replace("NEWVERSION=VX5A0200", "NEWVERSION=keep"), change_image=no_magic)
check("warn-keep-plain", ["package", "lint", keep_plain], 1,
      "warning: UPDATEINFO: NEWVERSION=keep with plain image VX500_B17A.bin (not a configuration image): the drive is "
      "given the text \"KEEP\" as its version")
keep_sata = package("keep-sata", ini=replace("NEWVERSION=VX5A0200", "NEWVERSION=KEEP").replace("bIsSATA=0", "bIsSATA=1"),
                    change_image=no_magic)
p = check("keep-sata-no-warning", ["package", "lint", keep_sata], 1, "no CMFG magic")
if "NEWVERSION=KEEP with plain image" in p.stdout:
    failures += 1
    print("FAIL keep-sata-no-warning: a SATA package skips the configuration block and keeps its version\n" + p.stdout)

# --json: one document with the same counts and messages.
p = subprocess.run([tool, "package", "lint", "--json", keep_plain], capture_output=True, text=True, env=env)
try:
    doc = json.loads(p.stdout)
    ok = (p.returncode == 1 and doc["kind"] == "folder" and doc["resource"] is None and doc["errors"] == 2 and
          doc["warnings"] == sum(f["severity"] == "warning" for f in doc["findings"]) and
          any(f["severity"] == "error" and "no CMFG magic" in f["message"] for f in doc["findings"]) and
          [i["file"] for i in doc["images"]] == ["VX500_N48R.bin"] and doc["images"][0]["version"] == "1A2B3C5E")
except (ValueError, KeyError, TypeError) as e:
    ok = False
if not ok:
    failures += 1
    print(f"FAIL json: exit {p.returncode}\n{p.stdout}{p.stderr}")
p = subprocess.run([tool, "package", "lint", exe, "--json"], capture_output=True, text=True, env=env)
try:
    doc = json.loads(p.stdout)
    ok = p.returncode == 0 and doc["kind"] == "executable" and doc["resource"]["size"] == len(package_bytes) and \
        doc["resource"]["id"] == 1000 and doc["errors"] == 0
except (ValueError, KeyError, TypeError):
    ok = False
if not ok:
    failures += 1
    print(f"FAIL json executable: exit {p.returncode}\n{p.stdout}{p.stderr}")

code, out = run("package", "lint", default_zip)
if code != 0 or "0 errors" not in out:
    failures += 1
    print(f"FAIL the default package does not pass: exit {code}\n{out}")

print(f"package lint: {len(cases)} broken packages (directory and zip), {len(zip_cases)} refused zip entries, "
      f"{len(warn_cases)} warnings, default package; {failures} failures")
sys.exit(1 if failures else 0)
