// quillon-sim --replay: the trace's records, the lookup, and the answers.
#include "tools/quillon-sim/replay_trace.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <vector>

#include "platform/host/host_objects.h"
#include "platform/os.h"
#include "platform/storage_layouts.h"
#include "platform/trace/sha256.h"
#include "platform/trace/trace_format.h"
#include "platform/trace/trace_hook.h"
#include "platform/trace/trace_request.h"
#include "tools/quillon-sim/replay_keys.h"
#include "tools/quillon-sim/sim_files.h"

namespace {

namespace f = tracefmt;
using json = nlohmann::json;

constexpr int kReplayHandleKind = kHostSimFirst + 14;
constexpr DWORD kErrorGenFailure = 31;  // what a call the trace cannot answer fails with

struct Record {
    json j;
    std::string key;
    size_t line;
};

struct ReplayHandle : HostObject {
    ReplayHandle() : HostObject(kReplayHandleKind) {}
    std::string path;  // UTF-8, as the trace spells it
};

struct Replay {
    std::string file;
    bool strict = false;
    std::vector<Record> calls;  // the records that answer calls, in order
    size_t cursor = 0;          // where the next search starts
    uint64_t requests = 0;      // DeviceIoControl calls so far
    std::map<HDEVINFO, uint64_t> sets;  // live set → the trace's set id
    uintptr_t next_set = 0x5E700000;
    std::string failure;
};

Replay* g_replay = nullptr;
std::mutex g_mutex;

// ---- texts and bytes ----------------------------------------------------------------

std::string Utf8(const WCH* text, size_t max_units = 32768) {
    std::string out;
    for (size_t i = 0; text && i < max_units && text[i]; ++i) {
        uint32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < max_units && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::u16string Utf16(const std::string& text) {
    std::u16string out;
    for (size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        uint32_t code = c;
        int more = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
        if (more) code = c & (0x3F >> more);
        ++i;
        for (int k = 0; k < more && i < text.size(); ++k, ++i) code = (code << 6) | (text[i] & 0x3F);
        if (code >= 0x10000) {
            code -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (code >> 10));
            out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
        } else {
            out += static_cast<char16_t>(code);
        }
    }
    return out;
}

std::string Hex(const void* bytes, size_t size) {
    static const char kDigits[] = "0123456789abcdef";
    const uint8_t* at = static_cast<const uint8_t*>(bytes);
    std::string out;
    out.reserve(2 * size);
    for (size_t i = 0; i < size; ++i) {
        out += kDigits[at[i] >> 4];
        out += kDigits[at[i] & 15];
    }
    return out;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The bytes of a hex field; empty when it is missing or not hex.
std::vector<uint8_t> Bytes(const json& record, const char* key) {
    std::vector<uint8_t> out;
    auto it = record.find(key);
    if (it == record.end() || !it->is_string()) return out;
    const std::string& hex = it->get_ref<const std::string&>();
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        int hi = HexDigit(hex[i]), lo = HexDigit(hex[i + 1]);
        if (hi < 0 || lo < 0) return std::vector<uint8_t>();
        out.push_back(static_cast<uint8_t>(hi * 16 + lo));
    }
    return out;
}

uint64_t Number(const json& record, const char* key, uint64_t fallback = 0) {
    auto it = record.find(key);
    if (it == record.end() || !it->is_number()) return fallback;
    return it->is_number_unsigned() ? it->get<uint64_t>() : static_cast<uint64_t>(it->get<int64_t>());
}

std::string String(const json& record, const char* key) {
    auto it = record.find(key);
    return it != record.end() && it->is_string() ? it->get<std::string>() : std::string();
}

std::string GuidText(const GUID& g) {
    char text[40];
    snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", static_cast<unsigned>(g.Data1),
             g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6],
             g.Data4[7]);
    return text;
}

