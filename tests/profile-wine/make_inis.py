#!/usr/bin/env python3
"""Writes the profile files that profile_probe reads, into the folder given."""
import os
import sys

out = sys.argv[1]
os.makedirs(out, exist_ok=True)


def put(name, data):
    with open(os.path.join(out, name), "wb") as f:
        f.write(data)


BASIC = """\
[UpdateInfo]
  Title  =  41 00 42 00  
SOCID=VELQORAX
quoted="  padded  "
single='abc'
mismatch="abc'
onlyquote="
emptyq=""
inner=a"b"c
noval
empty=
eqs=a=b=c
dup=first
DUP=second
comment=1 ; not a comment
;hidden=3
tabbed\t=\tx\ty\t
[updateinfo]
late=yes
dup=third
[ Spaced ]
k=v
[NandMap]
89C40832A600_1=VX500_B17A.bin
2CC30832EA_2 = VX500_N48R.bin
=nokey
[Ints]
plain=42
neg=-7
plus=+9
hex=0x1F
hexupper=0X1F
octal=0o17
bin=0b101
lead=  12abc
trail=12 34
big=4294967297
huge=123456789012345678901234567890123
nodigit=abc
quoted="15"
empty=
power1=256
power2=258
minus0=-0
spaceq=" 33"
minusbig=-4294967295
"""
put("basic_crlf.ini", BASIC.replace("\n", "\r\n").encode("ascii"))
put("basic_lf.ini", BASIC.encode("ascii"))
put("basic_cr.ini", BASIC.replace("\n", "\r").encode("ascii"))

ODD = (
    "top=before any section\n"
    "[broken\n"
    "x=under broken\n"
    "[a]b]\n"
    "k=in a]b\n"
    "[Sec] trailing words\n"
    "k=in Sec\n"
    "   [Indented]\n"
    "k=indented\n"
    "[]\n"
    "k=empty name\n"
    "[Blank]\n"
    "\n\n   \n"
    "k=after blanks\n"
    "k2=last\x1a\n"
)
put("odd.ini", ODD.encode("ascii"))

UNI = "[UPDATEINFO]\r\nTITLE=Caf\u00e9 \u6f22\u5b57\r\nSOCID = \u00c9T\u00c9 \r\nsp=\u3000x\u2003\u0085\r\nvt=\x0bx\x0c\r\n[\u00c9t\u00e9]\r\nk=accent section\r\n"
put("utf16le.ini", b"\xff\xfe" + UNI.encode("utf-16-le"))
put("utf16be.ini", b"\xfe\xff" + UNI.encode("utf-16-be"))
put("utf8bom.ini", b"\xef\xbb\xbf" + UNI.encode("utf-8"))
put("ansi.ini", b"[UPDATEINFO]\r\nname=caf\xe9\r\nnbsp=\xa0x\xa0\r\nup=\xc9T\xc9\r\n[\xc9t\xe9]\r\nk=accent\r\n")
put("empty.ini", b"")

LONG = "[L]\nv=" + "".join(chr(ord("A") + i % 26) for i in range(300)) + "\nq=\"" + "x" * 8 + "\"\n"
put("long.ini", LONG.encode("ascii"))

LIST = (
    "[NandMap]\n"
    "AAAA_1=a.bin\n"
    "noequals\n"
    ";comment=1\n"
    "BBBBBBBB_2=b.bin\n"
    "cc=\n"
    "[Other]\n"
    "z=1\n"
    "[nandmap]\n"
    "later=1\n"
    "[EmptySec]\n"
    "[OnlyComments]\n"
    ";c=1\n"
    "novalue\n"
)
put("list.ini", LIST.encode("ascii"))
