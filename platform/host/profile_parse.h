// Profile (INI) reading on the Linux host, on the bytes of a file, with the
// rules GetPrivateProfileStringW follows on Windows (checked against Wine by
// tests/profile-wine).
#pragma once

#include <cstddef>

#include "platform/os_types.h"

namespace host {

// The value of key in section of the profile held in bytes (size 0: an
// empty profile), or the fallback; key null lists the key names of the
// section ("a\0b\0\0"). Same results as GetPrivateProfileStringW.
DWORD ProfileGetString(const BYTE* bytes, size_t size, const WCH* section, const WCH* key, const WCH* fallback,
                       WCH* out, DWORD capacity);

// The number at the start of text as GetPrivateProfileIntW reads it.
UINT ProfileTextToInt(const WCH* text);

}  // namespace host
