// Unpacking of the firmware package carried as a resource.
#pragma once

#include "platform/os_types.h"

// Writes the resource (type name, integer id) of the running executable to a
// temporary archive and extracts every entry into work_dir. No result: a
// package that cannot be unpacked shows later as missing configuration.
void ExtractPackage(const WCH* type, unsigned id, const WCH* work_dir);
