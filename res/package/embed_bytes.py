#!/usr/bin/env python3
"""Turns the package zip into a C++ source that registers it as the
executable's FWPACKAGEZIP 1000 resource on the Linux host.
   embed_bytes.py PACKAGE.zip OUT.cpp"""
import sys

data = open(sys.argv[1], "rb").read()
lines = []
for i in range(0, len(data), 20):
    lines.append("    " + ", ".join(f"0x{b:02X}" for b in data[i:i + 20]) + ",")
src = f"""// Generated from {sys.argv[1].split('/')[-1]} by res/package/embed_bytes.py.
#include "res/package/default_package.h"

#include "platform/host/host_control.h"

namespace {{
const unsigned char kPackage[] = {{
{chr(10).join(lines)}
}};
}}  // namespace

const unsigned char* DefaultPackageBytes(size_t* size) {{
    *size = sizeof kPackage;
    return kPackage;
}}

void RegisterDefaultPackage() {{ HostRegisterResource(u"FWPACKAGEZIP", 1000, kPackage, sizeof kPackage); }}
"""
open(sys.argv[2], "w").write(src)
