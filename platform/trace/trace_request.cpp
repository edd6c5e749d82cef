// What a DeviceIoControl request asks, decoded for the trace.
#include "platform/trace/trace_request.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "platform/storage_layouts.h"
#include "platform/trace/trace_format.h"
#include "platform/trace/trace_out.h"

namespace {

// The firmware requests of the RST miniport ("IntelFw "): the function word,
// and for a download the piece's offset, size and where it starts.
constexpr uint32_t kRstFunctionAt = 40;
constexpr uint32_t kRstFunctionDownload = 2;
constexpr uint32_t kRstPieceOffsetAt = 64;
constexpr uint32_t kRstPieceSizeAt = 72;
constexpr uint32_t kRstPieceAt = 88;
// Its NVMe pass-through ("IntelNvm"): the command, the data area's length and start.
constexpr uint32_t kRstCommandAt = 32;
constexpr uint32_t kRstDataLengthAt = 120;
constexpr uint32_t kRstDataAt = 164;
constexpr uint32_t kNvmeCommandSize = 64;

uint32_t Read32(const uint8_t* at) {
    return uint32_t(at[0]) | (uint32_t(at[1]) << 8) | (uint32_t(at[2]) << 16) | (uint32_t(at[3]) << 24);
}

uint64_t Read64(const uint8_t* at) { return uint64_t(Read32(at)) | (uint64_t(Read32(at + 4)) << 32); }

void Inline(TraceRequest* r, const uint8_t* in, DWORD in_size, uint64_t at, uint64_t size) {
    if (at >= in_size || !size) return;
    if (size > in_size - at) size = in_size - at;
    r->data_out = in + at;
    r->data_out_size = static_cast<uint32_t>(size);
    r->data_out_inline = true;
    r->inline_offset = static_cast<uint32_t>(at);
}

void ScsiDirect(TraceRequest* r, TraceOut* m, const uint8_t* in) {
    ScsiPassThroughDirect s;
    std::memcpy(&s, in, sizeof s);
    uint8_t cdb_length = s.CdbLength > 16 ? 16 : s.CdbLength;
    const char* direction = s.DataIn == kScsiIoctlDataOut ? "out" : s.DataIn == kScsiIoctlDataIn ? "in" : "none";
    OutText(m, "{\"what\": \"scsi\"");
    OutHexField(m, tracefmt::kCdb, s.Cdb, cdb_length);
    OutStringField(m, tracefmt::kDirection, direction);
    OutNumberField(m, tracefmt::kLength, s.DataTransferLength);
    OutNumberField(m, tracefmt::kTimeout, s.TimeOutValue);
    OutText(m, "}");
    r->has_pointer = true;
    r->pointer_offset = offsetof(ScsiPassThroughDirect, DataBuffer);
    r->pointer_size = sizeof(void*);
    r->scsi = true;
    uint8_t* buffer = static_cast<uint8_t*>(s.DataBuffer);
    if (buffer && s.DataTransferLength) {
        if (s.DataIn == kScsiIoctlDataOut) {
            r->data_out = buffer;
            r->data_out_size = s.DataTransferLength;
        } else if (s.DataIn == kScsiIoctlDataIn) {
            r->data_in = buffer;
            r->data_in_capacity = s.DataTransferLength;
        }
    }
}

void AtaDirect(TraceRequest* r, TraceOut* m, const uint8_t* in) {
    AtaPassThroughDirect a;
    std::memcpy(&a, in, sizeof a);
    OutText(m, "{\"what\": \"ata\"");
    OutHexField(m, tracefmt::kCurrent, a.CurrentTaskFile, 8);
    OutHexField(m, tracefmt::kPrevious, a.PreviousTaskFile, 8);
    OutNumberField(m, tracefmt::kFlags, a.AtaFlags);
    OutNumberField(m, tracefmt::kLength, a.DataTransferLength);
    OutText(m, "}");
    r->has_pointer = true;
    r->pointer_offset = offsetof(AtaPassThroughDirect, DataBuffer);
    r->pointer_size = sizeof(void*);
    r->ata = true;
    uint8_t* buffer = static_cast<uint8_t*>(a.DataBuffer);
    if (buffer && a.DataTransferLength) {
        if (a.AtaFlags & kAtaFlagsDataOut) {
            r->data_out = buffer;
            r->data_out_size = a.DataTransferLength;
        } else if (a.AtaFlags & kAtaFlagsDataIn) {
            r->data_in = buffer;
            r->data_in_capacity = a.DataTransferLength;
        }
    }
}

void ProtocolCommand(TraceRequest* r, TraceOut* m, const uint8_t* in, DWORD in_size) {
    const uint8_t* command = in + kStorageProtocolCommandFixedSize;
    uint32_t to_device = Read32(in + offsetof(StorageProtocolCommand, DataToDeviceTransferLength));
    uint32_t from_device = Read32(in + offsetof(StorageProtocolCommand, DataFromDeviceTransferLength));
    OutText(m, "{\"what\": \"nvme\"");
    OutHexField(m, tracefmt::kCommand, command, kNvmeCommandSize);
    OutNumberField(m, tracefmt::kToDevice, to_device);
    OutNumberField(m, tracefmt::kFromDevice, from_device);
    OutNumberField(m, tracefmt::kFlags, Read32(in + offsetof(StorageProtocolCommand, Flags)));
    OutText(m, "}");
    Inline(r, in, in_size, Read32(in + offsetof(StorageProtocolCommand, DataToDeviceBufferOffset)), to_device);
}

void PropertyQuery(TraceOut* m, const uint8_t* in, DWORD in_size) {
    OutText(m, "{\"what\": \"property\"");
    OutNumberField(m, tracefmt::kProperty, Read32(in));
    OutNumberField(m, tracefmt::kQuery, Read32(in + 4));
    if (in_size >= 8 + sizeof(StorageProtocolSpecificData))
        OutHexField(m, tracefmt::kProtocol, in + 8, sizeof(StorageProtocolSpecificData));
    OutText(m, "}");
}

void FirmwareDownload(TraceRequest* r, TraceOut* m, const uint8_t* in, DWORD in_size) {
    uint64_t offset = Read64(in + offsetof(StorageHwFirmwareDownload, Offset));
    uint64_t size = Read64(in + offsetof(StorageHwFirmwareDownload, BufferSize));
    OutText(m, "{\"what\": \"fw_download\"");
    OutNumberField(m, tracefmt::kOffset, offset);
    OutNumberField(m, tracefmt::kSize, size);
    OutNumberField(m, tracefmt::kSlot, in[offsetof(StorageHwFirmwareDownload, Slot)]);
    OutNumberField(m, tracefmt::kFlags, Read32(in + offsetof(StorageHwFirmwareDownload, Flags)));
    OutText(m, "}");
    Inline(r, in, in_size, kStorageHwFirmwareDownloadFixedSize, size);
}

void FirmwareActivate(TraceOut* m, const uint8_t* in) {
    OutText(m, "{\"what\": \"fw_activate\"");
    OutNumberField(m, tracefmt::kSlot, in[offsetof(StorageHwFirmwareActivate, Slot)]);
    OutNumberField(m, tracefmt::kFlags, Read32(in + offsetof(StorageHwFirmwareActivate, Flags)));
    OutText(m, "}");
}

void Miniport(TraceRequest* r, TraceOut* m, const uint8_t* in, DWORD in_size) {
    char signature[9] = {};
    std::memcpy(signature, in + offsetof(SrbIoControl, Signature), 8);
    for (char& c : signature)
        if (c && (c < 0x20 || c > 0x7E)) c = '?';
    uint32_t control = Read32(in + offsetof(SrbIoControl, ControlCode));
    bool firmware = std::memcmp(signature, "IntelFw ", 8) == 0 && in_size >= kRstFunctionAt + 4;
    bool nvme = std::memcmp(signature, "IntelNvm", 8) == 0 && in_size >= kRstDataAt;
    uint32_t function = firmware ? Read32(in + kRstFunctionAt) : 0;
    OutText(m, "{\"what\": \"miniport\"");
    OutStringField(m, tracefmt::kSignature, signature);
    OutNumberField(m, tracefmt::kControlCode, control);
    OutNumberField(m, tracefmt::kFunction, function);
    if (nvme) {
        OutHexField(m, tracefmt::kCommand, in + kRstCommandAt, kNvmeCommandSize);
        Inline(r, in, in_size, kRstDataAt, Read32(in + kRstDataLengthAt));
    } else if (firmware && function == kRstFunctionDownload && in_size >= kRstPieceAt) {
        uint64_t offset = Read64(in + kRstPieceOffsetAt), size = Read64(in + kRstPieceSizeAt);
        OutNumberField(m, tracefmt::kOffset, offset);
        OutNumberField(m, tracefmt::kSize, size);
        Inline(r, in, in_size, kRstPieceAt, size);
    }
    OutText(m, "}");
}

const char* NameOf(DWORD code) {
    switch (code) {
        case kIoctlScsiPassThroughDirect: return "IOCTL_SCSI_PASS_THROUGH_DIRECT";
        case kIoctlAtaPassThroughDirect: return "IOCTL_ATA_PASS_THROUGH_DIRECT";
        case kIoctlStorageProtocolCommand: return "IOCTL_STORAGE_PROTOCOL_COMMAND";
        case kIoctlStorageQueryProperty: return "IOCTL_STORAGE_QUERY_PROPERTY";
        case kIoctlStorageFirmwareDownload: return "IOCTL_STORAGE_FIRMWARE_DOWNLOAD";
        case kIoctlStorageFirmwareActivate: return "IOCTL_STORAGE_FIRMWARE_ACTIVATE";
        case kIoctlScsiMiniport: return "IOCTL_SCSI_MINIPORT";
        case kIoctlScsiGetAddress: return "IOCTL_SCSI_GET_ADDRESS";
        case kIoctlStorageGetDeviceNumber: return "IOCTL_STORAGE_GET_DEVICE_NUMBER";
        default: return "?";
    }
}

}  // namespace

