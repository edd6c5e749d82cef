// The commands of quillon-tool, one row each.
#include "tools/quillon-tool/config_commands.h"
#include "tools/quillon-tool/tool_commands.h"
#include "tools/quillon-tool/trace_commands.h"

const ToolCommand kToolCommands[] = {
    {"package", "list", "PACKAGE.zip [--json]",
     "list the entries: index, cleaned name, attributes, last write (UTC), sizes, result", ToolPackageList},
    {"package", "extract", "PACKAGE.zip DIR [--max-size BYTES]",
     "extract every entry into DIR as the tool does at start-up; nothing is written when the entries declare\n"
     "      more than BYTES in all (default 4294967296, 4 GiB)",
     ToolPackageExtract},
    {"package", "lint", "PACKAGE.zip|DIR|Quillon.exe [--json]",
     "report what would make the tool refuse or misbehave; exit 1 on errors. A zip, a folder or an executable\n"
     "      (its FWPACKAGEZIP resource), told apart by content",
     ToolPackageLint},
    {"image", "info", "IMAGE [--json]", "layout, checksum variant, version, build number and configured version", ToolImageInfo},
    {"image", "verify", "IMAGE [--json]", "exit 0 when the stored checksum matches CRC-32C or CRC-32", ToolImageVerify},
    {"image", "reseal", "IMAGE [--crc32c|--crc32]", "store a fresh checksum (default: the variant it carries)",
     ToolImageReseal},
    {"image", "make",
     "OUT --firmware FILE [--config FILE] [--config-version TEXT] --version VERSION --build NUMBER [--crc32]",
     "build a sealed image from firmware bytes and a configuration block", ToolImageMake},
    {"title", "encode", "TEXT", "the hexadecimal TITLE value of a text", ToolTitleEncode},
    {"title", "decode", "HEX", "the text the tool shows for a TITLE value", ToolTitleDecode},
    {"trace", "redact", "IN OUT",
     "the trace with serial numbers, volume GUIDs and user names replaced, each by one placeholder of its\n"
     "      length everywhere (texts and answered bytes alike); lists the kinds, placeholders and counts",
     ToolTraceRedact},
    {"trace", "machine", "IN OUT.json",
     "a machine file for quillon-sim --machine from the trace's device tree and drive identities", ToolTraceMachine},
};

const int kToolCommandCount = static_cast<int>(sizeof kToolCommands / sizeof kToolCommands[0]);
