// The recorder: the device hooks that write each call down after the real
// one answered (docs/traces.md, "The file").
//
// Records are written whole under a spin lock into one buffer that goes to
// the file when it fills and when recording stops. Nothing inside the lock
// can make a thread wait (no Sleep, no message), so the Linux host's turns
// never meet it held. The last error the tool will read is the call's own:
// it is saved before the record is written and put back after.
#include "platform/trace/trace_recorder.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "platform/os.h"
#include "platform/storage_layouts.h"
#include "platform/trace/sha256.h"
#include "platform/trace/trace_format.h"
#include "platform/trace/trace_hook.h"
#include "platform/trace/trace_out.h"
#include "platform/trace/trace_request.h"
#include "res/version.h"

namespace {

namespace f = tracefmt;

constexpr size_t kBufferSize = 1 << 16;
constexpr int kHandleSlots = 128;
constexpr int kSetSlots = 32;
constexpr int kIfaceSlots = 256;

struct HandleSlot {
    HANDLE value;
    uint32_t id;
    WCH path[260];
};

struct SetSlot {
    HDEVINFO value;
    uint32_t id;
};

struct IfaceSlot {
    uint32_t set;
    ULONG_PTR reserved;  // what the system keeps in the interface data
    uint32_t id;
};

struct Recorder {
    HANDLE file;
    bool full;
    char buffer[kBufferSize];
    TraceOut out;
    uint64_t number;   // the last record's n
    uint64_t request;  // the last DeviceIoControl's req
    uint32_t next_handle, next_set, next_iface;
    HandleSlot handles[kHandleSlots];
    SetSlot sets[kSetSlots];
    IfaceSlot ifaces[kIfaceSlots];
};

Recorder* g_recorder = nullptr;
std::atomic_flag g_lock = ATOMIC_FLAG_INIT;

void Lock() {
    while (g_lock.test_and_set(std::memory_order_acquire)) {
    }
}

void Unlock() { g_lock.clear(std::memory_order_release); }

void FlushToFile(TraceOut* out) {
    size_t done = 0;
    while (g_recorder && done < out->used) {
        DWORD chunk = out->used - done > 0x100000 ? 0x100000 : static_cast<DWORD>(out->used - done);
        DWORD written = 0;
        if (!os::WriteFile(g_recorder->file, out->buffer + done, chunk, &written) || !written) break;
        done += written;
    }
    out->used = 0;
}

// Opens a record: {"kind": …, "n": …, "t": …. The caller holds the lock.
TraceOut* Begin(const char* kind, ULONGLONG now) {
    TraceOut* out = &g_recorder->out;
    OutText(out, "{\"kind\": \"");
    OutText(out, kind);
    OutText(out, "\"");
    OutNumberField(out, f::kNumber, ++g_recorder->number);
    OutNumberField(out, f::kTime, now);
    return out;
}

void End(TraceOut* out) { OutText(out, "}\n"); }

// ---- ids for handles, sets and interfaces (under the lock) ----------------------

uint32_t NewHandle(HANDLE value, const WCH* path) {
    uint32_t id = ++g_recorder->next_handle;
    HandleSlot& slot = g_recorder->handles[id % kHandleSlots];
    slot.value = value;
    slot.id = id;
    size_t i = 0;
    for (; path && path[i] && i + 1 < 260; ++i) slot.path[i] = path[i];
    slot.path[i] = 0;
    return id;
}

// The newest open that gave this value.
const HandleSlot* FindHandle(HANDLE value) {
    for (uint32_t id = g_recorder->next_handle; id > 0 && id + kHandleSlots > g_recorder->next_handle; --id) {
        const HandleSlot& slot = g_recorder->handles[id % kHandleSlots];
        if (slot.id == id && slot.value == value) return &slot;
    }
    return nullptr;
}

uint32_t NewSet(HDEVINFO value) {
    uint32_t id = ++g_recorder->next_set;
    g_recorder->sets[id % kSetSlots] = SetSlot{value, id};
    return id;
}

uint32_t FindSet(HDEVINFO value) {
    for (uint32_t id = g_recorder->next_set; id > 0 && id + kSetSlots > g_recorder->next_set; --id) {
        const SetSlot& slot = g_recorder->sets[id % kSetSlots];
        if (slot.id == id && slot.value == value) return id;
    }
    return 0;
}

uint32_t NewIface(uint32_t set, ULONG_PTR reserved) {
    uint32_t id = ++g_recorder->next_iface;
    g_recorder->ifaces[id % kIfaceSlots] = IfaceSlot{set, reserved, id};
    return id;
}

uint32_t FindIface(uint32_t set, ULONG_PTR reserved) {
    for (uint32_t id = g_recorder->next_iface; id > 0 && id + kIfaceSlots > g_recorder->next_iface; --id) {
        const IfaceSlot& slot = g_recorder->ifaces[id % kIfaceSlots];
        if (slot.id == id && slot.set == set && slot.reserved == reserved) return id;
    }
    return 0;
}

void OutOptionalGuid(TraceOut* out, const char* key, const GUID* guid) {
    OutKey(out, key);
    if (guid)
        OutGuid(out, *guid);
    else
        OutText(out, "null");
}

void OutOptionalWide(TraceOut* out, const char* key, const WCH* text, size_t max_units) {
    OutKey(out, key);
    if (text)
        OutWide(out, text, max_units);
    else
        OutText(out, "null");
}

// ---- DeviceIoControl -------------------------------------------------------------------

BOOL RecordIoctl(trace::IoctlFn real, HANDLE device, DWORD code, void* in, DWORD in_size, void* out, DWORD out_size,
                 DWORD* returned) {
    TraceRequest request;
    DescribeRequest(code, in, in_size, &request);
    size_t in_kept = 0;
    uint8_t* in_copy = RecordedBytes(request, in, in_size, true, &in_kept);
    uint8_t digest[32];
    Sha256Of(request.data_out, request.data_out_size, digest);
    bool keep_data_out = request.data_out_size <= f::kKeptDataOutBytes || (g_recorder && g_recorder->full);
    uint8_t* data_out_copy = nullptr;
    if (keep_data_out && request.data_out_size) {
        data_out_copy = static_cast<uint8_t*>(std::malloc(request.data_out_size));
        if (data_out_copy) std::memcpy(data_out_copy, request.data_out, request.data_out_size);
    }

    BOOL ok = real(device, code, in, in_size, out, out_size, returned);
    DWORD error = os::GetLastError();

    DWORD count = returned ? *returned : 0;
    if (count > out_size) count = out_size;
    size_t out_kept = 0;
    uint8_t* out_copy = ok ? RecordedBytes(request, out, count, false, &out_kept) : nullptr;
    TraceAnswer answer;
    ReadAnswer(request, code, out, ok ? out_size : 0, &answer);
    ULONGLONG now = os::GetTickCount64();

    Lock();
    if (g_recorder) {
        const HandleSlot* handle = FindHandle(device);
        TraceOut* o = Begin(f::kIoctl, now);
        OutNumberField(o, f::kRequest, ++g_recorder->request);
        OutNumberField(o, f::kHandle, handle ? handle->id : 0);
        OutKey(o, f::kPath);
        OutWide(o, handle ? handle->path : u"", 260);
        OutKey(o, f::kCode);
        OutCode(o, code);
        OutStringField(o, f::kName, request.name);
        OutNumberField(o, f::kInSize, in_size);
        OutNumberField(o, f::kOutSize, out_size);
        OutKey(o, f::kMeaning);
        OutText(o, request.meaning);
        OutHexField(o, f::kIn, in_copy, in_kept);
        if (request.data_out_size) {
            OutKey(o, f::kDataOut);
            OutText(o, "{\"length\": ");
            OutNumber(o, request.data_out_size);
            OutHexField(o, f::kSha256, digest, sizeof digest);
            if (data_out_copy) OutHexField(o, f::kBytes, data_out_copy, request.data_out_size);
            OutText(o, "}");
        }
        OutNumberField(o, f::kOk, ok ? 1 : 0);
        OutNumberField(o, f::kError, ok ? 0 : error);
        OutNumberField(o, f::kReturned, ok ? count : 0);
        OutHexField(o, f::kOut, out_copy, out_kept);
        if (ok && request.data_in && answer.transferred)
            OutHexField(o, f::kDataIn, request.data_in, answer.transferred);
        if (answer.has_status) {
            OutNumberField(o, f::kScsiStatus, answer.scsi_status);
            OutHexField(o, f::kSense, answer.sense, answer.sense_size);
        }
        if (answer.has_task_file) OutHexField(o, f::kTaskFile, answer.task_file, sizeof answer.task_file);
        End(o);
    }
    Unlock();
    std::free(in_copy);
    std::free(out_copy);
    std::free(data_out_copy);
    os::SetLastError(error);
    return ok;
}

// ---- opens, device setup, the configuration manager --------------------------------

HANDLE RecordOpen(trace::OpenFn real, const WCH* path, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
    HANDLE handle = real(path, access, share, disposition, flags);
    DWORD error = os::GetLastError();
    bool opened = handle != INVALID_HANDLE_VALUE && handle != nullptr;
    ULONGLONG now = os::GetTickCount64();
    Lock();
    if (g_recorder) {
        uint32_t id = opened ? NewHandle(handle, path) : 0;
        TraceOut* o = Begin(f::kOpen, now);
        OutKey(o, f::kPath);
        OutWide(o, path, 32768);
        OutNumberField(o, f::kAccess, access);
        OutNumberField(o, f::kShare, share);
        OutNumberField(o, f::kDisposition, disposition);
        OutNumberField(o, f::kFlags, flags);
        OutNumberField(o, f::kHandle, id);
        OutNumberField(o, f::kError, opened ? 0 : error);
        End(o);
    }
    Unlock();
    os::SetLastError(error);
    return handle;
}

HDEVINFO RecordClassDevs(trace::ClassDevsFn real, const GUID* class_guid, const WCH* enumerator, HWND parent,
                         DWORD flags) {
    HDEVINFO set = real(class_guid, enumerator, parent, flags);
    DWORD error = os::GetLastError();
    bool made = set != reinterpret_cast<HDEVINFO>(INVALID_HANDLE_VALUE) && set != nullptr;
    ULONGLONG now = os::GetTickCount64();
    Lock();
    if (g_recorder) {
        uint32_t id = made ? NewSet(set) : 0;
        TraceOut* o = Begin(f::kClassDevs, now);
        OutOptionalGuid(o, f::kGuid, class_guid);
        OutOptionalWide(o, f::kEnumerator, enumerator, 512);
        OutNumberField(o, f::kFlags, flags);
        OutNumberField(o, f::kSet, id);
        OutNumberField(o, f::kError, made ? 0 : error);
        End(o);
    }
    Unlock();
    os::SetLastError(error);
    return set;
}

BOOL RecordDestroySet(trace::DestroySetFn real, HDEVINFO set) {
    Lock();
    uint32_t id = g_recorder ? FindSet(set) : 0;
    Unlock();
    BOOL ok = real(set);
    DWORD error = os::GetLastError();
    ULONGLONG now = os::GetTickCount64();
    Lock();
    if (g_recorder) {
        TraceOut* o = Begin(f::kDestroySet, now);
        OutNumberField(o, f::kSet, id);
        OutNumberField(o, f::kOk, ok ? 1 : 0);
        End(o);
    }
    Unlock();
    os::SetLastError(error);
    return ok;
}

BOOL RecordEnumDevice(trace::EnumDeviceFn real, HDEVINFO set, DWORD index, SP_DEVINFO_DATA* data) {
    BOOL ok = real(set, index, data);
    DWORD error = os::GetLastError();
    ULONGLONG now = os::GetTickCount64();
    Lock();
    if (g_recorder) {
        TraceOut* o = Begin(f::kEnumDevice, now);
        OutNumberField(o, f::kSet, FindSet(set));
        OutNumberField(o, f::kIndex, index);
        OutNumberField(o, f::kOk, ok ? 1 : 0);
        OutNumberField(o, f::kError, ok ? 0 : error);
        if (ok && data) {
            OutNumberField(o, f::kDevInst, data->DevInst);
            OutKey(o, f::kClassGuid);
            OutGuid(o, data->ClassGuid);
        }
        End(o);
    }
    Unlock();
    os::SetLastError(error);
    return ok;
}

BOOL RecordEnumInterface(trace::EnumInterfaceFn real, HDEVINFO set, SP_DEVINFO_DATA* device, const GUID* guid,
                         DWORD index, SP_DEVICE_INTERFACE_DATA* data) {
    BOOL ok = real(set, device, guid, index, data);
    DWORD error = os::GetLastError();
    ULONGLONG now = os::GetTickCount64();
    Lock();
    if (g_recorder) {
        uint32_t set_id = FindSet(set);
        TraceOut* o = Begin(f::kEnumInterface, now);
        OutNumberField(o, f::kSet, set_id);
        OutKey(o, f::kDevInst);
        if (device)
            OutNumber(o, device->DevInst);
        else
            OutText(o, "null");
        OutOptionalGuid(o, f::kGuid, guid);
        OutNumberField(o, f::kIndex, index);
        OutNumberField(o, f::kOk, ok ? 1 : 0);
        OutNumberField(o, f::kError, ok ? 0 : error);
        if (ok && data) {
            OutNumberField(o, f::kIface, NewIface(set_id, data->Reserved));
            OutKey(o, f::kIfaceGuid);
            OutGuid(o, data->InterfaceClassGuid);
            OutNumberField(o, f::kIfaceFlags, data->Flags);
        }
        End(o);
    }
    Unlock();
    os::SetLastError(error);
    return ok;
}

BOOL RecordInterfaceDetail(trace::InterfaceDetailFn real, HDEVINFO set, SP_DEVICE_INTERFACE_DATA* data, void* detail,
                           DWORD detail_size, DWORD* required, SP_DEVINFO_DATA* device) {
    BOOL ok = real(set, data, detail, detail_size, required, device);
    DWORD error = os::GetLastError();
    ULONGLONG now = os::GetTickCount64();
    Lock();
    if (g_recorder) {
        uint32_t set_id = FindSet(set);
        TraceOut* o = Begin(f::kInterfaceDetail, now);
        OutNumberField(o, f::kSet, set_id);
        OutNumberField(o, f::kIface, data ? FindIface(set_id, data->Reserved) : 0);
        OutNumberField(o, f::kSize, detail_size);
        OutNumberField(o, f::kOk, ok ? 1 : 0);
        OutNumberField(o, f::kError, ok ? 0 : error);
        if (required) OutNumberField(o, f::kRequired, *required);
        if (ok && detail && detail_size > kInterfaceDetailPathOffset) {
            OutKey(o, f::kPath);
            const WCH* path = reinterpret_cast<const WCH*>(static_cast<const uint8_t*>(detail) + kInterfaceDetailPathOffset);
            OutWide(o, path, (detail_size - kInterfaceDetailPathOffset) / sizeof(WCH));
        }
        if (ok && device) OutNumberField(o, f::kDevInst, device->DevInst);
        End(o);
    }
    Unlock();
    os::SetLastError(error);
    return ok;
}

// The property bytes a successful call gave: as many as it said it needs,
// never more than the buffer.
void OutPropertyAnswer(TraceOut* o, BOOL ok, DWORD error, const DWORD* type, const BYTE* buffer, DWORD size,
                       const DWORD* required) {
    OutNumberField(o, f::kOk, ok ? 1 : 0);
    OutNumberField(o, f::kError, ok ? 0 : error);
    if (type) OutNumberField(o, f::kType, *type);
    if (required) OutNumberField(o, f::kRequired, *required);
    if (ok && buffer) {
        DWORD n = required && *required < size ? *required : size;
        OutHexField(o, f::kBytes, buffer, n);
    }
}

BOOL RecordRegistryProperty(trace::RegistryPropertyFn real, HDEVINFO set, SP_DEVINFO_DATA* device, DWORD property,
                            DWORD* type, BYTE* buffer, DWORD size, DWORD* required) {
    BOOL ok = real(set, device, property, type, buffer, size, required);
    DWORD error = os::GetLastError();
    ULONGLONG now = os::GetTickCount64();
    Lock();
    if (g_recorder) {
        TraceOut* o = Begin(f::kRegistryProperty, now);
        OutNumberField(o, f::kSet, FindSet(set));
        OutNumberField(o, f::kDevInst, device ? device->DevInst : 0);
        OutNumberField(o, f::kProperty, property);
        OutNumberField(o, f::kSize, size);
        OutPropertyAnswer(o, ok, error, type, buffer, size, required);
        End(o);
    }
    Unlock();
    os::SetLastError(error);
    return ok;
}

BOOL RecordDeviceProperty(trace::DevicePropertyFn real, HDEVINFO set, SP_DEVINFO_DATA* device, const DEVPROPKEY* key,
                          DEVPROPTYPE* type, BYTE* buffer, DWORD size, DWORD* required, DWORD flags) {
    BOOL ok = real(set, device, key, type, buffer, size, required, flags);
    DWORD error = os::GetLastError();
    ULONGLONG now = os::GetTickCount64();
    Lock();
    if (g_recorder) {
        TraceOut* o = Begin(f::kDeviceProperty, now);
        OutNumberField(o, f::kSet, FindSet(set));
        OutNumberField(o, f::kDevInst, device ? device->DevInst : 0);
        OutKey(o, f::kKey);
        if (key) {
            // "{fmtid} pid" as one string.
            char guid[41];
            TraceOut g{guid, sizeof guid, 0, nullptr, false};
            OutGuid(&g, key->fmtid);
            OutRaw(o, guid, 39);  // the quote and the GUID, without its closing quote
            OutText(o, " ");
            OutNumber(o, key->pid);
            OutText(o, "\"");
        } else {
            OutText(o, "null");
        }
        OutNumberField(o, f::kSize, size);
        OutNumberField(o, f::kFlags, flags);
        OutPropertyAnswer(o, ok, error, type, buffer, size, required);
        End(o);
    }
    Unlock();
    os::SetLastError(error);
    return ok;
}

CONFIGRET RecordCmParent(trace::CmParentFn real, DEVINST* parent, DEVINST device, ULONG flags) {
    CONFIGRET cr = real(parent, device, flags);
    DWORD error = os::GetLastError();
    ULONGLONG now = os::GetTickCount64();
    Lock();
    if (g_recorder) {
        TraceOut* o = Begin(f::kCmParent, now);
        OutNumberField(o, f::kDevInst, device);
        OutNumberField(o, f::kFlags, flags);
        OutNumberField(o, f::kCr, cr);
        OutNumberField(o, f::kParent, parent ? *parent : 0);
        End(o);
    }
    Unlock();
    os::SetLastError(error);
    return cr;
}

CONFIGRET RecordCmDeviceId(trace::CmDeviceIdFn real, DEVINST device, WCH* buffer, ULONG capacity, ULONG flags) {
    CONFIGRET cr = real(device, buffer, capacity, flags);
    DWORD error = os::GetLastError();
    ULONGLONG now = os::GetTickCount64();
    Lock();
    if (g_recorder) {
        TraceOut* o = Begin(f::kCmDeviceId, now);
        OutNumberField(o, f::kDevInst, device);
        OutNumberField(o, f::kCapacity, capacity);
        OutNumberField(o, f::kFlags, flags);
        OutNumberField(o, f::kCr, cr);
        if (cr == 0 && buffer) {
            OutKey(o, f::kId);
            OutWide(o, buffer, capacity);
        }
        End(o);
    }
    Unlock();
    os::SetLastError(error);
    return cr;
}

void RecordSleep(DWORD milliseconds) {
    ULONGLONG now = os::GetTickCount64();
    Lock();
    if (g_recorder) {
        TraceOut* o = Begin(f::kSleep, now);
        OutNumberField(o, f::kMs, milliseconds);
        End(o);
    }
    Unlock();
}

void RecordMessageBox(const WCH* text, const WCH* caption, UINT style, int answer) {
    ULONGLONG now = os::GetTickCount64();
    Lock();
    if (g_recorder) {
        TraceOut* o = Begin(f::kDialog, now);
        OutStringField(o, f::kEvent, "msgbox");
        OutOptionalWide(o, "caption", caption, 4096);
        OutOptionalWide(o, "text", text, 4096);
        OutNumberField(o, "style", style);
        OutNumberField(o, "answer", static_cast<uint64_t>(static_cast<uint32_t>(answer)));
        End(o);
    }
    Unlock();
}

const trace::DeviceHooks kRecordHooks = {
    RecordOpen,          RecordIoctl,           RecordClassDevs,        RecordDestroySet,
    RecordEnumDevice,    RecordEnumInterface,   RecordInterfaceDetail,  RecordRegistryProperty,
    RecordDeviceProperty, RecordCmParent,       RecordCmDeviceId,       RecordSleep,
    RecordMessageBox,
};

}  // namespace

