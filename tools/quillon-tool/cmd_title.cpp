// quillon-tool title encode / decode: the hexadecimal TITLE value.
#include <string>
#include <vector>

#include "package/config.h"
#include "platform/wtext.h"
#include "tools/quillon-tool/config_commands.h"
#include "tools/quillon-tool/tool_args.h"
#include "tools/quillon-tool/tool_commands.h"

int ToolTitleEncode(int argc, const WCH* const* argv) {
    ToolArgs args;
    if (!ToolParseArgs(argc, argv, nullptr, 0, 1, 1, &args)) return kToolUsage;
    argv = args.words.data();
    // Each UTF-16 unit as two bytes, low byte first.
    std::u16string hex;
    for (const WCH* p = argv[0]; *p; ++p) {
        WCH part[8];
        FormatW(part, 8, u"%02X %02X", *p & 0xFF, *p >> 8);
        if (!hex.empty()) hex += u' ';
        hex += part;
    }
    ToolPrintLine(u"%s", hex.c_str());
    // The tool reads TITLE into 260 units and decodes at most 100 tokens.
    if (hex.size() > 259 || WLen(argv[0]) * 2 > 100) {
        ToolErrorLine(u"too long: the tool shows only the first %d characters", 43);
        return kToolFailed;
    }
    return kToolOk;
}

int ToolTitleDecode(int argc, const WCH* const* argv) {
    ToolArgs args;
    if (!ToolParseArgs(argc, argv, nullptr, 0, 1, 1, &args)) return kToolUsage;
    argv = args.words.data();
    // As the tool reads it: the value cut to 259 units, then decoded.
    WCH value[260];
    WCopy(value, 260, argv[0]);
    BYTE bytes[520];
    DecodeHexBytes(value, bytes, sizeof bytes);
    WCH title[260];
    for (size_t i = 0; i < 260; ++i) title[i] = WCH(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    title[259] = 0;
    ToolPrintLine(u"%s", title);
    return kToolOk;
}
