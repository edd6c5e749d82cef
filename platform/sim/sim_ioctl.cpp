// DeviceIoControl on the simulated machine. Where a disk sits (device
// number, SCSI address, device descriptor) the machine answers itself; the
// rest goes, once the Windows structure has passed the checks the storage
// stack makes, to the drive's model (sim_drive.h). Every request is recorded.
#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/os.h"
#include "platform/sim/sim_countdown.h"
#include "platform/sim/sim_objects.h"
#include "platform/sim/sim_state.h"
#include "platform/storage_layouts.h"
#include "platform/trace/trace_hook.h"

namespace sim {

namespace {

// Largest transfer the simulated adapters take in one pass-through.
constexpr uint32_t kMaxTransfer = 1u << 20;

struct Call {
    MachineState& m;
    DeviceObject* object;
    int drive;  // target drive, -1 none
    DWORD code;
    std::vector<uint8_t> in;  // a copy: METHOD_BUFFERED reads the input before writing the output
    uint8_t* out;
    DWORD out_size;
    DWORD returned = 0;
    RequestRecord& record;
    // The data this request brings back from the drive (a garble spoils it).
    uint8_t* back = nullptr;
    size_t back_size = 0;
};

template <typename T>
T Read(const std::vector<uint8_t>& bytes) {
    T value;
    std::memset(&value, 0, sizeof value);
    std::memcpy(&value, bytes.data(), std::min(sizeof value, bytes.size()));
    return value;
}

// METHOD_BUFFERED: the output buffer starts as the system buffer, which holds the input.
void EchoInput(Call& c) {
    if (c.out && c.out_size) std::memcpy(c.out, c.in.data(), std::min<size_t>(c.in.size(), c.out_size));
}

// Payload bytes go into the record only while the machine keeps them.
void KeepBytes(Call& c, std::vector<uint8_t>* field, const uint8_t* begin, const uint8_t* end) {
    if (c.m.keep_payloads) field->assign(begin, end);
}

DriveState* Target(Call& c) { return c.drive >= 0 ? &c.m.drives[c.drive] : nullptr; }

DWORD FromOutcome(const Outcome& o) { return o.win32_error; }

// ---- answered by the machine ---------------------------------------------------------

DWORD GetDeviceNumber(Call& c) {
    if (c.object->what != Opened::kDisk && c.object->what != Opened::kVolume) return kErrorInvalidFunction;
    if (c.out_size < sizeof(StorageDeviceNumber)) return ERROR_INSUFFICIENT_BUFFER;
    StorageDeviceNumber number = {};
    number.DeviceType = kFileDeviceDisk;
    number.DeviceNumber = static_cast<uint32_t>(Target(c)->number);
    number.PartitionNumber =
        c.object->what == Opened::kVolume ? static_cast<uint32_t>(c.m.desc.volumes[c.object->volume].partition) : 0;
    std::memcpy(c.out, &number, sizeof number);
    c.returned = sizeof number;
    return 0;
}

DWORD GetScsiAddress(Call& c) {
    if (c.object->what != Opened::kDisk && c.object->what != Opened::kVolume) return kErrorInvalidFunction;
    if (c.out_size < sizeof(ScsiAddress)) return ERROR_INSUFFICIENT_BUFFER;
    const ScsiPlacement& p = Target(c)->desc.scsi;
    ScsiAddress address = {};
    address.Length = sizeof address;
    address.PortNumber = static_cast<uint8_t>(p.port);
    address.PathId = static_cast<uint8_t>(p.path);
    address.TargetId = static_cast<uint8_t>(p.target);
    address.Lun = static_cast<uint8_t>(p.lun);
    std::memcpy(c.out, &address, sizeof address);
    c.returned = sizeof address;
    return 0;
}

void PutText(std::vector<uint8_t>& bytes, uint32_t* offset, const std::string& text) {
    *offset = static_cast<uint32_t>(bytes.size());
    bytes.insert(bytes.end(), text.begin(), text.end());
    bytes.push_back(0);
}

DWORD DeviceDescriptor(Call& c, uint32_t query_type) {
    if (query_type == 1) return 0;  // PropertyExistsQuery: the disk has one
    if (c.out_size < 8) return ERROR_INSUFFICIENT_BUFFER;  // not even the descriptor header fits
    const DriveDesc& s = Target(c)->desc;
    std::vector<uint8_t> bytes(offsetof(StorageDeviceDescriptor, RawDeviceProperties));
    StorageDeviceDescriptor d = {};
    d.Version = static_cast<uint32_t>(bytes.size());
    d.DeviceType = 0;  // direct access
    d.RemovableMedia = 0;
    d.CommandQueueing = 1;
    d.BusType = BusTypeOf(s);
    std::string vendor = s.inquiry_vendor.empty() ? (s.kind == DriveKind::kNvme ? "NVMe" : "ATA") : s.inquiry_vendor;
    PutText(bytes, &d.VendorIdOffset, vendor);
    PutText(bytes, &d.ProductIdOffset, s.inquiry_product.empty() ? s.model : s.inquiry_product);
    PutText(bytes, &d.ProductRevisionOffset, s.firmware);
    PutText(bytes, &d.SerialNumberOffset, s.serial);
    d.Size = static_cast<uint32_t>(bytes.size());
    std::memcpy(bytes.data(), &d, offsetof(StorageDeviceDescriptor, RawDeviceProperties));
    c.returned = std::min<DWORD>(c.out_size, static_cast<DWORD>(bytes.size()));
    std::memcpy(c.out, bytes.data(), c.returned);
    return 0;
}

// ---- handed to the model --------------------------------------------------------------

DWORD ProtocolSpecific(Call& c, const StoragePropertyQuery& query) {
    const size_t header = offsetof(StoragePropertyQuery, AdditionalParameters);
    if (c.in.size() < header + sizeof(StorageProtocolSpecificData)) return ERROR_INVALID_PARAMETER;
    StorageProtocolSpecificData data;
    std::memcpy(&data, c.in.data() + header, sizeof data);
    DriveState* d = Target(c);
    if (d->desc.attachment != Attachment::kNativeNvme || data.ProtocolType != kProtocolTypeNvme)
        return ERROR_NOT_SUPPORTED;
    if (data.DataType != kNvmeDataTypeIdentify && data.DataType != kNvmeDataTypeLogPage) return ERROR_NOT_SUPPORTED;
    // The data lands ProtocolDataOffset bytes after the protocol-specific
    // structure, which must not overlap it and must fit the output.
    if (data.ProtocolDataOffset < sizeof(StorageProtocolSpecificData) || data.ProtocolDataLength == 0)
        return ERROR_INVALID_PARAMETER;
    uint64_t end = header + static_cast<uint64_t>(data.ProtocolDataOffset) + data.ProtocolDataLength;
    if (end > c.out_size) return ERROR_INVALID_PARAMETER;
    if (!d->model) return ERROR_NOT_SUPPORTED;
    std::memset(c.out, 0, c.out_size);
    ProtocolQuery q = {};
    q.property_id = query.PropertyId;
    q.protocol_type = data.ProtocolType;
    q.data_type = data.DataType;
    q.request_value = data.ProtocolDataRequestValue;
    q.request_sub_value = data.ProtocolDataRequestSubValue;
    q.data = c.out + header + data.ProtocolDataOffset;
    q.length = data.ProtocolDataLength;
    Outcome o = d->model->Query(q);
    if (o.win32_error) return o.win32_error;
    c.back = q.data;
    c.back_size = q.length;
    StorageProtocolDataDescriptor reply = {};
    reply.Version = sizeof(StorageProtocolDataDescriptor);
    reply.Size = sizeof(StorageProtocolDataDescriptor);
    reply.ProtocolSpecificData = data;
    reply.ProtocolSpecificData.FixedProtocolReturnData = q.fixed_return;
    std::memcpy(c.out, &reply, sizeof reply);
    c.returned = static_cast<DWORD>(end);
    return 0;
}

DWORD QueryProperty(Call& c) {
    if (c.object->what != Opened::kDisk) return kErrorInvalidFunction;
    if (c.in.size() < sizeof(StoragePropertyQuery)) return kErrorBadLength;
    StoragePropertyQuery query = Read<StoragePropertyQuery>(c.in);
    if (query.QueryType > 1) return ERROR_INVALID_PARAMETER;
    if (query.PropertyId == kStorageDeviceProperty) return DeviceDescriptor(c, query.QueryType);
    if (query.PropertyId == kStorageAdapterProtocolSpecificProperty ||
        query.PropertyId == kStorageDeviceProtocolSpecificProperty) {
        if (query.QueryType != kPropertyStandardQuery) return ERROR_INVALID_PARAMETER;
        return ProtocolSpecific(c, query);
    }
    return ERROR_NOT_SUPPORTED;
}

DWORD ScsiPassThrough(Call& c) {
    if (c.object->what != Opened::kDisk) return kErrorInvalidFunction;
    if (c.in.size() < sizeof(ScsiPassThroughDirect)) return ERROR_INVALID_PARAMETER;
    ScsiPassThroughDirect sptd = Read<ScsiPassThroughDirect>(c.in);
    if (sptd.Length != sizeof(ScsiPassThroughDirect)) return kErrorRevisionMismatch;
    if (c.out_size < sptd.Length) return ERROR_INVALID_PARAMETER;
    if (sptd.CdbLength == 0 || sptd.CdbLength > 16) return ERROR_INVALID_PARAMETER;
    if (sptd.DataIn > kScsiIoctlDataUnspecified) return ERROR_INVALID_PARAMETER;
    // The sense data goes behind the structure, inside the output buffer.
    if (sptd.SenseInfoLength &&
        (sptd.SenseInfoOffset < sptd.Length || uint64_t{sptd.SenseInfoOffset} + sptd.SenseInfoLength > c.out_size))
        return ERROR_INVALID_PARAMETER;
    if (sptd.DataTransferLength > kMaxTransfer) return ERROR_INVALID_PARAMETER;
    if (sptd.DataTransferLength && !sptd.DataBuffer) return kErrorNoAccess;
    uint8_t* data = static_cast<uint8_t*>(sptd.DataBuffer);
    if (sptd.DataIn == kScsiIoctlDataOut && data) KeepBytes(c, &c.record.data_out, data, data + sptd.DataTransferLength);

    DriveState* d = Target(c);
    Outcome o;
    uint8_t ata_error = 0;
    c.m.current_cdb = sptd.Cdb;
    c.m.current_phase = TunnelPhase(d->desc.attachment, sptd.Cdb);
    bool faulted = TakeFaultFor(c.m, c.drive, FaultMatch::kCdb, sptd.Cdb[0], &o, &ata_error);
    if (!faulted) {
        ScsiCommand command = {};
        std::memcpy(command.cdb, sptd.Cdb, 16);
        command.cdb_length = sptd.CdbLength;
        command.data_in = sptd.DataIn;
        command.data = sptd.DataTransferLength ? data : nullptr;
        command.length = sptd.DataTransferLength;
        command.timeout = sptd.TimeOutValue;
        command.sense_capacity = sptd.SenseInfoLength;
        if (d->model) {
            o = d->model->Scsi(command);
        } else {
            o = CheckCondition(0x05, 0x20, 0x00);  // no model: invalid command operation code
        }
    }
    if (o.win32_error) return o.win32_error;
    c.m.current_cdb = nullptr;
    if (sptd.DataIn == kScsiIoctlDataIn && data) {
        c.back = data;
        c.back_size = sptd.DataTransferLength;
        KeepBytes(c, &c.record.data_in, data, data + sptd.DataTransferLength);
    }
    EchoInput(c);
    ScsiPassThroughDirect reply = sptd;
    reply.ScsiStatus = o.scsi_status;
    reply.DataTransferLength = sptd.DataTransferLength - std::min(o.residue, sptd.DataTransferLength);
    uint8_t sense = std::min<uint8_t>(o.sense_length, sptd.SenseInfoLength);
    reply.SenseInfoLength = sense;
    std::memcpy(c.out, &reply, sizeof reply);
    if (sense) std::memcpy(c.out + sptd.SenseInfoOffset, o.sense, sense);
    c.record.scsi = true;
    c.record.scsi_status = o.scsi_status;
    c.record.sense.assign(o.sense, o.sense + sense);
    c.returned = sense ? sptd.SenseInfoOffset + sense : sptd.Length;
    return 0;
}

DWORD AtaPassThrough(Call& c) {
    if (c.object->what != Opened::kDisk) return kErrorInvalidFunction;
    DriveState* d = Target(c);
    // Only the AHCI port driver carries ATA pass-through.
    if (d->desc.attachment != Attachment::kSataPort) return kErrorInvalidFunction;
    if (c.in.size() < sizeof(AtaPassThroughDirect)) return ERROR_INVALID_PARAMETER;
    AtaPassThroughDirect aptd = Read<AtaPassThroughDirect>(c.in);
    if (aptd.Length != sizeof(AtaPassThroughDirect)) return kErrorRevisionMismatch;
    if (c.out_size < sizeof(AtaPassThroughDirect)) return ERROR_INVALID_PARAMETER;
    const bool in = aptd.AtaFlags & kAtaFlagsDataIn, out = aptd.AtaFlags & kAtaFlagsDataOut;
    if (in && out) return ERROR_INVALID_PARAMETER;
    if (aptd.DataTransferLength && !in && !out) return ERROR_INVALID_PARAMETER;
    if (aptd.DataTransferLength > kMaxTransfer) return ERROR_INVALID_PARAMETER;
    if (aptd.DataTransferLength && !aptd.DataBuffer) return kErrorNoAccess;
    // The port driver wants word-aligned data buffers.
    if (reinterpret_cast<uintptr_t>(aptd.DataBuffer) & 1) return ERROR_INVALID_PARAMETER;
    uint8_t* data = static_cast<uint8_t*>(aptd.DataBuffer);
    if (out && data) KeepBytes(c, &c.record.data_out, data, data + aptd.DataTransferLength);

    AtaCommand command = {};
    command.flags = aptd.AtaFlags;
    std::memcpy(command.previous, aptd.PreviousTaskFile, 8);
    std::memcpy(command.task_file, aptd.CurrentTaskFile, 8);
    std::memcpy(command.request, aptd.CurrentTaskFile, 8);
    command.data = aptd.DataTransferLength ? data : nullptr;
    command.length = aptd.DataTransferLength;
    command.timeout = aptd.TimeOutValue;
    Outcome o;
    uint8_t ata_error = 0;
    if (TakeFaultFor(c.m, c.drive, FaultMatch::kAta, aptd.CurrentTaskFile[6], &o, &ata_error)) {
        if (o.win32_error) return o.win32_error;
        command.task_file[0] = ata_error;
        command.task_file[6] = 0x51;  // DRDY | ERR
    } else if (d->model) {
        command.task_file[0] = 0;
        command.task_file[6] = 0x50;  // DRDY
        o = d->model->Ata(command);
        if (o.win32_error) return o.win32_error;
    } else {
        command.task_file[0] = 0x04;  // no model: the command is aborted
        command.task_file[6] = 0x51;
    }
    if (in && data) {
        c.back = data;
        c.back_size = aptd.DataTransferLength;
        KeepBytes(c, &c.record.data_in, data, data + aptd.DataTransferLength);
    }
    EchoInput(c);
    AtaPassThroughDirect reply = aptd;
    if (d->desc.ata_status >= 0) command.task_file[6] = static_cast<uint8_t>(d->desc.ata_status);
    std::memcpy(reply.CurrentTaskFile, command.task_file, 8);
    c.record.ata = true;
    std::memcpy(c.record.ata_registers, command.task_file, 8);
    std::memcpy(c.out, &reply, sizeof reply);
    c.returned = sizeof reply;
    return 0;
}

DWORD ProtocolCommandRequest(Call& c) {
    if (c.object->what != Opened::kDisk) return kErrorInvalidFunction;
    DriveState* d = Target(c);
    if (d->desc.attachment != Attachment::kNativeNvme) return kErrorInvalidFunction;
    if (c.in.size() < sizeof(StorageProtocolCommand)) return ERROR_INVALID_PARAMETER;
    StorageProtocolCommand pc = Read<StorageProtocolCommand>(c.in);
    if (pc.Version != kStorageProtocolStructureVersion) return kErrorRevisionMismatch;
    if (pc.Length != sizeof(StorageProtocolCommand)) return ERROR_INVALID_PARAMETER;
    if (pc.ProtocolType != kProtocolTypeNvme) return ERROR_NOT_SUPPORTED;
    if (pc.CommandLength != kStorageProtocolCommandLengthNvme) return ERROR_INVALID_PARAMETER;
    if (kStorageProtocolCommandFixedSize + uint64_t{pc.CommandLength} > c.in.size()) return ERROR_INVALID_PARAMETER;
    if (pc.CommandSpecific != kStorageProtocolSpecificNvmeAdminCommand && pc.CommandSpecific != 2)
        return ERROR_INVALID_PARAMETER;
    if (pc.DataToDeviceTransferLength &&
        uint64_t{pc.DataToDeviceBufferOffset} + pc.DataToDeviceTransferLength > c.in.size())
        return ERROR_INVALID_PARAMETER;
    if (pc.DataFromDeviceTransferLength &&
        uint64_t{pc.DataFromDeviceBufferOffset} + pc.DataFromDeviceTransferLength > c.out_size)
        return ERROR_INVALID_PARAMETER;
    // Data buffers must not overlap the command.
    uint32_t command_end = kStorageProtocolCommandFixedSize + pc.CommandLength;
    if ((pc.DataToDeviceTransferLength && pc.DataToDeviceBufferOffset < command_end) ||
        (pc.DataFromDeviceTransferLength && pc.DataFromDeviceBufferOffset < command_end))
        return ERROR_INVALID_PARAMETER;
    if (!d->model) return kErrorInvalidFunction;
    EchoInput(c);
    ProtocolCommand command = {};
    command.protocol_type = pc.ProtocolType;
    command.flags = pc.Flags;
    command.command_specific = pc.CommandSpecific;
    std::memcpy(command.command, c.in.data() + kStorageProtocolCommandFixedSize, 64);
    command.to_device = pc.DataToDeviceTransferLength ? c.in.data() + pc.DataToDeviceBufferOffset : nullptr;
    command.to_device_length = pc.DataToDeviceTransferLength;
    command.from_device = pc.DataFromDeviceTransferLength ? c.out + pc.DataFromDeviceBufferOffset : nullptr;
    command.from_device_length = pc.DataFromDeviceTransferLength;
    if (command.from_device) std::memset(command.from_device, 0, command.from_device_length);
    Outcome o = d->model->Command(command);
    if (o.win32_error) return o.win32_error;
    if (command.from_device) {
        c.back = command.from_device;
        c.back_size = command.from_device_length;
        KeepBytes(c, &c.record.data_in, command.from_device, command.from_device + command.from_device_length);
    }
    StorageProtocolCommand reply = pc;
    reply.ReturnStatus = command.return_status;
    reply.ErrorCode = command.error_code;
    reply.FixedProtocolReturnData = command.fixed_return;
    if (c.out_size >= kStorageProtocolCommandFixedSize) std::memcpy(c.out, &reply, kStorageProtocolCommandFixedSize);
    c.returned = c.out_size;
    return 0;
}

DWORD FirmwareDownloadRequest(Call& c) {
    if (c.object->what != Opened::kDisk) return kErrorInvalidFunction;
    DriveState* d = Target(c);
    if (d->desc.attachment != Attachment::kNativeNvme) return kErrorInvalidFunction;
    if (c.in.size() < sizeof(StorageHwFirmwareDownload)) return ERROR_INVALID_PARAMETER;
    StorageHwFirmwareDownload fw = Read<StorageHwFirmwareDownload>(c.in);
    if (fw.Version != sizeof(StorageHwFirmwareDownload)) return kErrorRevisionMismatch;
    if (fw.Size > c.in.size()) return ERROR_INVALID_PARAMETER;
    if (fw.BufferSize == 0 || kStorageHwFirmwareDownloadFixedSize + fw.BufferSize > fw.Size)
        return ERROR_INVALID_PARAMETER;
    // NVMe moves firmware in whole dwords.
    if ((fw.BufferSize | fw.Offset) & 3) return ERROR_INVALID_PARAMETER;
    if (!d->model) return kErrorInvalidFunction;
    FirmwareDownload request = {};
    request.flags = fw.Flags;
    request.slot = fw.Slot;
    request.offset = fw.Offset;
    request.image = c.in.data() + kStorageHwFirmwareDownloadFixedSize;
    request.length = fw.BufferSize;
    Outcome o = d->model->Download(request);
    return FromOutcome(o);
}

DWORD FirmwareActivateRequest(Call& c) {
    if (c.object->what != Opened::kDisk) return kErrorInvalidFunction;
    DriveState* d = Target(c);
    if (d->desc.attachment != Attachment::kNativeNvme) return kErrorInvalidFunction;
    if (c.in.size() < sizeof(StorageHwFirmwareActivate)) return ERROR_INVALID_PARAMETER;
    StorageHwFirmwareActivate fw = Read<StorageHwFirmwareActivate>(c.in);
    if (fw.Version != sizeof(StorageHwFirmwareActivate)) return kErrorRevisionMismatch;
    if (fw.Size != sizeof(StorageHwFirmwareActivate)) return ERROR_INVALID_PARAMETER;
    if (!d->model) return kErrorInvalidFunction;
    FirmwareActivate request = {};
    request.flags = fw.Flags;
    request.slot = fw.Slot;
    return FromOutcome(d->model->Activate(request));
}

DWORD Miniport(Call& c) {
    if (c.object->what != Opened::kPort) return kErrorInvalidFunction;
    if (c.in.size() < sizeof(SrbIoControl)) return ERROR_INVALID_PARAMETER;
    SrbIoControl srb = Read<SrbIoControl>(c.in);
    if (srb.HeaderLength != sizeof(SrbIoControl)) return kErrorRevisionMismatch;
    if (sizeof(SrbIoControl) + uint64_t{srb.Length} > c.in.size()) return ERROR_INVALID_PARAMETER;
    if (c.out_size && c.out_size < sizeof(SrbIoControl)) return ERROR_INVALID_PARAMETER;
    // The RAID driver's requests name the drive by its PathId right behind the header.
    if (srb.Length < 2) return ERROR_INVALID_PARAMETER;
    int path = c.in[sizeof(SrbIoControl) + 1];
    int drive = -1;
    for (size_t i = 0; i < c.m.drives.size(); ++i) {
        const DriveState& d = c.m.drives[i];
        if (d.present && d.desc.scsi.port == c.object->port && d.desc.scsi.path == path) drive = static_cast<int>(i);
    }
    if (drive < 0) return kErrorDevNotExist;
    c.drive = drive;
    c.record.drive = c.m.drives[drive].desc.name;
    Outcome o;
    if (TakeFaultFor(c.m, drive, FaultMatch::kIoctl, c.code, &o, nullptr))
        return o.win32_error ? o.win32_error : ERROR_IO_DEVICE;
    DriveState* d = &c.m.drives[drive];
    if (d->desc.attachment != Attachment::kRst || !d->model) return kErrorInvalidFunction;
    EchoInput(c);
    MiniportRequest request = {};
    std::memcpy(request.signature, srb.Signature, 8);
    request.timeout = srb.Timeout;
    request.control_code = srb.ControlCode;
    request.in = c.in.data() + sizeof(SrbIoControl);
    request.in_length = srb.Length;
    request.out = c.out_size > sizeof(SrbIoControl) ? c.out + sizeof(SrbIoControl) : nullptr;
    request.out_capacity = c.out_size > sizeof(SrbIoControl) ? c.out_size - static_cast<DWORD>(sizeof(SrbIoControl)) : 0;
    o = d->model->Miniport(request);
    if (o.win32_error) return o.win32_error;
    if (request.out) {
        c.back = request.out;
        c.back_size = std::min(request.out_length, request.out_capacity);
    }
    if (c.out_size) {
        srb.ReturnCode = request.return_code;
        std::memcpy(c.out, &srb, sizeof srb);
        c.returned = static_cast<DWORD>(sizeof(SrbIoControl) + std::min(request.out_length, request.out_capacity));
    }
    return 0;
}

DWORD Dispatch(Call& c) {
    switch (c.code) {
        case kIoctlStorageGetDeviceNumber: return GetDeviceNumber(c);
        case kIoctlScsiGetAddress: return GetScsiAddress(c);
        case kIoctlStorageQueryProperty: return QueryProperty(c);
        case kIoctlScsiPassThroughDirect: return ScsiPassThrough(c);
        case kIoctlAtaPassThroughDirect: return AtaPassThrough(c);
        case kIoctlStorageProtocolCommand: return ProtocolCommandRequest(c);
        case kIoctlStorageFirmwareDownload: return FirmwareDownloadRequest(c);
        case kIoctlStorageFirmwareActivate: return FirmwareActivateRequest(c);
        case kIoctlScsiMiniport: return Miniport(c);
        default: return kErrorInvalidFunction;
    }
}

}  // namespace

}  // namespace sim

