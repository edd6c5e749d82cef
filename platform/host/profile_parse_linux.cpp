// Profile parsing: decoding the file, splitting lines, finding a section and
// a key. The rules are those of the Windows profile reader:
// - a UTF-16 byte-order mark (either order) or a UTF-8 one selects that
//   encoding; anything else is 8-bit text in the system code page;
// - lines end at any run of CR and LF; blanks around a line are dropped;
// - "[name]" up to the LAST "]" opens a section (blanks around the name
//   dropped); a line starting with "[" without "]" is skipped;
// - "key = value": blanks around the key and the value are dropped; a line
//   without "=" is a key without a value (it reads as absent);
// - names compare without regard to ASCII case; the first section of a name is
//   the only one searched, and the first key of a name in it wins;
// - one pair of matching enclosing quotes (" or ') is removed from the value
//   when the whole text fits the buffer;
// - keys above the first section belong to a section with an empty name.
#include <cstring>
#include <vector>

#include "platform/host/profile_parse.h"
#include "platform/wtext.h"

namespace host {
namespace {

struct Span {
    const WCH* p;
    size_t n;
};

bool IsSpace(WCH c) {
    // ASCII blanks plus Ctrl-Z, which old editors leave at the end of a
    // file; other Unicode blanks stay part of names and values.
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x1A;
}

// Names compare without regard to ASCII case only: "\u00C9" and "\u00E9"
// are different names to the profile reader.
WCH Fold(WCH c) { return c >= u'A' && c <= u'Z' ? WCH(c + 32) : c; }

bool SameNoCase(Span a, Span b) {
    if (a.n != b.n) return false;
    for (size_t i = 0; i < a.n; ++i)
        if (Fold(a.p[i]) != Fold(b.p[i])) return false;
    return true;
}

Span Trim(Span s) {
    while (s.n && IsSpace(s.p[0])) ++s.p, --s.n;
    while (s.n && IsSpace(s.p[s.n - 1])) --s.n;
    return s;
}

Span TrimmedName(const WCH* name) { return Trim(Span{name, WLen(name)}); }

void DecodeUtf8(const BYTE* b, size_t n, std::vector<WCH>* out) {
    for (size_t i = 0; i < n;) {
        uint32_t c = b[i];
        size_t extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
        if (c >= 0x80 && c < 0xC0) extra = 0, c = 0xFFFD;
        if (extra) {
            c &= 0x3F >> extra;
            for (size_t k = 1; k <= extra; ++k) {
                if (i + k >= n || (b[i + k] & 0xC0) != 0x80) {
                    c = 0xFFFD;
                    extra = k - 1;
                    break;
                }
                c = (c << 6) | (b[i + k] & 0x3F);
            }
        }
        i += extra + 1;
        if (c >= 0x10000) {
            c -= 0x10000;
            out->push_back(WCH(0xD800 | (c >> 10)));
            out->push_back(WCH(0xDC00 | (c & 0x3FF)));
        } else {
            out->push_back(WCH(c));
        }
    }
}

std::vector<WCH> Decode(const BYTE* b, size_t n) {
    std::vector<WCH> text;
    if (n >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) {
        DecodeUtf8(b + 3, n - 3, &text);
    } else if (n >= 2 && ((b[0] == 0xFF && b[1] == 0xFE) || (b[0] == 0xFE && b[1] == 0xFF))) {
        bool little = b[0] == 0xFF;
        for (size_t i = 2; i + 1 < n; i += 2) text.push_back(little ? WCH(b[i] | (b[i + 1] << 8)) : WCH((b[i] << 8) | b[i + 1]));
    } else {
        text.resize(n + 1);
        // Byte for byte as the system code page widens (ASCII and 1252);
        // zero bytes end nothing here, so widen piece by piece.
        size_t w = 0;
        for (size_t i = 0; i < n;) {
            if (b[i] == 0) {
                text[w++] = 0;
                ++i;
                continue;
            }
            size_t run = 0;
            while (i + run < n && b[i + run]) ++run;
            WidenAnsi(&text[w], run + 1, reinterpret_cast<const char*>(b + i), run);
            w += run;
            i += run;
        }
        text.resize(w);
    }
    return text;
}

struct Line {
    enum Kind { kSection, kKey } kind;
    Span name;
    bool has_value;
    Span value;
};

// Calls visit(line) for every line that is not blank; stops when it returns false.
template <typename Visit>
void ForEachLine(const std::vector<WCH>& text, Visit visit) {
    const WCH* p = text.data();
    const WCH* end = p + text.size();
    while (p < end) {
        const WCH* start = p;
        while (p < end && *p != u'\n' && *p != u'\r') ++p;
        Span s = Trim(Span{start, size_t(p - start)});
        while (p < end && (*p == u'\n' || *p == u'\r')) ++p;
        if (!s.n) continue;
        Line line{Line::kKey, s, false, Span{nullptr, 0}};
        if (s.p[0] == u'[') {
            size_t close = s.n;
            while (close > 0 && s.p[close - 1] != u']') --close;
            if (close > 1) {
                line.kind = Line::kSection;
                line.name = Trim(Span{s.p + 1, close - 1 - 1});
                if (!visit(line)) return;
            }
            continue;  // without "]" the line is no header and no key either
        }
        for (size_t i = 0; i < s.n; ++i) {
            if (s.p[i] == u'=') {
                line.name = Trim(Span{s.p, i});
                line.has_value = true;
                line.value = Trim(Span{s.p + i + 1, s.n - i - 1});
                break;
            }
        }
        if (!visit(line)) return;
    }
}

// Copies value into out as the reader does: one pair of matching enclosing
// quotes is dropped, but only when the text with its closing quote fits.
DWORD CopyEntry(Span v, WCH* out, DWORD capacity) {
    // A value is a C string to the reader: a zero unit inside the file
    // ends it, and the length returned is that of the text the caller gets.
    for (size_t i = 0; i < v.n; ++i)
        if (v.p[i] == 0) v.n = i;
    bool quoted = false;
    if (v.n >= 2 && (v.p[0] == u'"' || v.p[0] == u'\'') && v.p[v.n - 1] == v.p[0]) {
        quoted = true;
        ++v.p;
        --v.n;
    }
    size_t n = v.n < capacity - 1 ? v.n : capacity - 1;
    memcpy(out, v.p, n * sizeof(WCH));
    out[n] = 0;
    if (quoted && capacity >= v.n && n > 0) out[--n] = 0;
    return DWORD(n);
}

DWORD ListKeys(const std::vector<WCH>& text, Span section, WCH* out, DWORD capacity) {
    // Keys above the first header form a section with an empty name.
    bool in = section.n == 0, found = in, done = false;
    WCH* w = out;
    DWORD left = capacity;
    bool cut = false;
    ForEachLine(text, [&](const Line& l) {
        if (l.kind == Line::kSection) {
            if (found) {
                done = true;
                return false;
            }
            in = SameNoCase(l.name, section);
            found = in;
            return true;
        }
        if (!in || !l.has_value || (l.name.n && l.name.p[0] == u';')) return true;
        if (left <= 2) {
            cut = true;
            return false;
        }
        size_t n = l.name.n < left - 2 ? l.name.n : left - 2;
        memcpy(w, l.name.p, n * sizeof(WCH));
        w[n] = 0;
        w += n + 1;
        left -= DWORD(n + 1);
        if (n < l.name.n || left < 2) {
            cut = true;
            return false;
        }
        return true;
    });
    (void)done;
    if (!found) {
        out[0] = 0;
        if (capacity > 1) out[1] = 0;
        return 0;
    }
    *w = 0;
    if (cut || left <= 1) {
        // A buffer of one or two units holds no name at all: nothing was
        // written and there is no unit before w to end the list with. The
        // Windows reader leaves it at the one zero (tests/profile-wine).
        if (w == out) return capacity > 2 ? capacity - 2 : 0;
        w[-1] = 0;
        return capacity - 2;
    }
    return capacity - left;
}

}  // namespace

DWORD ProfileGetString(const BYTE* bytes, size_t size, const WCH* section, const WCH* key, const WCH* fallback,
                       WCH* out, DWORD capacity) {
    if (!out || capacity == 0) return 0;
    if (!fallback) fallback = u"";
    std::vector<WCH> text = Decode(bytes, size);
    if (!section) {
        out[0] = 0;
        return 0;
    }
    Span want_section = TrimmedName(section);
    if (!key) {
        DWORD listed = ListKeys(text, want_section, out, capacity);
        // A section that is missing or lists nothing gives the default.
        if (!out[0]) return CopyEntry(Span{fallback, WLen(fallback)}, out, capacity);
        return listed;
    }
    Span want_key = TrimmedName(key);
    bool in = false, section_seen = false, found = false;
    Span value{nullptr, 0};
    // Keys above the first header form a section with an empty name.
    in = want_section.n == 0;
    section_seen = in;
    ForEachLine(text, [&](const Line& l) {
        if (l.kind == Line::kSection) {
            if (section_seen) return false;  // only the first section of a name counts
            in = SameNoCase(l.name, want_section);
            section_seen = in;
            return true;
        }
        if (in && SameNoCase(l.name, want_key)) {
            found = l.has_value;
            value = l.value;
            return false;  // the first key of the name decides, with or without a value
        }
        return true;
    });
    if (found) return CopyEntry(value, out, capacity);
    return CopyEntry(Span{fallback, WLen(fallback)}, out, capacity);
}

UINT ProfileTextToInt(const WCH* t) {
    while (*t && *t <= u' ') ++t;
    bool minus = false;
    if (*t == u'+' || *t == u'-') minus = *t++ == u'-';
    // Only a lower-case prefix selects another base, as the reader does.
    uint32_t base = 10;
    if (t[0] == u'0' && t[1] == u'x') base = 16, t += 2;
    else if (t[0] == u'0' && t[1] == u'o') base = 8, t += 2;
    else if (t[0] == u'0' && t[1] == u'b') base = 2, t += 2;
    uint32_t total = 0;  // wraps modulo 2^32 like the reader's unsigned total
    for (;; ++t) {
        WCH c = *t;
        uint32_t digit;
        if (c >= u'0' && c <= u'9') digit = c - u'0';
        else if (c >= u'A' && c <= u'Z') digit = c - u'A' + 10;
        else if (c >= u'a' && c <= u'z') digit = c - u'a' + 10;
        else break;
        if (digit >= base) break;
        total = total * base + digit;
    }
    return minus ? 0u - total : total;
}

}  // namespace host
