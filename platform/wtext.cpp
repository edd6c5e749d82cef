// The wide formatter and the small wide-text helpers.
//
// Written out by hand rather than over swprintf: the C library's %s and %S
// mean the opposite of what Windows' wsprintfW means, and the Linux and
// Windows builds must produce the same log lines byte for byte.
#include "platform/wtext.h"

#include <cstdint>

namespace {

// Windows-1252 for 0x80..0x9F; the five unassigned bytes map to the C1
// control of the same value, as MultiByteToWideChar does for code page 1252.
const char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

WCH WidenByte(unsigned char byte) {
    if (byte >= 0x80 && byte <= 0x9F) return kCp1252High[byte - 0x80];
    return static_cast<WCH>(byte);
}

// Output cursor: writes while room for the terminator is left, remembers
// that something was cut.
struct Sink {
    WCH* out;
    size_t capacity;
    size_t len;
    bool cut;
};

void Put(Sink& s, WCH c) {
    if (s.len + 1 < s.capacity) {
        s.out[s.len++] = c;
    } else {
        s.cut = true;
    }
}

void PutRepeat(Sink& s, WCH c, long count) {
    // Stops once cut, so a huge width costs nothing.
    for (long i = 0; i < count && !s.cut; ++i) Put(s, c);
}

struct Conv {
    bool left = false;   // '-'
    bool zero = false;   // '0'
    bool alt = false;    // '#'
    long width = 0;
    long precision = -1;  // -1: none given
    enum Size { kDefault, kShort, kLong, k64 } size = kDefault;
};

// Widths beyond any buffer of the tool are clamped; output is bounded anyway.
constexpr long kMaxWidth = 1 << 16;

long ReadNumber(const WCH*& p) {
    long n = 0;
    while (*p >= u'0' && *p <= u'9') {
        if (n < kMaxWidth) n = n * 10 + (*p - u'0');
        ++p;
    }
    return n < kMaxWidth ? n : kMaxWidth;
}

// A text argument, wide or narrow, with precision and width.
void PutText(Sink& s, const Conv& conv, const WCH* wide, const char* narrow) {
    static const char kNull[] = "(null)";
    if (!wide && !narrow) narrow = kNull;
    long n = 0;
    if (wide) {
        while ((conv.precision < 0 || n < conv.precision) && wide[n]) ++n;
    } else {
        while ((conv.precision < 0 || n < conv.precision) && narrow[n]) ++n;
    }
    long pad = conv.width > n ? conv.width - n : 0;
    if (!conv.left) PutRepeat(s, u' ', pad);
    for (long i = 0; i < n && !s.cut; ++i) {
        Put(s, wide ? wide[i] : WidenByte(static_cast<unsigned char>(narrow[i])));
    }
    if (conv.left) PutRepeat(s, u' ', pad);
}

void PutChar(Sink& s, const Conv& conv, WCH c) {
    long n = c ? 1 : 0;  // a NUL character would end the text early; it is left out
    long pad = conv.width > n ? conv.width - n : 0;
    if (!conv.left) PutRepeat(s, u' ', pad);
    if (n) Put(s, c);
    if (conv.left) PutRepeat(s, u' ', pad);
}

// Integers as wsprintfW lays them out: the precision is a minimum count of
// characters including the sign (so "%.5d" of -42 is "-0042"), a value of 0
// always prints its "0", '0' pads with zeros up to the width unless '-' is
// given, and '#' puts "0x" / "0X" before any hexadecimal value, 0 included.
void PutInteger(Sink& s, const Conv& conv, uint64_t magnitude, bool negative, unsigned base, bool upper) {
    const char* digits_of = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    WCH digits[24];
    int nd = 0;
    uint64_t v = magnitude;
    do {
        digits[nd++] = static_cast<WCH>(digits_of[v % base]);
        v /= base;
    } while (v != 0);
    long len = nd + (negative ? 1 : 0);
    long field = conv.precision > len ? conv.precision : len;
    if (conv.zero && !conv.left && conv.width > field) field = conv.width;
    long zeros = field - len;
    // The "0x" of '#' is not counted against the width (wsprintfW does so).
    bool prefix = conv.alt && base == 16;
    long pad = conv.width > field ? conv.width - field : 0;

    if (!conv.left) PutRepeat(s, u' ', pad);
    if (prefix) {
        Put(s, u'0');
        Put(s, upper ? u'X' : u'x');
    }
    if (negative) Put(s, u'-');
    PutRepeat(s, u'0', zeros);
    for (int i = nd - 1; i >= 0; --i) Put(s, digits[i]);
    if (conv.left) PutRepeat(s, u' ', pad);
}

}  // namespace