GUID ParseGuid(const std::string& text) {
    GUID g{};
    unsigned a = 0, b = 0, c = 0, d[8] = {};
    if (sscanf(text.c_str(), "{%8x-%4x-%4x-%2x%2x-%2x%2x%2x%2x%2x%2x}", &a, &b, &c, &d[0], &d[1], &d[2], &d[3], &d[4],
               &d[5], &d[6], &d[7]) == 11) {
        g.Data1 = a;
        g.Data2 = static_cast<uint16_t>(b);
        g.Data3 = static_cast<uint16_t>(c);
        for (int i = 0; i < 8; ++i) g.Data4[i] = static_cast<uint8_t>(d[i]);
    }
    return g;
}

json GuidOrNull(const GUID* guid) { return guid ? json(GuidText(*guid)) : json(nullptr); }

// ---- the lookup ---------------------------------------------------------------------

// "request N on PATH" for a DeviceIoControl, the call's kind otherwise.
std::string Where(const json& live) {
    if (String(live, f::kKind) == f::kIoctl)
        return "request " + std::to_string(Number(live, f::kRequest)) + " on " + String(live, f::kPath);
    return String(live, f::kKind) + " call";
}

std::string RecordName(const Record& r) {
    if (String(r.j, f::kKind) == f::kIoctl) return "request " + std::to_string(Number(r.j, f::kRequest));
    return "record " + std::to_string(Number(r.j, f::kNumber));
}

void Fail(Replay* replay, const std::string& message) {
    if (!replay->failure.empty()) return;
    replay->failure = message;
    fprintf(stderr, "replay: %s\n", message.c_str());
    fflush(stderr);
}

// The closest recorded call for a message: the next one of the same kind
// (and, for requests, on the same path with the same code) from the cursor on.
const Record* Closest(const Replay& replay, const json& live) {
    const Record* same_kind = nullptr;
    for (size_t k = 0; k < replay.calls.size(); ++k) {
        const Record& r = replay.calls[(replay.cursor + k) % replay.calls.size()];
        if (String(r.j, f::kKind) != String(live, f::kKind)) continue;
        if (!same_kind) same_kind = &r;
        if (String(r.j, f::kPath) == String(live, f::kPath) && String(r.j, f::kCode) == String(live, f::kCode)) return &r;
    }
    return same_kind;
}

// The record that answers this call, or null (the run's failure then says why).
const Record* Lookup(Replay* replay, const json& live) {
    std::string key = ReplayKeyOf(live);
    size_t count = replay->calls.size();
    if (replay->strict) {
        if (replay->cursor < count && replay->calls[replay->cursor].key == key) return &replay->calls[replay->cursor++];
        std::string expected = replay->cursor < count ? RecordName(replay->calls[replay->cursor]) + ", " +
                                                            DescribeCall(replay->calls[replay->cursor].j)
                                                      : "the end of the trace";
        Fail(replay, Where(live) + ": expected " + expected + ", got " + DescribeCall(live));
        return nullptr;
    }
    for (size_t k = 0; k < count; ++k) {
        size_t at = (replay->cursor + k) % count;
        if (replay->calls[at].key != key) continue;
        replay->cursor = at + 1;
        return &replay->calls[at];
    }
    const Record* closest = Closest(*replay, live);
    Fail(replay, Where(live) + ": no recorded answer for " + DescribeCall(live) + " (closest recorded: " +
                     (closest ? RecordName(*closest) + ", " + DescribeCall(closest->j) : std::string("none")) + ")");
    return nullptr;
}

// Copies recorded bytes into a caller's buffer, never past its end.
DWORD Give(const std::vector<uint8_t>& bytes, void* to, size_t capacity) {
    size_t n = bytes.size() < capacity ? bytes.size() : capacity;
    if (to && n) std::memcpy(to, bytes.data(), n);
    return static_cast<DWORD>(n);
}

uint64_t SetIdOf(Replay* replay, HDEVINFO set) {
    auto it = replay->sets.find(set);
    return it == replay->sets.end() ? 0 : it->second;
}

// ---- the hooks -------------------------------------------------------------------------

