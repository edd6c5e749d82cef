// The commands of quillon-tool, one row each.
#include "tools/quillon-tool/tool_commands.h"

const ToolCommand kToolCommands[] = {
    {"package", "list", "PACKAGE.zip",
     "list the entries: index, cleaned name, attributes, last write (UTC), sizes, result", ToolPackageList},
    {"package", "extract", "PACKAGE.zip DIR", "extract every entry into DIR as the tool does at start-up",
     ToolPackageExtract},
};

const int kToolCommandCount = static_cast<int>(sizeof kToolCommands / sizeof kToolCommands[0]);
