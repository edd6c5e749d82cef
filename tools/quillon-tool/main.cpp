// quillon-tool: dispatch on the first two words through kToolCommands.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "res/version.h"
#include "tools/quillon-tool/tool_commands.h"

namespace {

bool IsHelp(const std::string& word) { return word == "--help" || word == "-h" || word == "help"; }

void PrintUsage(FILE* stream, const char* group) {
    std::fprintf(stream, "usage: quillon-tool COMMAND ARGUMENTS...\n"
                         "       quillon-tool --version | --help\n\ncommands:\n");
    for (int i = 0; i < kToolCommandCount; ++i) {
        const ToolCommand& c = kToolCommands[i];
        if (group != nullptr && std::strcmp(group, c.group) != 0) continue;
        std::fprintf(stream, "  quillon-tool %s %s %s\n      %s\n", c.group, c.name, c.arguments, c.summary);
    }
    std::fprintf(stream,
                 "\nAn option's value may be written --option VALUE or --option=VALUE; every word after\n"
                 "\"--\" is an argument, even one that starts with a dash. --json prints one JSON\n"
                 "document on stdout instead of the text (docs/quillon-tool.md lists its fields).\n"
                 "Results go to stdout, errors to stderr after \"quillon-tool: \".\n"
                 "\nexit codes: %d ok, %d findings or a failure (or an input that cannot be used),\n"
                 "            %d wrong arguments\n",
                 kToolOk, kToolFailed, kToolUsage);
}

bool KnownGroup(const std::string& group) {
    for (int i = 0; i < kToolCommandCount; ++i) {
        if (group == kToolCommands[i].group) return true;
    }
    return false;
}

// args: the command line after the program name, as UTF-8; wide: the same as UTF-16.
int Dispatch(const std::vector<std::string>& args, const std::vector<std::u16string>& wide) {
    if (args.empty()) {
        std::fprintf(stderr, "quillon-tool: missing command\n");
        PrintUsage(stderr, nullptr);
        return kToolUsage;
    }
    if (IsHelp(args[0])) {
        PrintUsage(stdout, nullptr);
        return kToolOk;
    }
    if (args[0] == "--version") {
        std::printf("quillon-tool %s\n", QN_VERSION_TEXT);
        return kToolOk;
    }
    for (int i = 0; i < kToolCommandCount; ++i) {
        const ToolCommand& c = kToolCommands[i];
        if (args.size() < 2 || args[0] != c.group || args[1] != c.name) continue;
        g_tool_command = &c;
        std::vector<const WCH*> rest;
        bool options_end = false;
        for (size_t k = 2; k < wide.size(); ++k) {
            options_end |= args[k] == "--";
            if (!options_end && IsHelp(args[k]) && args[k] != "help") {
                std::printf("usage: quillon-tool %s %s %s\n  %s\n", c.group, c.name, c.arguments, c.summary);
                return kToolOk;
            }
            rest.push_back(wide[k].c_str());
        }
        rest.push_back(nullptr);
        return c.run(static_cast<int>(wide.size() - 2), rest.data());
    }
    if (KnownGroup(args[0])) {
        if (args.size() >= 2 && IsHelp(args[1])) {
            PrintUsage(stdout, args[0].c_str());
            return kToolOk;
        }
        if (args.size() < 2) std::fprintf(stderr, "quillon-tool: %s needs a command\n", args[0].c_str());
        else std::fprintf(stderr, "quillon-tool: unknown %s command '%s'\n", args[0].c_str(), args[1].c_str());
        PrintUsage(stderr, args[0].c_str());
        return kToolUsage;
    }
    std::fprintf(stderr, "quillon-tool: unknown command '%s'\n", args[0].c_str());
    PrintUsage(stderr, nullptr);
    return kToolUsage;
}

}  // namespace

#ifdef _WIN32
// Console program built with -municode: arguments arrive as UTF-16.
int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> args;
    std::vector<std::u16string> wide;
    for (int i = 1; i < argc; ++i) {
        std::u16string w;
        for (const wchar_t* p = argv[i]; *p != 0; ++p) w.push_back(static_cast<char16_t>(*p));
        std::vector<char> narrow(w.size() * 3 + 1);
        ToolNarrowUtf8(w.c_str(), narrow.data(), narrow.size());
        args.push_back(narrow.data());
        wide.push_back(w);
    }
    return Dispatch(args, wide);
}
#else
int main(int argc, char** argv) {
    std::vector<std::string> args;
    std::vector<std::u16string> wide;
    for (int i = 1; i < argc; ++i) {
        args.push_back(argv[i]);
        std::vector<WCH> w(std::strlen(argv[i]) + 1);
        ToolWidenUtf8(argv[i], w.data(), w.size());
        wide.push_back(w.data());
    }
    return Dispatch(args, wide);
}
#endif