int TraceStart(const WCH* path, int full, const WCH* command_line) {
    // One trace at a time; a replayed run (hooks already set) is not recorded.
    if (g_recorder || trace::g_device_hooks) return 0;
    HANDLE file = os::CreateFileW(path, GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL);
    if (file == INVALID_HANDLE_VALUE) return 0;
    Recorder* r = static_cast<Recorder*>(std::calloc(1, sizeof(Recorder)));
    if (!r) {
        os::CloseHandle(file);
        return 0;
    }
    r->file = file;
    r->full = full != 0;
    r->out = TraceOut{r->buffer, kBufferSize, 0, FlushToFile, false};
    char windows[64];
    TraceWindowsVersion(windows, sizeof windows);
    ULONGLONG now = os::GetTickCount64();
    Lock();
    g_recorder = r;
    TraceOut* o = &r->out;
    OutText(o, "{\"kind\": \"header\"");
    OutNumberField(o, f::kNumber, 0);
    OutNumberField(o, f::kTime, now);
    OutStringField(o, f::kFormatField, f::kFormat);
    OutNumberField(o, f::kFormatVersionField, f::kFormatVersion);
    OutStringField(o, f::kToolVersion, QN_VERSION_TEXT);
    OutStringField(o, f::kArch, sizeof(void*) == 8 ? "x86_64" : "i686");
    OutStringField(o, f::kWindows, windows);
    OutOptionalWide(o, f::kCommandLine, command_line, 4096);
    OutKey(o, f::kFull);
    OutText(o, r->full ? "true" : "false");
    End(o);
    Unlock();
    trace::g_device_hooks = &kRecordHooks;
    return 1;
}

