// quillon-tool commands for images, titles and package checks.
#pragma once

#include <vector>

#include "platform/os_types.h"

int ToolImageInfo(int argc, const WCH* const* argv);
int ToolImageVerify(int argc, const WCH* const* argv);
int ToolImageReseal(int argc, const WCH* const* argv);
int ToolImageMake(int argc, const WCH* const* argv);
int ToolTitleEncode(int argc, const WCH* const* argv);
int ToolTitleDecode(int argc, const WCH* const* argv);
int ToolPackageLint(int argc, const WCH* const* argv);

// A whole file; false when it cannot be read.
bool ToolReadFile(const WCH* path, std::vector<BYTE>* bytes);
// The same for a file the user named: on failure prints "LABEL PATH: no such
// file" (or "is a folder, not a file", "cannot be read") and returns false.
bool ToolReadInput(const WCH* path, const WCH* label, std::vector<BYTE>* bytes);
// Which stored checksum an image carries: 1 CRC-32C, 0 CRC-32, -1 neither.
int ToolChecksumVariant(const BYTE* data, size_t size);
