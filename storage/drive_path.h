// The physical drive paths "\\.\PhysicalDrive%d" the enumerations open.
#pragma once

#include "platform/os_types.h"

// The N of "\\.\PhysicalDrive%d", read without regard to case; 0 when the
// path has another form.
uint32_t DriveNumberOf(const WCH* path);