void DescribeRequest(DWORD code, const void* in_block, DWORD in_size, TraceRequest* r) {
    std::memset(r, 0, sizeof *r);
    r->name = NameOf(code);
    TraceOut m{r->meaning, sizeof r->meaning - 1, 0, nullptr, false};
    const uint8_t* in = static_cast<const uint8_t*>(in_block);
    if (!in) in_size = 0;
    if (code == kIoctlScsiPassThroughDirect && in_size >= sizeof(ScsiPassThroughDirect)) {
        ScsiDirect(r, &m, in);
    } else if (code == kIoctlAtaPassThroughDirect && in_size >= sizeof(AtaPassThroughDirect)) {
        AtaDirect(r, &m, in);
    } else if (code == kIoctlStorageProtocolCommand && in_size >= kStorageProtocolCommandFixedSize + kNvmeCommandSize) {
        ProtocolCommand(r, &m, in, in_size);
    } else if (code == kIoctlStorageQueryProperty && in_size >= 8) {
        PropertyQuery(&m, in, in_size);
    } else if (code == kIoctlStorageFirmwareDownload && in_size >= kStorageHwFirmwareDownloadFixedSize) {
        FirmwareDownload(r, &m, in, in_size);
    } else if (code == kIoctlStorageFirmwareActivate && in_size >= sizeof(StorageHwFirmwareActivate)) {
        FirmwareActivate(&m, in);
    } else if (code == kIoctlScsiMiniport && in_size >= sizeof(SrbIoControl)) {
        Miniport(r, &m, in, in_size);
    } else {
        OutText(&m, "{\"what\": \"other\"}");
    }
    if (m.cut) {
        // Cannot happen with the sizes above; a cut object would not parse.
        m.used = 0;
        m.cut = false;
        OutText(&m, "{\"what\": \"other\"}");
    }
    r->meaning[m.used] = 0;
}

