// Small file routines of the package subsystem, used across the tool.
#pragma once

#include "platform/os_types.h"

void GetTempDir(WCH* buffer, DWORD capacity);
int PathExists(const WCH* path);
int WriteWholeFile(const WCH* path, const void* data, DWORD size);
// With a null buffer: the file size (low 32 bits); otherwise the bytes read.
// 0 when the file cannot be opened.
DWORD ReadWholeFile(const WCH* path, DWORD capacity, void* buffer);
// Deletes the files matching pattern; sub-folders stay, and a link inside
// (file or folder) is removed as a link, never followed.
void DeleteFilesInDir(const WCH* directory, const WCH* pattern);
