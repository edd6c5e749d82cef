// Keys and descriptions of trace records.
#include "tools/quillon-sim/replay_keys.h"

#include <cstdio>

#include "platform/trace/trace_format.h"

namespace {

namespace f = tracefmt;
using json = nlohmann::json;

std::string Text(const json& value) {
    if (value.is_string()) return value.get<std::string>();
    if (value.is_null()) return "null";
    return value.dump();
}

std::string Field(const json& record, const char* key) {
    auto it = record.find(key);
    return it == record.end() ? std::string("-") : Text(*it);
}

// "E6 06 00 01" from "e6060001".
std::string SpacedHex(const std::string& hex, size_t max_bytes) {
    std::string out;
    for (size_t i = 0; i + 1 < hex.size() && i / 2 < max_bytes; i += 2) {
        if (!out.empty()) out += ' ';
        out += static_cast<char>(toupper(static_cast<unsigned char>(hex[i])));
        out += static_cast<char>(toupper(static_cast<unsigned char>(hex[i + 1])));
    }
    if (hex.size() / 2 > max_bytes) out += " …";
    return out;
}

std::string Meaning(const json& m) {
    std::string what = Field(m, f::kWhat);
    if (what == f::kWhatScsi) return "CDB " + SpacedHex(Field(m, f::kCdb), 16);
    if (what == f::kWhatAta) return "ATA task file " + SpacedHex(Field(m, f::kCurrent), 8);
    if (what == f::kWhatNvme) return "NVMe command " + SpacedHex(Field(m, f::kCommand), 16);
    if (what == f::kWhatProperty) return "property query " + Field(m, f::kProperty) + ", type " + Field(m, f::kQuery);
    if (what == f::kWhatFwDownload)
        return "firmware piece at offset " + Field(m, f::kOffset) + ", " + Field(m, f::kSize) + " bytes";
    if (what == f::kWhatFwActivate) return "firmware activation of slot " + Field(m, f::kSlot);
    if (what == f::kWhatMiniport) {
        std::string text = "miniport " + Field(m, f::kSignature) + " function " + Field(m, f::kFunction);
        if (m.contains(f::kCommand)) text += ", NVMe command " + SpacedHex(Field(m, f::kCommand), 16);
        if (m.contains(f::kOffset))
            text += ", firmware piece at offset " + Field(m, f::kOffset) + ", " + Field(m, f::kSize) + " bytes";
        return text;
    }
    return "";
}

}  // namespace

std::string ReplayKeyOf(const json& r) {
    std::string kind = Field(r, f::kKind);
    std::string key = kind;
    auto add = [&](const char* name) { key += std::string("|") + name + "=" + Field(r, name); };
    if (kind == f::kOpen) {
        add(f::kPath);
        add(f::kAccess);
    } else if (kind == f::kIoctl) {
        add(f::kPath);
        add(f::kCode);
        key += "|meaning=" + (r.contains(f::kMeaning) ? r[f::kMeaning].dump() : std::string("-"));
        if (r.contains(f::kDataOut) && r[f::kDataOut].is_object())
            key += "|data_out=" + Field(r[f::kDataOut], f::kLength) + ":" + Field(r[f::kDataOut], f::kSha256);
        // Blocks with a data pointer differ between 32- and 64-bit builds:
        // their meaning stands for them.
        std::string what = r.contains(f::kMeaning) ? Field(r[f::kMeaning], f::kWhat) : "";
        if (what != f::kWhatScsi && what != f::kWhatAta) add(f::kIn);
    } else if (kind == f::kClassDevs) {
        add(f::kGuid);
        add(f::kEnumerator);
        add(f::kFlags);
    } else if (kind == f::kEnumDevice) {
        add(f::kSet);
        add(f::kIndex);
    } else if (kind == f::kEnumInterface) {
        add(f::kSet);
        add(f::kDevInst);
        add(f::kGuid);
        add(f::kIndex);
    } else if (kind == f::kInterfaceDetail) {
        add(f::kSet);
        add(f::kIface);
        add(f::kSize);
    } else if (kind == f::kRegistryProperty) {
        add(f::kSet);
        add(f::kDevInst);
        add(f::kProperty);
        add(f::kSize);
    } else if (kind == f::kDeviceProperty) {
        add(f::kSet);
        add(f::kDevInst);
        add(f::kKey);
        add(f::kSize);
        add(f::kFlags);
    } else if (kind == f::kDestroySet) {
        add(f::kSet);
    } else if (kind == f::kCmParent) {
        add(f::kDevInst);
        add(f::kFlags);
    } else if (kind == f::kCmDeviceId) {
        add(f::kDevInst);
        add(f::kCapacity);
        add(f::kFlags);
    } else {
        return "";
    }
    return key;
}

std::string DescribeCall(const json& r) {
    std::string kind = Field(r, f::kKind);
    if (kind == f::kIoctl) {
        std::string text = r.contains(f::kMeaning) ? Meaning(r[f::kMeaning]) : "";
        if (text.empty()) text = Field(r, f::kName) + " " + Field(r, f::kCode) + ", input " + SpacedHex(Field(r, f::kIn), 24);
        if (r.contains(f::kDataOut) && r[f::kDataOut].is_object())
            text += " (data " + Field(r[f::kDataOut], f::kLength) + " bytes, sha256 " +
                    Field(r[f::kDataOut], f::kSha256).substr(0, 16) + "…)";
        return text;
    }
    if (kind == f::kOpen) return "open of " + Field(r, f::kPath) + " (access " + Field(r, f::kAccess) + ")";
    // The setup and configuration calls by their arguments.
    std::string key = ReplayKeyOf(r);
    size_t bar = key.find('|');
    return kind + (bar == std::string::npos ? "" : " " + key.substr(bar + 1));
}