HANDLE ReplayOpen(trace::OpenFn, const WCH* path, DWORD access, DWORD, DWORD, DWORD) {
    std::lock_guard<std::mutex> lock(g_mutex);
    json live = {{f::kKind, f::kOpen}, {f::kPath, Utf8(path)}, {f::kAccess, access}};
    const Record* r = Lookup(g_replay, live);
    DWORD error = r ? static_cast<DWORD>(Number(r->j, f::kError)) : kErrorGenFailure;
    if (!r || !Number(r->j, f::kHandle)) {
        os::SetLastError(error ? error : kErrorGenFailure);
        return INVALID_HANDLE_VALUE;
    }
    ReplayHandle* handle = new ReplayHandle;
    handle->path = String(r->j, f::kPath);
    os::SetLastError(0);
    return HostRegister(handle);
}

// A pass-through's answer rebuilt in this build's layout: the input block
// with the recorded status, sense bytes, task files and data.
void GiveDirectAnswer(const TraceRequest& request, DWORD code, const json& r, void* in, DWORD in_size, void* out,
                      DWORD out_size) {
    if (out && in && out != in) std::memcpy(out, in, in_size < out_size ? in_size : out_size);
    uint8_t* block = static_cast<uint8_t*>(out);
    if (!block) return;
    std::vector<uint8_t> data_in = Bytes(r, f::kDataIn);
    if (request.data_in) Give(data_in, request.data_in, request.data_in_capacity);
    if (code == kIoctlScsiPassThroughDirect && out_size >= sizeof(ScsiPassThroughDirect)) {
        ScsiPassThroughDirect s;
        std::memcpy(&s, block, sizeof s);
        s.ScsiStatus = static_cast<uint8_t>(Number(r, f::kScsiStatus));
        std::vector<uint8_t> sense = Bytes(r, f::kSense);
        if (s.SenseInfoOffset < out_size) {
            size_t room = out_size - s.SenseInfoOffset;
            if (room > s.SenseInfoLength) room = s.SenseInfoLength;
            std::memset(block + s.SenseInfoOffset, 0, room);
            Give(sense, block + s.SenseInfoOffset, room);
        }
        if (request.data_in) s.DataTransferLength = static_cast<uint32_t>(data_in.size());
        std::memcpy(block, &s, sizeof s);
    } else if (code == kIoctlAtaPassThroughDirect && out_size >= sizeof(AtaPassThroughDirect)) {
        AtaPassThroughDirect a;
        std::memcpy(&a, block, sizeof a);
        std::vector<uint8_t> files = Bytes(r, f::kTaskFile);
        if (files.size() == 16) {
            std::memcpy(a.CurrentTaskFile, files.data(), 8);
            std::memcpy(a.PreviousTaskFile, files.data() + 8, 8);
        }
        if (request.data_in) a.DataTransferLength = static_cast<uint32_t>(data_in.size());
        std::memcpy(block, &a, sizeof a);
    }
}

