// Wide (UTF-16, char16_t) text helpers and the one formatter of the tool.
//
// FormatW follows the wsprintfW conventions on every platform: %s a wide
// string, %S a narrow (8-bit) string, %c a wide character, %d %u %x %X with
// widths, zero padding and '-' alignment, %I64d %I64u %I64X for 64-bit values,
// %% a percent sign. Output is always terminated and never longer than
// capacity - 1 units; the result is the number of units written (without the
// terminator), or -1 when the text had to be cut.
#pragma once

#include <cstdarg>
#include <cstddef>

#include "platform/os_types.h"

int FormatW(WCH* out, size_t capacity, const WCH* format, ...);
int VFormatW(WCH* out, size_t capacity, const WCH* format, va_list args);

size_t WLen(const WCH* text);
// Bounded copy: at most capacity - 1 units, always terminated. Returns 1 when
// the whole text fitted, 0 when it was cut.
int WCopy(WCH* out, size_t capacity, const WCH* text);
int WAppend(WCH* out, size_t capacity, const WCH* text);
int WCompare(const WCH* a, const WCH* b);            // lstrcmpW-style ordinal compare
int WCompareNoCase(const WCH* a, const WCH* b);      // lstrcmpiW for the ASCII range
// Narrow text widened byte by byte as the system code page does for ASCII and
// Windows-1252 (the simulated system code page); ends at the first zero byte
// or after max_bytes.
void WidenAnsi(WCH* out, size_t capacity, const char* in, size_t max_bytes);
