// Entry names: UTF-8 decoding, the cleaning rule, and the checks that keep
// every written file below the target folder.
#include <cstring>

#include "package/zip_internal.h"
#include "platform/wtext.h"

namespace {

constexpr WCH kReplacement = 0xFFFD;

// Index of the first occurrence of pattern in text, or -1.
long FindText(const WCH* text, const WCH* pattern) {
    const size_t n = WLen(pattern);
    for (size_t i = 0; text[i] != 0; ++i) {
        size_t k = 0;
        while (k < n && text[i + k] == pattern[k]) ++k;
        if (k == n) return static_cast<long>(i);
    }
    return -1;
}

void DropFront(WCH* name, size_t count) {
    const size_t len = WLen(name);
    if (count > len) count = len;
    std::memmove(name, name + count, (len - count + 1) * sizeof(WCH));
}

// Characters Windows refuses in a file name (the separators aside).
bool ForbiddenInName(WCH c) {
    return c < 0x20 || c == u'<' || c == u'>' || c == u':' || c == u'"' || c == u'|' || c == u'?' || c == u'*';
}

// A component of nothing but dots and blanks ("." "..", "...", ".. ") names
// the folder itself or its parent once Windows trims trailing dots and blanks.
bool IsDotComponent(const WCH* begin, const WCH* end) {
    if (begin == end) return false;
    for (const WCH* p = begin; p != end; ++p) {
        if (*p != u'.' && *p != u' ') return false;
    }
    return true;
}

// Every component of a relative path: no dot components, no forbidden
// characters; empty components only where allow_trailing_empty lets the path
// end in a separator.
bool RelativePartIsSafe(const WCH* path, bool allow_trailing_separator) {
    const WCH* start = path;
    for (const WCH* p = path;; ++p) {
        if (*p == 0 || ZipIsSeparator(*p)) {
            if (IsDotComponent(start, p)) return false;
            if (*p == 0) return start != p || allow_trailing_separator;
            start = p + 1;
            continue;
        }
        if (ForbiddenInName(*p)) return false;
    }
}

}  // namespace

bool ZipIsSeparator(WCH c) { return c == u'\\' || c == u'/'; }

void ZipDecodeUtf8(const BYTE* in, size_t length, WCH* out, size_t capacity) {
    if (capacity == 0) return;
    size_t o = 0;
    size_t i = 0;
    while (i < length && o + 1 < capacity) {
        const BYTE b = in[i];
        uint32_t cp = kReplacement;
        size_t need = 0;
        uint32_t min = 0;
        if (b < 0x80) {
            cp = b;
        } else if ((b & 0xE0) == 0xC0) {
            need = 1, cp = b & 0x1F, min = 0x80;
        } else if ((b & 0xF0) == 0xE0) {
            need = 2, cp = b & 0x0F, min = 0x800;
        } else if ((b & 0xF8) == 0xF0) {
            need = 3, cp = b & 0x07, min = 0x10000;
        } else {
            need = 0, cp = kReplacement;
        }
        size_t used = 1;
        if (need > 0) {
            bool ok = i + need < length;
            for (size_t k = 1; ok && k <= need; ++k) {
                if ((in[i + k] & 0xC0) != 0x80) ok = false;
                else cp = (cp << 6) | (in[i + k] & 0x3F);
            }
            if (ok && (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) ok = false;
            if (ok) {
                used = need + 1;
            } else {
                cp = kReplacement;
            }
        }
        i += used;
        if (cp >= 0x10000) {
            if (o + 2 >= capacity) break;
            cp -= 0x10000;
            out[o++] = static_cast<WCH>(0xD800 + (cp >> 10));
            out[o++] = static_cast<WCH>(0xDC00 + (cp & 0x3FF));
        } else {
            out[o++] = static_cast<WCH>(cp);
        }
    }
    out[o] = 0;
}

void ZipCleanName(WCH* name) {
    static const WCH* const kParentSteps[] = {u"\\..\\", u"\\../", u"/../", u"/..\\"};
    for (;;) {
        if (name[0] != 0 && name[1] == u':') {
            DropFront(name, 2);
            continue;
        }
        if (ZipIsSeparator(name[0])) {
            DropFront(name, 1);
            continue;
        }
        bool dropped = false;
        for (const WCH* step : kParentSteps) {
            const long at = FindText(name, step);
            if (at >= 0) {
                DropFront(name, static_cast<size_t>(at) + 4);
                dropped = true;
                break;
            }
        }
        if (!dropped) return;
    }
}

bool ZipEntryNameIsSafe(const WCH* name, bool directory) {
    if (name[0] == 0 || ZipIsSeparator(name[0])) return false;
    return RelativePartIsSafe(name, directory);
}

bool ZipTargetIsSafe(const WCH* target) {
    const WCH* rest = target;
    if (rest[0] != 0 && rest[1] == u':') {
        // A drive: only a letter, and only followed by a separator.
        const WCH d = rest[0];
        if (!((d >= u'A' && d <= u'Z') || (d >= u'a' && d <= u'z')) || !ZipIsSeparator(rest[2])) return false;
        rest += 2;
    }
    while (ZipIsSeparator(*rest)) ++rest;
    if (*rest == 0) return false;
    return RelativePartIsSafe(rest, true);
}
