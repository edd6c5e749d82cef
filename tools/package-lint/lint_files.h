// Whole files and image checksums, as the package lint and quillon-tool's
// image commands read them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/os_types.h"

// A whole regular file of at most 64 MiB (the bound of image files), read
// by the program's own reader of image files: pipes, devices and links are
// never opened, the size is taken in 64 bits. Returns ReadPlainFile's result
// (package/image.h); *size is the file's size when it was too large.
int ToolReadPlainFile(const WCH* path, std::vector<BYTE>* bytes, uint64_t* size);
// The same; false when it cannot be read.
bool ToolReadFile(const WCH* path, std::vector<BYTE>* bytes);
// Which stored checksum an image carries: 1 CRC-32C, 0 CRC-32, -1 neither.
int ToolChecksumVariant(const BYTE* data, size_t size);
