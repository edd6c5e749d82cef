// Text helpers of the configuration reader: hex-encoded title, tokens and
// the "<BR>" replacement of the message texts.
#include <cstring>

#include "package/config.h"
#include "platform/wtext.h"

namespace {

int HexDigit(WCH c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

// A token read as a hexadecimal number: leading blanks, a sign, "0x", then
// digits up to the first character that is not one; no digits reads as 0.
long ParseHexToken(const WCH* t) {
    while (*t == u' ' || *t == u'\t') ++t;
    bool minus = false;
    if (*t == u'+' || *t == u'-') minus = *t++ == u'-';
    if (t[0] == u'0' && (t[1] == u'x' || t[1] == u'X') && HexDigit(t[2]) >= 0) t += 2;
    unsigned long v = 0;
    for (; HexDigit(*t) >= 0; ++t) v = v * 16 + unsigned(HexDigit(*t));
    return minus ? -long(v) : long(v);
}

const WCH* FindCase(const WCH* text, const WCH* pattern) {
    size_t n = WLen(pattern);
    if (n == 0) return nullptr;
    for (; *text; ++text) {
        size_t i = 0;
        while (i < n && text[i] == pattern[i]) ++i;  // stops at the text's end too
        if (i == n) return text;
    }
    return nullptr;
}

}  // namespace

int SplitTokens(const WCH* text, const WCH* delimiters, WCH* slots, size_t slot_width, size_t max_slots) {
    if (slot_width == 0) return 0;
    size_t count = 0;
    const WCH* p = text;
    auto is_delim = [&](WCH c) {
        for (const WCH* d = delimiters; *d; ++d)
            if (*d == c) return true;
        return false;
    };
    while (*p && count < max_slots) {
        while (*p && is_delim(*p)) ++p;
        if (!*p) break;
        WCH* slot = slots + count * slot_width;
        size_t n = 0;
        // An over-long token keeps its first slot_width - 1 characters.
        for (; *p && !is_delim(*p); ++p)
            if (n + 1 < slot_width) slot[n++] = *p;
        slot[n] = 0;
        ++count;
    }
    return int(count);
}

int DecodeHexBytes(const WCH* text, BYTE* out, size_t limit) {
    memset(out, 0, limit);
    WCH tokens[100][4];
    size_t count = size_t(SplitTokens(text, u" ", &tokens[0][0], 4, 100));
    size_t len = WLen(text);
    size_t n = count < len ? count : len;
    if (n > limit) n = limit;
    for (size_t i = 0; i < n; ++i) out[i] = BYTE(ParseHexToken(tokens[i]) & 0xFF);
    return int(n);
}

int ReplaceAll(WCH* text, size_t capacity, const WCH* pattern, const WCH* replacement) {
    if (capacity == 0 || !FindCase(text, pattern)) return 0;
    const size_t kWork = 1000;
    size_t plen = WLen(pattern);
    WCH work[kWork];
    WCH next[kWork];
    WCopy(work, kWork, text);  // a text of 1000 or more characters is cut to 999
    int replaced = 0;
    size_t from = 0;
    for (;;) {
        const WCH* hit = FindCase(work + from, pattern);
        if (!hit) break;
        size_t at = size_t(hit - work);
        WCopy(next, at + 1 <= kWork ? at + 1 : kWork, work);
        WAppend(next, kWork, replacement);
        size_t resume = WLen(next);
        WAppend(next, kWork, work + at + plen);
        memcpy(work, next, sizeof work);
        ++replaced;
        // Search on after the inserted text, so a replacement that contains
        // the pattern cannot loop for ever.
        if (resume >= WLen(work)) break;
        from = resume;
    }
    WCopy(text, capacity, work);
    return replaced;
}

int IsPlainFileName(const WCH* name) {
    if (!name[0]) return 0;
    // Only dots and blanks ("." "..", "...", ". ") name the folder itself or
    // its parent once Windows drops trailing dots and blanks.
    bool dots_only = true;
    for (const WCH* p = name; *p; ++p) dots_only &= *p == u'.' || *p == u' ';
    if (dots_only) return 0;
    for (const WCH* p = name; *p; ++p) {
        WCH c = *p;
        if (c < 0x20 || c == u'\\' || c == u'/' || c == u':' || c == u'*' || c == u'?' || c == u'"' || c == u'<' ||
            c == u'>' || c == u'|')
            return 0;
    }
    return 1;
}
