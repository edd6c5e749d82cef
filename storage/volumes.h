// Drive letters: which volumes lie on the drives an enumeration found.
#pragma once

#include "core/disk_info.h"

// For each letter C to Z whose volume can be opened and is on a disk, the first
// record of list[0..count) with that disk number gets the letter appended to
// szVolumes as "%c: ", bRaw 0, and bSystemDisk 1 for C.
void AttachVolumes(DiskInfo* list, uint32_t count);