void ReadAnswer(const TraceRequest& r, DWORD code, const void* out_block, DWORD out_size, TraceAnswer* a) {
    std::memset(a, 0, sizeof *a);
    const uint8_t* out = static_cast<const uint8_t*>(out_block);
    if (!out) return;
    if (r.scsi && code == kIoctlScsiPassThroughDirect && out_size >= sizeof(ScsiPassThroughDirect)) {
        ScsiPassThroughDirect s;
        std::memcpy(&s, out, sizeof s);
        a->has_status = true;
        a->scsi_status = s.ScsiStatus;
        // The sense bytes as far as they lie inside the output block.
        if (s.SenseInfoLength && s.SenseInfoOffset < out_size) {
            a->sense = out + s.SenseInfoOffset;
            a->sense_size = s.SenseInfoLength;
            if (a->sense_size > out_size - s.SenseInfoOffset) a->sense_size = out_size - s.SenseInfoOffset;
        }
        a->transferred = s.DataTransferLength < r.data_in_capacity ? s.DataTransferLength : r.data_in_capacity;
    } else if (r.ata && code == kIoctlAtaPassThroughDirect && out_size >= sizeof(AtaPassThroughDirect)) {
        AtaPassThroughDirect t;
        std::memcpy(&t, out, sizeof t);
        a->has_task_file = true;
        std::memcpy(a->task_file, t.CurrentTaskFile, 8);
        std::memcpy(a->task_file + 8, t.PreviousTaskFile, 8);
        a->transferred = t.DataTransferLength < r.data_in_capacity ? t.DataTransferLength : r.data_in_capacity;
    }
}

// The bytes of a block as recorded: the data pointer zeroed, an inline
// piece left out. Returns a malloc'd copy (null when empty) and its size.
uint8_t* RecordedBytes(const TraceRequest& r, const void* block, size_t size, bool input, size_t* kept) {
    *kept = 0;
    if (!block || !size) return nullptr;
    uint8_t* copy = static_cast<uint8_t*>(std::malloc(size));
    if (!copy) return nullptr;
    const uint8_t* from = static_cast<const uint8_t*>(block);
    size_t n = size;
    if (input && r.data_out_inline) {
        // Before the piece, then whatever follows it.
        size_t at = r.inline_offset, piece = r.data_out_size;
        std::memcpy(copy, from, at);
        std::memcpy(copy + at, from + at + piece, size - at - piece);
        n = size - piece;
    } else {
        std::memcpy(copy, from, size);
    }
    if (r.has_pointer && r.pointer_offset + r.pointer_size <= n) std::memset(copy + r.pointer_offset, 0, r.pointer_size);
    *kept = n;
    return copy;
}
