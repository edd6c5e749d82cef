// The firmware package the build embeds (Linux host): the same zip bytes
// Quillon.exe carries as its FWPACKAGEZIP 1000 resource.
#pragma once

#include <cstddef>

const unsigned char* DefaultPackageBytes(size_t* size);
// Registers the bytes with the host's resource registry, so ExtractPackage
// finds them as the running executable's resource.
void RegisterDefaultPackage();
