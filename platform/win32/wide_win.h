// char16_t and wchar_t are both UTF-16 code units on Windows; the tool keeps
// char16_t and hands the same memory to the wide API.
#pragma once

#include "platform/os_types.h"

static_assert(sizeof(wchar_t) == sizeof(WCH), "wchar_t is a UTF-16 unit on Windows");

inline const wchar_t* Wide(const WCH* text) { return reinterpret_cast<const wchar_t*>(text); }
inline wchar_t* Wide(WCH* text) { return reinterpret_cast<wchar_t*>(text); }
inline WCH* Ours(wchar_t* text) { return reinterpret_cast<WCH*>(text); }
