// quillon-tool trace redact IN OUT: the trace without serial numbers, volume
// GUIDs and user names, and a list of what was replaced (kinds,
// placeholders and counts; never the values themselves).
#include <string>
#include <vector>

#include "tools/quillon-tool/tool_args.h"
#include "tools/quillon-tool/tool_commands.h"
#include "tools/quillon-tool/trace_commands.h"
#include "tools/quillon-tool/trace_lines.h"
#include "tools/quillon-tool/trace_redact.h"

namespace {

void Widen(const std::string& text, std::u16string* out) {
    std::vector<WCH> wide(text.size() + 1);
    ToolWidenUtf8(text.c_str(), wide.data(), wide.size());
    *out = wide.data();
}

}  // namespace

int ToolTraceRedact(int argc, const WCH* const* argv) {
    ToolArgs args;
    if (!ToolParseArgs(argc, argv, nullptr, 0, 2, 2, &args)) return kToolUsage;
    std::vector<TraceRecord> records;
    if (!ReadTraceInput(args.words[0], &records)) return kToolFailed;
    Redaction redaction;
    FindPrivateValues(records, &redaction);
    ApplyRedaction(&records, &redaction);
    if (!WriteTraceOutput(args.words[1], records)) return kToolFailed;

    int kinds[3] = {};
    int places = 0;
    for (const RedactedValue& v : redaction.values) {
        std::u16string kind, placeholder;
        Widen(RedactKindName(v.kind), &kind);
        Widen(v.placeholder, &placeholder);
        ToolPrintLine(u"%s\t%s\t%d characters\t%d places", kind.c_str(), placeholder.c_str(),
                      static_cast<int>(v.value.size()), v.places);
        ++kinds[static_cast<int>(v.kind)];
        places += v.places;
    }
    ToolPrintLine(u"replaced %d serial numbers, %d volume GUIDs, %d user names in %d places of %d records",
                  kinds[0], kinds[1], kinds[2], places, static_cast<int>(records.size()));
    return kToolOk;
}
