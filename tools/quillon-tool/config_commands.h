// quillon-tool commands for images, titles and package checks.
#pragma once

#include <vector>

#include "platform/os_types.h"
#include "tools/package-lint/lint_files.h"  // ToolReadFile, ToolChecksumVariant

int ToolImageInfo(int argc, const WCH* const* argv);
int ToolImageVerify(int argc, const WCH* const* argv);
int ToolImageReseal(int argc, const WCH* const* argv);
int ToolImageMake(int argc, const WCH* const* argv);
int ToolTitleEncode(int argc, const WCH* const* argv);
int ToolTitleDecode(int argc, const WCH* const* argv);
int ToolPackageLint(int argc, const WCH* const* argv);

// A file the user named, read whole: on failure prints "LABEL PATH: no such
// file" (or "is a folder, not a file", "not a regular file …", "N bytes, more
// than …", "cannot be read") and returns false.
bool ToolReadInput(const WCH* path, const WCH* label, std::vector<BYTE>* bytes);
