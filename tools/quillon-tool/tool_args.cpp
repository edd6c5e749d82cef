// Option parsing shared by every quillon-tool command.
#include "tools/quillon-tool/tool_args.h"

#include <cstdarg>

#include "platform/wtext.h"
#include "tools/quillon-tool/tool_commands.h"

namespace {

bool NameIs(const WCH* name, const WCH* word, size_t length) {
    if (WLen(name) != length) return false;
    for (size_t k = 0; k < length; ++k)
        if (name[k] != word[k]) return false;
    return true;
}

}  // namespace

int ToolUsageError(const WCH* format, ...) {
    WCH reason[1024];
    va_list args;
    va_start(args, format);
    VFormatW(reason, 1024, format, args);
    va_end(args);
    ToolErrorLine(u"%s", reason);
    ToolPrintUsage();
    return kToolUsage;
}

bool ToolParseArgs(int argc, const WCH* const* argv, const ToolOptionDesc* options, int option_count, size_t min_words,
                   size_t max_words, ToolArgs* out) {
    out->words.clear();
    out->values.assign(size_t(option_count), nullptr);
    bool options_end = false;
    for (int i = 0; i < argc; ++i) {
        const WCH* word = argv[i];
        if (options_end || word[0] != u'-' || word[1] == 0) {
            out->words.push_back(word);
            continue;
        }
        if (WCompare(word, u"--") == 0) {
            options_end = true;
            continue;
        }
        // The name runs up to an '=' of a long option.
        size_t name_length = WLen(word);
        const WCH* inline_value = nullptr;
        if (word[1] == u'-') {
            for (size_t k = 2; word[k]; ++k) {
                if (word[k] == u'=') {
                    name_length = k;
                    inline_value = word + k + 1;
                    break;
                }
            }
        }
        int found = -1;
        for (int s = 0; s < option_count; ++s) {
            if (NameIs(options[s].name, word, name_length)) found = s;
        }
        WCH name[128];
        size_t n = 0;
        for (; n < name_length && n + 1 < 128; ++n) name[n] = word[n];
        name[n] = 0;
        if (found < 0) {
            ToolUsageError(u"unknown option %s", name);
            return false;
        }
        if (!options[found].takes_value) {
            if (inline_value) {
                ToolUsageError(u"%s takes no value", name);
                return false;
            }
            out->values[size_t(found)] = u"";
            continue;
        }
        const WCH* value = inline_value;
        if (!value && i + 1 < argc) value = argv[++i];
        if (!value || !value[0]) {
            ToolUsageError(u"%s needs a value", name);
            return false;
        }
        out->values[size_t(found)] = value;
    }
    if (out->words.size() < min_words) {
        ToolUsageError(out->words.empty() ? u"missing arguments" : u"too few arguments");
        return false;
    }
    if (out->words.size() > max_words) {
        ToolUsageError(u"unexpected argument %s", out->words[max_words]);
        return false;
    }
    return true;
}