namespace sim {
namespace {

BOOL MachineIoctl(HANDLE device, DWORD code, void* in, DWORD in_size, void* out, DWORD out_size, DWORD* returned) {
    MachineState& m = Machine();
    sim::MachineLock lock(m.mutex);
    CatchUp(m);
    m.requests.emplace_back();
    RequestRecord& record = m.requests.back();
    record.ioctl = code;
    record.tick = VirtualNow();
    m.garble_pending = false;
    auto finish = [&](DWORD error, DWORD count) -> BOOL {
        record.result = error ? FALSE : TRUE;
        record.error = error;
        record.returned = error ? 0 : count;
        if (!error && out && count && m.keep_payloads)
            record.out.assign(static_cast<uint8_t*>(out), static_cast<uint8_t*>(out) + count);
        if (returned) *returned = error ? 0 : count;
        if (m.request_observer) m.request_observer(record);
        os::SetLastError(error);
        return record.result;
    };
    DeviceObject* object = LookupObject(device);
    if (!object) return finish(ERROR_INVALID_HANDLE, 0);
    record.path = object->path;
    DWORD countdown_error = 0;
    if (CountdownBegin(&countdown_error)) return finish(countdown_error, 0);
    if ((in_size && !in) || (out_size && !out)) return finish(kErrorNoAccess, 0);
    // Without an OVERLAPPED structure Windows writes the byte count through
    // this pointer unconditionally; a null one would fault there.
    if (!returned) return finish(ERROR_INVALID_PARAMETER, 0);
    std::vector<uint8_t> input;
    if (in) input.assign(static_cast<uint8_t*>(in), static_cast<uint8_t*>(in) + in_size);
    if (m.keep_payloads) record.in = input;
    // The access bits of the code must be granted by the handle.
    DWORD needs = (code >> 14) & 3;
    if (((needs & 1) && !(object->access & GENERIC_READ)) || ((needs & 2) && !(object->access & GENERIC_WRITE)))
        return finish(ERROR_ACCESS_DENIED, 0);
    int drive = object->drive;
    if (drive >= 0) {
        DriveState& d = m.drives[drive];
        record.drive = d.desc.name;
        if (!d.present || d.generation != object->generation) return finish(kErrorDevNotExist, 0);
        Outcome o;
        if (TakeFaultFor(m, drive, FaultMatch::kIoctl, code, &o, nullptr))
            return finish(o.win32_error ? o.win32_error : ERROR_IO_DEVICE, 0);
    }
    Call call{m, object, drive, code, std::move(input), static_cast<uint8_t*>(out), out_size, 0, record};
    DWORD error = Dispatch(call);
    m.current_cdb = nullptr;
    m.current_phase = 0;
    m.current_sub = -1;
    GarbleMode mode = GarbleMode::kFlipBits;
    uint32_t seed = 0;
    bool countdown_garble = CountdownGarbleHere(&mode, &seed);
    if (m.garble_pending) {
        mode = m.garble_mode;
        seed = m.garble_seed;
    }
    if ((countdown_garble || m.garble_pending) && !error && call.back) {
        // The answer arrives, spoilt: the record shows what the tool got.
        Garble(call.back, call.back_size, mode, seed);
        if (!record.data_in.empty()) KeepBytes(call, &record.data_in, call.back, call.back + call.back_size);
    }
    m.garble_pending = false;
    // A drive that leaves after this many requests answers this one first.
    if (call.drive >= 0) CountDriveRequest(m, call.drive);
    return finish(error, call.returned);
}

}  // namespace
}  // namespace sim

BOOL os::DeviceIoControl(HANDLE device, DWORD code, void* in, DWORD in_size, void* out, DWORD out_size,
                         DWORD* returned) {
    return trace::Traced(&trace::DeviceHooks::ioctl, sim::MachineIoctl, device, code, in, in_size, out, out_size,
                         returned);
}
