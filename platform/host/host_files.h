// Inside the Linux host: open files shared between the file and find code.
#pragma once

#include <sys/types.h>

#include "platform/os_types.h"

// FILETIME (100 ns since 1601 UTC) <-> seconds and nanoseconds since 1970.
FILETIME HostFileTimeFromUnix(int64_t seconds, long nanoseconds);
void HostUnixFromFileTime(const FILETIME& time, int64_t* seconds, long* nanoseconds);
// A creation time set through SetFileTime (Linux cannot store one); false when none.
bool HostCreationTime(dev_t device, ino_t inode, FILETIME* time);
// Attributes of a stat result as Windows reports them.
DWORD HostAttributes(unsigned mode);
