// JSON text for trace records, built into a fixed buffer. A buffer with a
// flush function (the trace file) hands its text on whenever it fills; one
// without (a request's meaning) stops at its end and says it was cut.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/os_types.h"

struct TraceOut {
    char* buffer;
    size_t capacity;
    size_t used;
    void (*flush)(TraceOut* out);  // null: text past the end is dropped
    bool cut;                      // text was dropped
};

void OutRaw(TraceOut* out, const char* text, size_t size);
void OutText(TraceOut* out, const char* text);
// ", \"key\": "
void OutKey(TraceOut* out, const char* key);
void OutNumber(TraceOut* out, uint64_t value);
// lowercase hex, no separators, in quotes
void OutHex(TraceOut* out, const void* bytes, size_t size);
// a JSON string of UTF-8 text / of UTF-16 text of at most max_units units
void OutString(TraceOut* out, const char* utf8);
void OutWide(TraceOut* out, const WCH* text, size_t max_units);
// "{53F56307-B6BF-11D0-94F2-00A0C91EFB8B}"
void OutGuid(TraceOut* out, const GUID& guid);
// "0x0004D014"
void OutCode(TraceOut* out, uint32_t code);

// The same, as a key and its value.
void OutNumberField(TraceOut* out, const char* key, uint64_t value);
void OutHexField(TraceOut* out, const char* key, const void* bytes, size_t size);
void OutStringField(TraceOut* out, const char* key, const char* utf8);
