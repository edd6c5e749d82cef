// quillon-tool: dispatch on the first two words through kToolCommands.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/quillon-tool/tool_commands.h"

namespace {

bool IsHelp(const char* word) {
    return std::strcmp(word, "--help") == 0 || std::strcmp(word, "-h") == 0 || std::strcmp(word, "help") == 0;
}

void PrintUsage(FILE* stream, const char* group) {
    std::fprintf(stream, "usage: quillon-tool COMMAND ARGUMENTS...\n\ncommands:\n");
    for (int i = 0; i < kToolCommandCount; ++i) {
        const ToolCommand& c = kToolCommands[i];
        if (group != nullptr && std::strcmp(group, c.group) != 0) continue;
        std::fprintf(stream, "  quillon-tool %s %s %s\n      %s\n", c.group, c.name, c.arguments, c.summary);
    }
    std::fprintf(stream, "\nexit codes: 0 success, %d the operation failed, %d wrong arguments\n", kToolFailed, kToolUsage);
}

bool KnownGroup(const char* group) {
    for (int i = 0; i < kToolCommandCount; ++i) {
        if (std::strcmp(kToolCommands[i].group, group) == 0) return true;
    }
    return false;
}

// args: the command line after the program name, as UTF-8; wide: the same as UTF-16.
int Dispatch(const std::vector<std::string>& args, const std::vector<std::u16string>& wide) {
    if (args.empty()) {
        PrintUsage(stderr, nullptr);
        return kToolUsage;
    }
    if (IsHelp(args[0].c_str())) {
        PrintUsage(stdout, nullptr);
        return kToolOk;
    }
    for (int i = 0; i < kToolCommandCount; ++i) {
        const ToolCommand& c = kToolCommands[i];
        if (args.size() < 2 || args[0] != c.group || args[1] != c.name) continue;
        std::vector<const WCH*> rest;
        for (size_t k = 2; k < wide.size(); ++k) {
            if (IsHelp(args[k].c_str())) {
                std::printf("usage: quillon-tool %s %s %s\n  %s\n", c.group, c.name, c.arguments, c.summary);
                return kToolOk;
            }
            rest.push_back(wide[k].c_str());
        }
        rest.push_back(nullptr);
        return c.run(static_cast<int>(wide.size() - 2), rest.data());
    }
    if (KnownGroup(args[0].c_str())) {
        if (args.size() >= 2 && IsHelp(args[1].c_str())) {
            PrintUsage(stdout, args[0].c_str());
            return kToolOk;
        }
        std::fprintf(stderr, "quillon-tool: unknown %s command\n", args[0].c_str());
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
