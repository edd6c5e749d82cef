// quillon-tool trace machine IN OUT.json: a machine file for quillon-sim
// from a trace, and one line per drive it holds.
#include <string>
#include <vector>

#include "package/files.h"
#include "tools/quillon-tool/tool_args.h"
#include "tools/quillon-tool/tool_commands.h"
#include "tools/quillon-tool/trace_commands.h"
#include "tools/quillon-tool/trace_lines.h"
#include "tools/quillon-tool/trace_machine.h"

namespace {

std::u16string Wide(const std::string& text) {
    std::vector<WCH> wide(text.size() + 1);
    ToolWidenUtf8(text.c_str(), wide.data(), wide.size());
    return wide.data();
}

}  // namespace

int ToolTraceMachine(int argc, const WCH* const* argv) {
    ToolArgs args;
    if (!ToolParseArgs(argc, argv, nullptr, 0, 2, 2, &args)) return kToolUsage;
    std::vector<TraceRecord> records;
    if (!ReadTraceInput(args.words[0], &records)) return kToolFailed;
    std::vector<std::string> notes;
    const TraceRecord machine = TraceToMachine(records, &notes);
    const std::string text = machine.dump(2, ' ', false, nlohmann::detail::error_handler_t::replace) + "\n";
    if (WriteWholeFile(args.words[1], text.data(), static_cast<DWORD>(text.size())) == 0) {
        ToolErrorLine(u"%s: cannot be written", args.words[1]);
        return kToolFailed;
    }
    for (const TraceRecord& d : machine["drives"]) {
        const std::string model = d.contains("model") ? d["model"].get<std::string>() : std::string("(no identity)");
        ToolPrintLine(u"drive %d\t%s\t%s", d["number"].get<int>(), Wide(d["attachment"].get<std::string>()).c_str(),
                      Wide(model).c_str());
    }
    for (const std::string& note : notes) ToolPrintLine(u"note\t%s", Wide(note).c_str());
    if (machine["drives"].empty()) {
        ToolErrorLine(u"trace %s: no drive answered in it", args.words[0]);
        return kToolFailed;
    }
    return kToolOk;
}
