// Code page conversions and CharLowerW.
//
// CP_ACP is Windows-1252 here: the simulated machine is a Western European
// Windows, so drive and configuration texts widen byte by byte, with
// 0x80-0x9F following the 1252 table (the five holes map to the same C1
// code points, as Windows maps them). Characters 1252 lacks become '?'; no
// best-fit replacement is attempted.
#include "platform/os.h"

namespace {

const char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

bool IsAnsi(UINT codepage) { return codepage == CP_ACP || codepage == 1252; }

char16_t AnsiToWide(unsigned char byte) {
    if (byte >= 0x80 && byte < 0xA0) return kCp1252High[byte - 0x80];
    return byte;
}

int WideToAnsi(char16_t ch) {
    if (ch < 0x80 || (ch >= 0xA0 && ch <= 0xFF)) return ch;
    for (int i = 0; i < 32; i++)
        if (kCp1252High[i] == ch) return 0x80 + i;
    return -1;
}

// One code point from UTF-8 at in[*pos]; -1 for a malformed sequence (one byte consumed).
long DecodeUtf8(const unsigned char* in, int len, int* pos) {
    unsigned char b = in[*pos];
    int need;
    long cp;
    long min;
    if (b < 0x80) {
        (*pos)++;
        return b;
    } else if ((b & 0xE0) == 0xC0) {
        need = 1, cp = b & 0x1F, min = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
        need = 2, cp = b & 0x0F, min = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
        need = 3, cp = b & 0x07, min = 0x10000;
    } else {
        (*pos)++;
        return -1;
    }
    int p = *pos + 1;
    for (int i = 0; i < need; i++, p++) {
        if (p >= len || (in[p] & 0xC0) != 0x80) {
            *pos = p;
            return -1;
        }
        cp = (cp << 6) | (in[p] & 0x3F);
    }
    *pos = p;
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return -1;
    return cp;
}

char16_t LowerOne(char16_t c) {
    if (c >= u'A' && c <= u'Z') return c + 32;
    if ((c >= 0xC0 && c <= 0xDE && c != 0xD7)) return c + 32;
    if (c >= 0x0100 && c <= 0x017F) {
        // Latin Extended-A pairs upper/lower, with the odd run 0x0139-0x0148
        // and 0x0179-0x017E where the capital is the odd code point.
        if (c == 0x0130) return u'i';
        if (c == 0x0178) return 0xFF;
        bool odd_capital = (c >= 0x0139 && c <= 0x0148) || (c >= 0x0179 && c <= 0x017E);
        if (c == 0x0131 || c == 0x0138 || c == 0x0149 || c == 0x017F) return c;
        if (odd_capital ? (c & 1) : !(c & 1)) return c + 1;
        return c;
    }
    if (c >= 0x0391 && c <= 0x03AB && c != 0x03A2) return c + 32;  // Greek
    if (c >= 0x0410 && c <= 0x042F) return c + 32;                 // Cyrillic
    if (c >= 0x0400 && c <= 0x040F) return c + 80;
    return c;
}

}  // namespace

namespace os {

int MultiByteToWideChar(UINT codepage, DWORD flags, const char* in, int in_len, WCH* out, int out_len) {
    if (!in || in_len == 0 || in_len < -1 || out_len < 0 || (out_len > 0 && !out)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (!IsAnsi(codepage) && codepage != CP_UTF8) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (flags & ~MB_ERR_INVALID_CHARS) {
        SetLastError(ERROR_INVALID_FLAGS);
        return 0;
    }
    int len = in_len;
    if (len == -1) {
        len = 0;
        while (in[len]) len++;
        len++;  // the terminator is converted too
    }
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(in);
    int count = 0;
    auto put = [&](char16_t ch) -> bool {
        if (out_len > 0) {
            if (count >= out_len) return false;
            out[count] = ch;
        }
        count++;
        return true;
    };
    int pos = 0;
    while (pos < len) {
        bool ok;
        if (IsAnsi(codepage)) {
            ok = put(AnsiToWide(bytes[pos++]));
        } else {
            long cp = DecodeUtf8(bytes, len, &pos);
            if (cp < 0) {
                if (flags & MB_ERR_INVALID_CHARS) {
                    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
                    return 0;
                }
                cp = 0xFFFD;
            }
            if (cp >= 0x10000) {
                cp -= 0x10000;
                ok = put(static_cast<char16_t>(0xD800 + (cp >> 10))) &&
                     put(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
            } else {
                ok = put(static_cast<char16_t>(cp));
            }
        }
        if (!ok) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return 0;
        }
    }
    return count;
}

int WideCharToMultiByte(UINT codepage, DWORD flags, const WCH* in, int in_len, char* out, int out_len) {
    if (!in || in_len == 0 || in_len < -1 || out_len < 0 || (out_len > 0 && !out) || flags != 0) {
        SetLastError(flags != 0 ? ERROR_INVALID_FLAGS : ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (!IsAnsi(codepage) && codepage != CP_UTF8) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    int len = in_len;
    if (len == -1) {
        len = 0;
        while (in[len]) len++;
        len++;
    }
    int count = 0;
    char buf[4];
    for (int i = 0; i < len; i++) {
        char16_t ch = in[i];
        int n = 0;
        if (IsAnsi(codepage)) {
            int b = WideToAnsi(ch);
            buf[n++] = static_cast<char>(b < 0 ? '?' : b);
            // A surrogate pair is one character: one '?'.
            if (b < 0 && ch >= 0xD800 && ch < 0xDC00 && i + 1 < len && in[i + 1] >= 0xDC00 && in[i + 1] <= 0xDFFF) i++;
        } else {
            unsigned long cp = ch;
            if (ch >= 0xD800 && ch < 0xDC00 && i + 1 < len && in[i + 1] >= 0xDC00 && in[i + 1] <= 0xDFFF) {
                cp = 0x10000 + ((ch - 0xD800) << 10) + (in[i + 1] - 0xDC00);
                i++;
            } else if (ch >= 0xD800 && ch <= 0xDFFF) {
                cp = 0xFFFD;  // a lone surrogate
            }
            if (cp < 0x80) {
                buf[n++] = static_cast<char>(cp);
            } else if (cp < 0x800) {
                buf[n++] = static_cast<char>(0xC0 | (cp >> 6));
                buf[n++] = static_cast<char>(0x80 | (cp & 0x3F));
            } else if (cp < 0x10000) {
                buf[n++] = static_cast<char>(0xE0 | (cp >> 12));
                buf[n++] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
                buf[n++] = static_cast<char>(0x80 | (cp & 0x3F));
            } else {
                buf[n++] = static_cast<char>(0xF0 | (cp >> 18));
                buf[n++] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
                buf[n++] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
                buf[n++] = static_cast<char>(0x80 | (cp & 0x3F));
            }
        }
        if (out_len > 0 && count + n > out_len) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return 0;
        }
        for (int k = 0; k < n; k++) {
            if (out_len > 0) out[count] = buf[k];
            count++;
        }
    }
    return count;
}

WCH* CharLowerW(WCH* text) {
    // Windows also takes a single character in the low word of the pointer.
    uintptr_t value = reinterpret_cast<uintptr_t>(text);
    if ((value >> 16) == 0) return reinterpret_cast<WCH*>(static_cast<uintptr_t>(LowerOne(static_cast<char16_t>(value))));
    for (WCH* p = text; *p; p++) *p = LowerOne(*p);
    return text;
}

}  // namespace os