BOOL ReplayIoctl(trace::IoctlFn, HANDLE device, DWORD code, void* in, DWORD in_size, void* out, DWORD out_size,
                 DWORD* returned) {
    std::lock_guard<std::mutex> lock(g_mutex);
    Replay* replay = g_replay;
    ReplayHandle* handle = static_cast<ReplayHandle*>(HostLookup(device, kReplayHandleKind));
    TraceRequest request;
    DescribeRequest(code, in, in_size, &request);
    size_t kept = 0;
    uint8_t* in_bytes = RecordedBytes(request, in, in_size, true, &kept);
    char code_text[16];
    snprintf(code_text, sizeof code_text, "0x%08X", static_cast<unsigned>(code));
    json live = {{f::kKind, f::kIoctl},
                 {f::kRequest, ++replay->requests},
                 {f::kPath, handle ? handle->path : std::string("(not a replayed handle)")},
                 {f::kCode, code_text},
                 {f::kName, request.name},
                 {f::kMeaning, json::parse(request.meaning)},
                 {f::kIn, Hex(in_bytes, kept)}};
    std::free(in_bytes);
    if (request.data_out_size) {
        uint8_t digest[32];
        Sha256Of(request.data_out, request.data_out_size, digest);
        live[f::kDataOut] = {{f::kLength, request.data_out_size}, {f::kSha256, Hex(digest, sizeof digest)}};
    }
    const Record* r = handle ? Lookup(replay, live) : nullptr;
    if (!handle) Fail(replay, Where(live) + ": the handle was not opened from the trace");
    if (returned) *returned = 0;
    if (!r) {
        os::SetLastError(kErrorGenFailure);
        return FALSE;
    }
    if (!Number(r->j, f::kOk)) {
        os::SetLastError(static_cast<DWORD>(Number(r->j, f::kError)));
        return FALSE;
    }
    std::string what = String(r->j[f::kMeaning], f::kWhat);
    DWORD count = 0;
    if (what == f::kWhatScsi || what == f::kWhatAta) {
        GiveDirectAnswer(request, code, r->j, in, in_size, out, out_size);
        count = static_cast<DWORD>(Number(r->j, f::kReturned));
        if (count > out_size) count = out_size;
    } else {
        count = Give(Bytes(r->j, f::kOut), out, out_size);
    }
    if (returned) *returned = count;
    os::SetLastError(0);
    return TRUE;
}

HDEVINFO ReplayClassDevs(trace::ClassDevsFn, const GUID* guid, const WCH* enumerator, HWND, DWORD flags) {
    std::lock_guard<std::mutex> lock(g_mutex);
    json live = {{f::kKind, f::kClassDevs},
                 {f::kGuid, GuidOrNull(guid)},
                 {f::kEnumerator, enumerator ? json(Utf8(enumerator)) : json(nullptr)},
                 {f::kFlags, flags}};
    const Record* r = Lookup(g_replay, live);
    if (!r || !Number(r->j, f::kSet)) {
        os::SetLastError(r ? static_cast<DWORD>(Number(r->j, f::kError)) : kErrorGenFailure);
        return reinterpret_cast<HDEVINFO>(INVALID_HANDLE_VALUE);
    }
    HDEVINFO set = reinterpret_cast<HDEVINFO>(g_replay->next_set += 0x10);
    g_replay->sets[set] = Number(r->j, f::kSet);
    os::SetLastError(0);
    return set;
}

BOOL ReplayDestroySet(trace::DestroySetFn, HDEVINFO set) {
    std::lock_guard<std::mutex> lock(g_mutex);
    json live = {{f::kKind, f::kDestroySet}, {f::kSet, SetIdOf(g_replay, set)}};
    const Record* r = Lookup(g_replay, live);
    g_replay->sets.erase(set);
    return r && Number(r->j, f::kOk) ? TRUE : FALSE;
}

// The answer's ok and last error; false when the call fails.
bool Answered(const Record* r) {
    if (!r) {
        os::SetLastError(kErrorGenFailure);
        return false;
    }
    if (!Number(r->j, f::kOk)) {
        os::SetLastError(static_cast<DWORD>(Number(r->j, f::kError)));
        return false;
    }
    os::SetLastError(0);
    return true;
}

BOOL ReplayEnumDevice(trace::EnumDeviceFn, HDEVINFO set, DWORD index, SP_DEVINFO_DATA* data) {
    std::lock_guard<std::mutex> lock(g_mutex);
    json live = {{f::kKind, f::kEnumDevice}, {f::kSet, SetIdOf(g_replay, set)}, {f::kIndex, index}};
    const Record* r = Lookup(g_replay, live);
    if (!Answered(r)) return FALSE;
    if (data) {
        data->DevInst = static_cast<DEVINST>(Number(r->j, f::kDevInst));
        data->ClassGuid = ParseGuid(String(r->j, f::kClassGuid));
        data->Reserved = 0;
    }
    return TRUE;
}

