// Reading and writing trace files for quillon-tool's trace commands.
#include "tools/quillon-tool/trace_lines.h"

#include <cstring>

#include "package/files.h"
#include "platform/trace/trace_format.h"
#include "platform/wtext.h"
#include "tools/quillon-tool/config_commands.h"
#include "tools/quillon-tool/tool_commands.h"

bool ReadTraceInput(const WCH* path, std::vector<TraceRecord>* records) {
    records->clear();
    std::vector<BYTE> bytes;
    if (!ToolReadInput(path, u"trace", &bytes)) return false;
    const std::string text(bytes.begin(), bytes.end());
    size_t start = 0;
    int line = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        ++line;
        std::string one = text.substr(start, end - start);
        start = end + 1;
        if (!one.empty() && one.back() == '\r') one.pop_back();
        if (one.find_first_not_of(" \t") == std::string::npos) continue;
        TraceRecord record = TraceRecord::parse(one, nullptr, false);
        if (!record.is_object()) {
            ToolErrorLine(u"trace %s: line %d: not a JSON object", path, line);
            return false;
        }
        records->push_back(std::move(record));
    }
    if (records->empty() || TraceText(records->front(), tracefmt::kKind) != tracefmt::kHeader ||
        TraceText(records->front(), tracefmt::kFormatField) != tracefmt::kFormat) {
        ToolErrorLine(u"trace %s: not a trace (the first line is not its \"%S\" header)", path, tracefmt::kHeader);
        return false;
    }
    return true;
}

bool WriteTraceOutput(const WCH* path, const std::vector<TraceRecord>& records) {
    std::string text;
    for (const TraceRecord& r : records) {
        text += r.dump(-1, ' ', false, nlohmann::detail::error_handler_t::replace);
        text += '\n';
    }
    if (text.size() > 0xFFFFFFFFu || WriteWholeFile(path, text.data(), static_cast<DWORD>(text.size())) == 0) {
        ToolErrorLine(u"%s: cannot be written", path);
        return false;
    }
    return true;
}

std::string TraceText(const TraceRecord& record, const char* field) {
    auto it = record.find(field);
    return it != record.end() && it->is_string() ? it->get<std::string>() : std::string();
}

int64_t TraceNumber(const TraceRecord& record, const char* field, int64_t fallback) {
    auto it = record.find(field);
    if (it == record.end() || !it->is_number_integer()) return fallback;
    return it->get<int64_t>();
}

std::string TraceBytes(const TraceRecord& record, const char* field) {
    std::string bytes;
    if (!HexToBytes(TraceText(record, field), &bytes)) bytes.clear();
    return bytes;
}

namespace {
int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}
}  // namespace

bool HexToBytes(const std::string& hex, std::string* bytes) {
    bytes->clear();
    if (hex.size() % 2 != 0) return false;
    bytes->reserve(hex.size() / 2);
    for (size_t i = 0; i < hex.size(); i += 2) {
        const int high = HexDigit(hex[i]), low = HexDigit(hex[i + 1]);
        if (high < 0 || low < 0) return false;
        bytes->push_back(static_cast<char>(high * 16 + low));
    }
    return true;
}

std::string BytesToHex(const std::string& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(bytes.size() * 2);
    for (unsigned char c : bytes) {
        hex.push_back(kDigits[c >> 4]);
        hex.push_back(kDigits[c & 15]);
    }
    return hex;
}
