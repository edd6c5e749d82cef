// quillon-tool: commands for the people who build firmware packages.
//
// Each command is one row of kToolCommands (command_table.cpp): its words,
// the arguments it takes, a line of help and the function that runs it. A
// command lives in a file of its own; adding one is that file plus one row.
#pragma once

#include <string>

#include "platform/os_types.h"

// Exit codes of every command.
constexpr int kToolOk = 0;
constexpr int kToolFailed = 1;  // findings, a failed check, or an input that cannot be used
constexpr int kToolUsage = 2;   // wrong arguments

// argv holds the arguments after the command words, argc of them.
typedef int (*ToolCommandFn)(int argc, const WCH* const* argv);

struct ToolCommand {
    const char* group;      // first word, e.g. "package"
    const char* name;       // second word, e.g. "list"
    const char* arguments;  // shown in the usage line, e.g. "PACKAGE.zip"
    const char* summary;    // one line of help
    ToolCommandFn run;
};

extern const ToolCommand kToolCommands[];
extern const int kToolCommandCount;

// The row of the command that runs, for its usage line.
extern const ToolCommand* g_tool_command;

// Output: wide text formatted as FormatW does, written as UTF-8 with a
// newline. Results go to stdout; every error goes to stderr after
// "quillon-tool: ".
void ToolPrintLine(const WCH* format, ...);
void ToolErrorLine(const WCH* format, ...);
// The usage line of the running command, on stderr.
void ToolPrintUsage();
// Text as it is (a JSON document) on stdout.
void ToolPrintRaw(const char* text);
// A JSON string: the text quoted and escaped, as UTF-8.
std::string ToolJsonText(const WCH* text);
// UTF-8 <-> UTF-16 for the command line and the console.
void ToolWidenUtf8(const char* in, WCH* out, size_t capacity);
void ToolNarrowUtf8(const WCH* in, char* out, size_t capacity);

// The commands.
int ToolPackageList(int argc, const WCH* const* argv);
int ToolPackageExtract(int argc, const WCH* const* argv);
