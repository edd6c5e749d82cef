// Inside the Linux host: Windows paths to Linux paths and back.
//
// The tool only ever builds paths from what GetTempPathW gave it (a Linux
// path such as "/tmp" with a trailing backslash) by appending "\name"
// parts, so the mapping is: every backslash becomes '/', and a leading
// drive letter "X:" is dropped (all drives share the Linux root: "C:\x"
// is "/x"). Texts are UTF-16 on the tool's side and UTF-8 on Linux.
// Windows refuses paths of MAX_PATH units or more; so do we, so a path that
// a fixed buffer would have cut shows up as an error here too.
#pragma once

#include <string>

#include "platform/os_types.h"

// False (with ERROR_PATH_NOT_FOUND for an empty path, ERROR_FILENAME_EXCED_RANGE
// for a long one, ERROR_INVALID_NAME for a null pointer) when there is no Linux path.
bool HostLinuxPath(const WCH* path, std::string* out);
std::string HostUtf8(const std::u16string& text);
std::u16string HostUtf16(const std::string& text);
// Win32 error for an errno of a path operation.
DWORD HostErrorFromErrno(int error, const std::string& path);
