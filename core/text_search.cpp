// Case-insensitive substring search over bounded local copies.
#include "core/text_search.h"

#include <cstring>

#include "platform/os.h"
#include "platform/wtext.h"

const WCH* FindNoCase(const WCH* text, const WCH* pattern) {
    if (!text || !pattern) return nullptr;
    WCH low_text[1024];   // the text is searched in its first 1023 units
    WCH low_pattern[512];
    WCopy(low_text, 1024, text);
    // A pattern cut to 511 units could match where the whole one does not:
    // an over-long pattern is never found.
    if (!WCopy(low_pattern, 512, pattern)) return nullptr;
    os::CharLowerW(low_text);
    os::CharLowerW(low_pattern);

    // CharLowerW maps unit for unit, so an offset in the copy is the same
    // offset in the caller's text.
    size_t n = WLen(low_text);
    size_t m = WLen(low_pattern);
    if (m > n) return nullptr;
    for (size_t i = 0; i + m <= n; ++i) {
        size_t k = 0;
        while (k < m && low_text[i + k] == low_pattern[k]) ++k;
        if (k == m) return text + i;
    }
    return nullptr;
}

void TrimBlanks(WCH* text) {
    size_t start = 0;
    while (text[start] == u' ' || text[start] == u'\t') ++start;
    size_t len = WLen(text + start);
    if (start) memmove(text, text + start, (len + 1) * sizeof(WCH));
    while (len > 0 && (text[len - 1] == u' ' || text[len - 1] == u'\t')) text[--len] = 0;
}
