// Whole files and image checksums, as the package lint and quillon-tool's
// image commands read them.
#pragma once

#include <cstddef>
#include <vector>

#include "platform/os_types.h"

// A whole file; false when it cannot be read.
bool ToolReadFile(const WCH* path, std::vector<BYTE>* bytes);
// Which stored checksum an image carries: 1 CRC-32C, 0 CRC-32, -1 neither.
int ToolChecksumVariant(const BYTE* data, size_t size);
