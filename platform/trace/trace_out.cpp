// JSON text for trace records.
#include "platform/trace/trace_out.h"

#include <cstring>

void OutRaw(TraceOut* out, const char* text, size_t size) {
    while (size) {
        if (out->used == out->capacity) {
            if (!out->flush) {
                out->cut = true;
                return;
            }
            out->flush(out);
            if (out->used == out->capacity) {
                out->cut = true;
                return;
            }
        }
        size_t take = out->capacity - out->used;
        if (take > size) take = size;
        std::memcpy(out->buffer + out->used, text, take);
        out->used += take;
        text += take;
        size -= take;
    }
}

void OutText(TraceOut* out, const char* text) { OutRaw(out, text, std::strlen(text)); }

void OutKey(TraceOut* out, const char* key) {
    OutRaw(out, ", \"", 3);
    OutText(out, key);
    OutRaw(out, "\": ", 3);
}

void OutNumber(TraceOut* out, uint64_t value) {
    char digits[24];
    int n = 0;
    do {
        digits[sizeof digits - 1 - n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value);
    OutRaw(out, digits + sizeof digits - n, static_cast<size_t>(n));
}

void OutHex(TraceOut* out, const void* bytes, size_t size) {
    static const char kDigits[] = "0123456789abcdef";
    const uint8_t* at = static_cast<const uint8_t*>(bytes);
    OutRaw(out, "\"", 1);
    char chunk[256];
    while (size) {
        size_t n = size > sizeof chunk / 2 ? sizeof chunk / 2 : size;
        for (size_t i = 0; i < n; ++i) {
            chunk[2 * i] = kDigits[at[i] >> 4];
            chunk[2 * i + 1] = kDigits[at[i] & 15];
        }
        OutRaw(out, chunk, 2 * n);
        at += n;
        size -= n;
    }
    OutRaw(out, "\"", 1);
}

static void OutEscaped(TraceOut* out, unsigned char c) {
    if (c == '"' || c == '\\') {
        char pair[2] = {'\\', static_cast<char>(c)};
        OutRaw(out, pair, 2);
    } else if (c < 0x20) {
        static const char kDigits[] = "0123456789abcdef";
        char escaped[6] = {'\\', 'u', '0', '0', kDigits[c >> 4], kDigits[c & 15]};
        OutRaw(out, escaped, 6);
    } else {
        char one = static_cast<char>(c);
        OutRaw(out, &one, 1);
    }
}

void OutString(TraceOut* out, const char* utf8) {
    OutRaw(out, "\"", 1);
    for (; *utf8; ++utf8) OutEscaped(out, static_cast<unsigned char>(*utf8));
    OutRaw(out, "\"", 1);
}

void OutWide(TraceOut* out, const WCH* text, size_t max_units) {
    OutRaw(out, "\"", 1);
    for (size_t i = 0; text && i < max_units && text[i]; ++i) {
        uint32_t c = text[i];
        // A surrogate pair makes one code point; a lone surrogate is written as U+FFFD.
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < max_units && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            OutEscaped(out, static_cast<unsigned char>(c));
            continue;
        }
        char bytes[4];
        size_t n;
        if (c < 0x800) {
            bytes[0] = static_cast<char>(0xC0 | (c >> 6));
            n = 1;
        } else if (c < 0x10000) {
            bytes[0] = static_cast<char>(0xE0 | (c >> 12));
            bytes[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            n = 2;
        } else {
            bytes[0] = static_cast<char>(0xF0 | (c >> 18));
            bytes[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            bytes[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            n = 3;
        }
        bytes[n++] = static_cast<char>(0x80 | (c & 0x3F));
        OutRaw(out, bytes, n);
    }
    OutRaw(out, "\"", 1);
}

static void HexDigits(char* at, uint64_t value, int digits) {
    static const char kDigits[] = "0123456789ABCDEF";
    for (int i = digits - 1; i >= 0; --i, value >>= 4) at[i] = kDigits[value & 15];
}

void OutGuid(TraceOut* out, const GUID& guid) {
    char text[41] = "\"{00000000-0000-0000-0000-000000000000}\"";
    HexDigits(text + 2, guid.Data1, 8);
    HexDigits(text + 11, guid.Data2, 4);
    HexDigits(text + 16, guid.Data3, 4);
    HexDigits(text + 21, guid.Data4[0], 2);
    HexDigits(text + 23, guid.Data4[1], 2);
    for (int i = 0; i < 6; ++i) HexDigits(text + 26 + 2 * i, guid.Data4[2 + i], 2);
    OutRaw(out, text, 40);
}

void OutCode(TraceOut* out, uint32_t code) {
    char text[13] = "\"0x00000000\"";
    HexDigits(text + 3, code, 8);
    OutRaw(out, text, 12);
}

void OutNumberField(TraceOut* out, const char* key, uint64_t value) {
    OutKey(out, key);
    OutNumber(out, value);
}

void OutHexField(TraceOut* out, const char* key, const void* bytes, size_t size) {
    OutKey(out, key);
    OutHex(out, bytes, size);
}

void OutStringField(TraceOut* out, const char* key, const char* utf8) {
    OutKey(out, key);
    OutString(out, utf8);
}