int VFormatW(WCH* out, size_t capacity, const WCH* format, va_list args) {
    if (!out || capacity == 0) return -1;
    Sink s{out, capacity, 0, false};
    const WCH* p = format ? format : u"";
    while (*p && !s.cut) {
        if (*p != u'%') {
            Put(s, *p++);
            continue;
        }
        ++p;
        Conv conv;
        for (;; ++p) {
            if (*p == u'-') {
                conv.left = true;
            } else if (*p == u'0') {
                conv.zero = true;
            } else if (*p == u'#') {
                conv.alt = true;
            } else {
                break;
            }
        }
        conv.width = ReadNumber(p);
        if (*p == u'.') {
            ++p;
            conv.precision = ReadNumber(p);
        }
        // Size prefixes: 'h' narrow text, 'l' and 'w' wide text; on integers
        // 'h' and 'l' change nothing (32 bits, as on Windows); "I64" 64 bits,
        // "I32" 32 bits, a lone 'I' the size of a pointer.
        if (*p == u'h') {
            conv.size = Conv::kShort;
            ++p;
        } else if (*p == u'l' || *p == u'w') {
            conv.size = Conv::kLong;
            ++p;
        } else if (*p == u'I') {
            if (p[1] == u'6' && p[2] == u'4') {
                conv.size = Conv::k64;
                p += 3;
            } else if (p[1] == u'3' && p[2] == u'2') {
                p += 3;
            } else {
                conv.size = sizeof(void*) == 8 ? Conv::k64 : Conv::kDefault;
                ++p;
            }
        }
        WCH type = *p;
        if (!type) break;  // a lone '%' at the end prints nothing
        ++p;
        switch (type) {
            case u'd':
            case u'i': {
                int64_t v = conv.size == Conv::k64 ? va_arg(args, long long) : va_arg(args, int);
                uint64_t mag = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
                PutInteger(s, conv, mag, v < 0, 10, false);
                break;
            }
            case u'u':
            case u'x':
            case u'X': {
                uint64_t v = conv.size == Conv::k64 ? va_arg(args, unsigned long long) : va_arg(args, unsigned);
                PutInteger(s, conv, v, false, type == u'u' ? 10 : 16, type == u'X');
                break;
            }
            case u'p': {
                Conv ps;
                ps.zero = true;
                ps.width = static_cast<long>(sizeof(void*) * 2);
                ps.left = conv.left;
                PutInteger(s, ps, reinterpret_cast<uintptr_t>(va_arg(args, void*)), false, 16, true);
                break;
            }
            case u's':
            case u'S': {
                // wsprintfW: %s wide, %S narrow; 'h' forces narrow, 'l' wide.
                bool narrow = conv.size == Conv::kShort || (type == u'S' && conv.size != Conv::kLong);
                if (narrow) {
                    PutText(s, conv, nullptr, va_arg(args, const char*));
                } else {
                    PutText(s, conv, va_arg(args, const WCH*), nullptr);
                }
                break;
            }
            case u'c':
            case u'C': {
                bool narrow = conv.size == Conv::kShort || (type == u'C' && conv.size != Conv::kLong);
                int v = va_arg(args, int);
                PutChar(s, conv, narrow ? WidenByte(static_cast<unsigned char>(v)) : static_cast<WCH>(v));
                break;
            }
            default:
                // "%%" and any unknown conversion print the character itself.
                Put(s, type);
                break;
        }
    }
    s.out[s.len] = 0;
    return s.cut ? -1 : static_cast<int>(s.len);
}

int FormatW(WCH* out, size_t capacity, const WCH* format, ...) {
    va_list args;
    va_start(args, format);
    int n = VFormatW(out, capacity, format, args);
    va_end(args);
    return n;
}

size_t WLen(const WCH* text) {
    size_t n = 0;
    if (text) {
        while (text[n]) ++n;
    }
    return n;
}

int WCopy(WCH* out, size_t capacity, const WCH* text) {
    if (!out || capacity == 0) return 0;
    size_t n = 0;
    if (text) {
        while (text[n] && n + 1 < capacity) {
            out[n] = text[n];
            ++n;
        }
    }
    out[n] = 0;
    return (!text || !text[n]) ? 1 : 0;
}

int WAppend(WCH* out, size_t capacity, const WCH* text) {
    if (!out || capacity == 0) return 0;
    size_t len = 0;
    while (len < capacity && out[len]) ++len;
    if (len == capacity) {
        // Not terminated inside its buffer: terminate it, nothing fits.
        out[capacity - 1] = 0;
        return (!text || !text[0]) ? 1 : 0;
    }
    return WCopy(out + len, capacity - len, text);
}

int WCompare(const WCH* a, const WCH* b) {
    if (!a) a = u"";
    if (!b) b = u"";
    while (*a && *a == *b) {
        ++a;
        ++b;
    }
    if (*a == *b) return 0;
    return *a < *b ? -1 : 1;
}

namespace {
WCH FoldAscii(WCH c) { return (c >= u'A' && c <= u'Z') ? static_cast<WCH>(c - u'A' + u'a') : c; }
}  // namespace

int WCompareNoCase(const WCH* a, const WCH* b) {
    if (!a) a = u"";
    if (!b) b = u"";
    while (*a && FoldAscii(*a) == FoldAscii(*b)) {
        ++a;
        ++b;
    }
    WCH ca = FoldAscii(*a);
    WCH cb = FoldAscii(*b);
    if (ca == cb) return 0;
    return ca < cb ? -1 : 1;
}

void WidenAnsi(WCH* out, size_t capacity, const char* in, size_t max_bytes) {
    if (!out || capacity == 0) return;
    size_t n = 0;
    if (in) {
        while (n < max_bytes && n + 1 < capacity && in[n]) {
            out[n] = WidenByte(static_cast<unsigned char>(in[n]));
            ++n;
        }
    }
    out[n] = 0;
}
