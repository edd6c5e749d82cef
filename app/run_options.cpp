// The opt-in words of the command line and the drive selector.
#include "app/run_options.h"

#include "core/text_search.h"
#include "platform/wtext.h"

namespace {

RunOptions g_options;

bool IsBlank(WCH c) { return c == u' ' || c == u'\t'; }

WCH Lower(WCH c) { return (c >= u'A' && c <= u'Z') ? static_cast<WCH>(c + 32) : c; }

// text starts with word, ignoring case.
bool StartsWith(const WCH* text, const WCH* word) {
    for (; *word; ++word, ++text)
        if (Lower(*text) != Lower(*word)) return false;
    return true;
}

// One blank-separated token, with quotes taken off: "/report:C:\a b.json"
// and /report:"C:\a b.json" both read as /report:C:\a b.json. Returns where
// the next token starts; 0 in *out when the token does not fit.
const WCH* NextToken(const WCH* at, WCH* out, size_t capacity, bool* fits) {
    size_t n = 0;
    bool quoted = false;
    *fits = true;
    for (; *at && (quoted || !IsBlank(*at)); ++at) {
        if (*at == u'"') {
            quoted = !quoted;
            continue;
        }
        if (n + 1 < capacity)
            out[n++] = *at;
        else
            *fits = false;
    }
    out[n] = 0;
    return at;
}

// A word with a value: set once, never empty, never cut.
bool TakeValue(const WCH* token, size_t prefix, bool fits, WCH* out, size_t capacity, RunOptions* options) {
    if (out[0] || !fits || !token[prefix] || WCopy(out, capacity, token + prefix) < 0) {
        options->bad = 1;
        return false;
    }
    return true;
}

bool AllDigits(const WCH* text) {
    if (!*text) return false;
    for (; *text; ++text)
        if (*text < u'0' || *text > u'9') return false;
    return true;
}

// A decimal number of at most 18 digits (no overflow), or -1.
int64_t Decimal(const WCH* text) {
    if (!AllDigits(text) || WLen(text) > 18) return -1;
    int64_t value = 0;
    for (; *text; ++text) value = value * 10 + (*text - u'0');
    return value;
}

// The serial as the drive reports it, without outer blanks.
bool SameSerial(const WCH* selector, const WCH* serial) {
    WCH a[64], b[64];
    WCopy(a, 64, selector);
    WCopy(b, 64, serial);
    TrimBlanks(a);
    TrimBlanks(b);
    return a[0] && WCompareNoCase(a, b) == 0;
}

}  // namespace

int ParseRunOptions(const WCH* line, RunOptions* options) {
    *options = RunOptions{};
    WCH token[300];
    const WCH* at = line;
    while (at && *at) {
        while (IsBlank(*at)) ++at;
        if (!*at) break;
        bool fits = true;
        at = NextToken(at, token, sizeof token / sizeof token[0], &fits);
        if (StartsWith(token, u"/report:")) {
            TakeValue(token, 8, fits, options->report_path, 260, options);
        } else if (StartsWith(token, u"/record:")) {
            TakeValue(token, 8, fits, options->record_path, 260, options);
        } else if (StartsWith(token, u"/record-full:")) {
            if (TakeValue(token, 13, fits, options->record_path, 260, options)) options->record_full = 1;
        } else if (StartsWith(token, u"/drive:")) {
            TakeValue(token, 7, fits, options->drive, 64, options);
        } else if (WCompareNoCase(token, u"/unattended") == 0) {
            if (options->unattended) options->bad = 1;
            options->unattended = 1;
        } else if (WCompareNoCase(token, u"/dryrun") == 0) {
            if (options->dry_run) options->bad = 1;
            options->dry_run = 1;
        }
    }
    if ((options->unattended != 0) != (options->drive[0] != 0)) options->bad = 1;
    return options->bad ? 0 : 1;
}

RunOptions* GetRunOptions() { return &g_options; }

int RunKeepsEvidence(const RunOptions* options) {
    return options->report_path[0] || options->unattended || options->dry_run;
}

int SelectDrive(const WCH* selector, const DiskInfo* list, uint32_t count, uint32_t* index) {
    int64_t number = Decimal(selector);
    const WCH* port_text = StartsWith(selector, u"port:") ? selector + 5 : nullptr;
    int64_t port = port_text ? Decimal(port_text) : number;
    uint32_t found = 0, at = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const DiskInfo* disk = &list[i];
        bool match = false;
        if (!port_text && number >= 0 && number < 256) match = disk->iDiskNumber == static_cast<uint32_t>(number);
        if (!match && port >= 0 && disk->iPort >= 0) match = disk->iPort == port;
        if (!match && !port_text) match = SameSerial(selector, disk->szSerial);
        if (match) {
            ++found;
            at = i;
        }
    }
    if (found == 1) *index = at;
    return found == 0 ? kSelectNone : found == 1 ? kSelectOne : kSelectMany;
}