BOOL ReplayEnumInterface(trace::EnumInterfaceFn, HDEVINFO set, SP_DEVINFO_DATA* device, const GUID* guid, DWORD index,
                         SP_DEVICE_INTERFACE_DATA* data) {
    std::lock_guard<std::mutex> lock(g_mutex);
    json live = {{f::kKind, f::kEnumInterface},
                 {f::kSet, SetIdOf(g_replay, set)},
                 {f::kDevInst, device ? json(device->DevInst) : json(nullptr)},
                 {f::kGuid, GuidOrNull(guid)},
                 {f::kIndex, index}};
    const Record* r = Lookup(g_replay, live);
    if (!Answered(r)) return FALSE;
    if (data) {
        data->InterfaceClassGuid = ParseGuid(String(r->j, f::kIfaceGuid));
        data->Flags = static_cast<DWORD>(Number(r->j, f::kIfaceFlags));
        data->Reserved = static_cast<ULONG_PTR>(Number(r->j, f::kIface));  // the detail call names it again
    }
    return TRUE;
}

BOOL ReplayInterfaceDetail(trace::InterfaceDetailFn, HDEVINFO set, SP_DEVICE_INTERFACE_DATA* data, void* detail,
                           DWORD detail_size, DWORD* required, SP_DEVINFO_DATA* device) {
    std::lock_guard<std::mutex> lock(g_mutex);
    json live = {{f::kKind, f::kInterfaceDetail},
                 {f::kSet, SetIdOf(g_replay, set)},
                 {f::kIface, data ? data->Reserved : 0},
                 {f::kSize, detail_size}};
    const Record* r = Lookup(g_replay, live);
    if (r && required && r->j.contains(f::kRequired)) *required = static_cast<DWORD>(Number(r->j, f::kRequired));
    if (!Answered(r)) return FALSE;
    if (detail && detail_size > kInterfaceDetailPathOffset) {
        std::u16string path = Utf16(String(r->j, f::kPath));
        size_t room = (detail_size - kInterfaceDetailPathOffset) / sizeof(WCH);
        if (room) {
            size_t n = path.size() < room - 1 ? path.size() : room - 1;
            WCH* to = reinterpret_cast<WCH*>(static_cast<uint8_t*>(detail) + kInterfaceDetailPathOffset);
            std::memcpy(to, path.data(), n * sizeof(WCH));
            to[n] = 0;
        }
    }
    if (device) {
        device->DevInst = static_cast<DEVINST>(Number(r->j, f::kDevInst));
        device->Reserved = 0;
    }
    return TRUE;
}

BOOL PropertyAnswer(const Record* r, DWORD* type, BYTE* buffer, DWORD size, DWORD* required) {
    if (r && type && r->j.contains(f::kType)) *type = static_cast<DWORD>(Number(r->j, f::kType));
    if (r && required && r->j.contains(f::kRequired)) *required = static_cast<DWORD>(Number(r->j, f::kRequired));
    if (!Answered(r)) return FALSE;
    if (buffer) Give(Bytes(r->j, f::kBytes), buffer, size);
    return TRUE;
}

BOOL ReplayRegistryProperty(trace::RegistryPropertyFn, HDEVINFO set, SP_DEVINFO_DATA* device, DWORD property,
                            DWORD* type, BYTE* buffer, DWORD size, DWORD* required) {
    std::lock_guard<std::mutex> lock(g_mutex);
    json live = {{f::kKind, f::kRegistryProperty},
                 {f::kSet, SetIdOf(g_replay, set)},
                 {f::kDevInst, device ? device->DevInst : 0},
                 {f::kProperty, property},
                 {f::kSize, size}};
    return PropertyAnswer(Lookup(g_replay, live), type, buffer, size, required);
}