void TraceStop() {
    if (!g_recorder) return;
    trace::g_device_hooks = nullptr;
    Lock();
    Recorder* r = g_recorder;
    FlushToFile(&r->out);
    g_recorder = nullptr;
    Unlock();
    os::CloseHandle(r->file);
    std::free(r);
}

int TraceRecording() { return g_recorder != nullptr; }

void TracePackage(const WCH* title) {
    if (!g_recorder) return;
    ULONGLONG now = os::GetTickCount64();
    Lock();
    if (g_recorder) {
        TraceOut* o = Begin(f::kPackage, now);
        OutOptionalWide(o, f::kTitle, title, 260);
        End(o);
    }
    Unlock();
}

void TraceDialogEvent(const char* event, const char* fields) {
    if (!g_recorder) return;
    ULONGLONG now = os::GetTickCount64();
    Lock();
    if (g_recorder) {
        TraceOut* o = Begin(f::kDialog, now);
        OutStringField(o, f::kEvent, event);
        if (fields) OutText(o, fields);
        End(o);
    }
    Unlock();
}

void TraceExit(int code) {
    if (!g_recorder) return;
    ULONGLONG now = os::GetTickCount64();
    Lock();
    if (g_recorder) {
        TraceOut* o = Begin(f::kDialog, now);
        OutStringField(o, f::kEvent, "exit");
        OutKey(o, "code");
        if (code < 0) OutText(o, "-");
        OutNumber(o, code < 0 ? 0u - static_cast<uint32_t>(code) : static_cast<uint32_t>(code));
        End(o);
    }
    Unlock();
    TraceStop();
}
