// The command line of one quillon-tool command: positional words and options.
//
// Conventions of every command: "--name value" and "--name=value" are the
// same; every word after "--" is positional, even one that starts with a
// dash; an unknown option, a flag given a value, an option without its value
// or the wrong number of words is a usage error (exit 2).
#pragma once

#include <vector>

#include "platform/os_types.h"

struct ToolOptionDesc {
    const WCH* name;  // "--firmware"
    bool takes_value;
};

struct ToolArgs {
    std::vector<const WCH*> words;   // positional words, in order
    std::vector<const WCH*> values;  // one per name: null when absent, u"" for a flag given, else the value
};

// Fills *out; on a bad word prints the reason and the command's usage on
// stderr and returns false. min_words/max_words bound the positional words.
bool ToolParseArgs(int argc, const WCH* const* argv, const ToolOptionDesc* options, int option_count, size_t min_words,
                   size_t max_words, ToolArgs* out);

// "quillon-tool: REASON" and the usage line of the running command on
// stderr; returns kToolUsage.
int ToolUsageError(const WCH* format, ...);