BOOL ReplayDeviceProperty(trace::DevicePropertyFn, HDEVINFO set, SP_DEVINFO_DATA* device, const DEVPROPKEY* key,
                          DEVPROPTYPE* type, BYTE* buffer, DWORD size, DWORD* required, DWORD flags) {
    std::lock_guard<std::mutex> lock(g_mutex);
    json live = {{f::kKind, f::kDeviceProperty},
                 {f::kSet, SetIdOf(g_replay, set)},
                 {f::kDevInst, device ? device->DevInst : 0},
                 {f::kKey, key ? json(GuidText(key->fmtid) + " " + std::to_string(key->pid)) : json(nullptr)},
                 {f::kSize, size},
                 {f::kFlags, flags}};
    return PropertyAnswer(Lookup(g_replay, live), type, buffer, size, required);
}

CONFIGRET ReplayCmParent(trace::CmParentFn, DEVINST* parent, DEVINST device, ULONG flags) {
    std::lock_guard<std::mutex> lock(g_mutex);
    json live = {{f::kKind, f::kCmParent}, {f::kDevInst, device}, {f::kFlags, flags}};
    const Record* r = Lookup(g_replay, live);
    if (!r) return CR_NO_SUCH_DEVNODE;
    if (parent) *parent = static_cast<DEVINST>(Number(r->j, f::kParent));
    return static_cast<CONFIGRET>(Number(r->j, f::kCr));
}

CONFIGRET ReplayCmDeviceId(trace::CmDeviceIdFn, DEVINST device, WCH* buffer, ULONG capacity, ULONG flags) {
    std::lock_guard<std::mutex> lock(g_mutex);
    json live = {{f::kKind, f::kCmDeviceId}, {f::kDevInst, device}, {f::kCapacity, capacity}, {f::kFlags, flags}};
    const Record* r = Lookup(g_replay, live);
    if (!r) return CR_NO_SUCH_DEVNODE;
    CONFIGRET cr = static_cast<CONFIGRET>(Number(r->j, f::kCr));
    if (cr == CR_SUCCESS && buffer && capacity) {
        std::u16string id = Utf16(String(r->j, f::kId));
        size_t n = id.size() < capacity - 1 ? id.size() : capacity - 1;
        std::memcpy(buffer, id.data(), n * sizeof(WCH));
        buffer[n] = 0;
    }
    return cr;
}

const trace::DeviceHooks kReplayHooks = {
    ReplayOpen,           ReplayIoctl,          ReplayClassDevs,       ReplayDestroySet,
    ReplayEnumDevice,     ReplayEnumInterface,  ReplayInterfaceDetail, ReplayRegistryProperty,
    ReplayDeviceProperty, ReplayCmParent,       ReplayCmDeviceId,      nullptr,
    nullptr,
};

}  // namespace

bool StartReplay(const std::string& path, bool strict, std::string* error) {
    std::string text;
    if (!ReadInputFile(path, &text, error)) return false;
    Replay* replay = new Replay;
    replay->file = path;
    replay->strict = strict;
    size_t line = 0, start = 0;
    bool header = false;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string one = text.substr(start, end - start);
        start = end + 1;
        ++line;
        if (one.find_first_not_of(" \t\r") == std::string::npos) continue;
        json j = json::parse(one, nullptr, false);
        if (j.is_discarded() || !j.is_object()) {
            *error = path + ":" + std::to_string(line) + ": not a JSON object";
            delete replay;
            return false;
        }
        if (!header) {
            if (String(j, f::kKind) != f::kHeader || String(j, f::kFormatField) != f::kFormat ||
                Number(j, f::kFormatVersionField) != static_cast<uint64_t>(f::kFormatVersion)) {
                *error = path + ":" + std::to_string(line) + ": not a trace (the first line is no version-1 header)";
                delete replay;
                return false;
            }
            header = true;
            continue;
        }
        std::string key = ReplayKeyOf(j);
        if (key.empty()) continue;  // dialog events, sleeps, the package
        replay->calls.push_back(Record{std::move(j), key, line});
    }
    if (!header) {
        *error = path + ": empty";
        delete replay;
        return false;
    }
    g_replay = replay;
    trace::g_device_hooks = &kReplayHooks;
    return true;
}

std::string ReplayFailure() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_replay ? g_replay->failure : std::string();
}
