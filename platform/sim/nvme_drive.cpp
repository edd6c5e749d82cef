#include "platform/sim/nvme_drive.h"

#include <cstring>

#include "platform/storage_layouts.h"

namespace sim {

namespace {
constexpr DWORD kErrorInvalidFunction = 1;

uint32_t Le32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
uint64_t Le64(const uint8_t* p) { return Le32(p) | (uint64_t{Le32(p + 4)} << 32); }
}  // namespace

SimDrive* NewNvmeDrive(const DriveDesc& desc, DriveHost* host) { return new NvmeDrive(desc, host); }

void NvmeDrive::PowerOn() {
    bridge_ = BridgeState();
    controller_.Reset();
}

void NvmeDrive::AfterCommit(uint16_t status) {
    // The machine file says whether the drive drops off the bus once its
    // firmware is committed; when it does, the new image runs when it is back.
    if (status == kNvmeNeedsReset && desc_.on_activate.leaves) host_->Leave(false);
}

void NvmeDrive::ResetByActivation() {
    if (desc_.on_activate.leaves) {
        host_->Leave(false);
    } else {
        controller_.Reset();
    }
}

void NvmeDrive::PowerCycle() {
    if (desc_.on_power_cycle.leaves) {
        host_->Leave(true);
    } else {
        bridge_ = BridgeState();
        controller_.Reset();
    }
}

Outcome NvmeDrive::Scsi(ScsiCommand& command) {
    switch (desc_.attachment) {
        case Attachment::kAsmedia:
        case Attachment::kJmicron:
        case Attachment::kRealtek:
            return BridgeScsi(*this, command);
        default:
            return CheckCondition(0x05, 0x20, 0x00);
    }
}

// ---- native storage stack ----------------------------------------------------------

Outcome NvmeDrive::Query(ProtocolQuery& query) {
    uint8_t command[64] = {};
    if (query.data_type == kNvmeDataTypeIdentify) {
        command[0] = 0x06;
        std::memcpy(command + 4, &query.request_sub_value, 4);
        std::memcpy(command + 40, &query.request_value, 4);
    } else {
        command[0] = 0x02;
        uint32_t nsid = 0xFFFFFFFFu;
        uint32_t cdw10 = (query.request_value & 0xFF) | (((query.length / 4) - 1) << 16);
        std::memcpy(command + 4, &nsid, 4);
        std::memcpy(command + 40, &cdw10, 4);
    }
    NvmeAnswer a = controller_.Admin(command, query.data, query.length, false);
    if (a.outcome.win32_error) return a.outcome;
    // The stack fails a query the drive answered with an error.
    if (a.status != kNvmeOk) return Win32Failure(ERROR_NOT_SUPPORTED);
    return Outcome();
}

Outcome NvmeDrive::Command(ProtocolCommand& command) {
    uint8_t* data = command.from_device;
    uint32_t length = command.from_device_length;
    std::vector<uint8_t> out;
    if (command.to_device) {
        out.assign(command.to_device, command.to_device + command.to_device_length);
        data = out.data();
        length = command.to_device_length;
    }
    NvmeAnswer a = controller_.Admin(command.command, data, length, false);
    if (a.outcome.win32_error) return a.outcome;
    // The request itself succeeds; the drive's status comes back in ReturnStatus.
    command.return_status = a.status == kNvmeOk ? 0 : 0xC0000001u;
    command.error_code = a.status;
    command.fixed_return = a.dw0;
    return Outcome();
}

Outcome NvmeDrive::Download(FirmwareDownload& request) {
    Outcome o;
    if (host_->TakeFault(FaultMatch::kNvme, 0x11, &o, nullptr)) return o.win32_error ? o : Win32Failure(ERROR_IO_DEVICE);
    if (controller_.Download(request.offset, request.image, request.length) != kNvmeOk)
        return Win32Failure(ERROR_IO_DEVICE);
    return Outcome();
}

Outcome NvmeDrive::Activate(FirmwareActivate& request) {
    Outcome o;
    if (host_->TakeFault(FaultMatch::kNvme, 0x10, &o, nullptr)) return o.win32_error ? o : Win32Failure(ERROR_IO_DEVICE);
    uint32_t action = (request.flags & kStorageHwFirmwareRequestFlagSwitchToExistingFirmware) ? 2 : 1;
    uint16_t status = controller_.Commit(request.slot, action);
    if (status != kNvmeOk && status != kNvmeNeedsReset) return Win32Failure(ERROR_IO_DEVICE);
    // The stack resets the controller to run the committed image.
    ResetByActivation();
    return Outcome();
}

// ---- RST miniport ------------------------------------------------------------------------
// Offsets below count from the end of the SRB_IO_CONTROL header (28 bytes).

Outcome NvmeDrive::Miniport(MiniportRequest& request) {
    if (std::memcmp(request.signature, "IntelNvm", 8) == 0 && request.control_code == 0xF0002808u) {
        if (request.in_length < 136) return Win32Failure(ERROR_INVALID_PARAMETER);
        uint32_t data_offset = Le32(request.in + 88), length = Le32(request.in + 92);
        if (data_offset < 28 + 136 || uint64_t{data_offset} - 28 + length > request.in_length)
            return Win32Failure(ERROR_INVALID_PARAMETER);
        if (!request.out || request.out_capacity < request.in_length) return Win32Failure(ERROR_INVALID_PARAMETER);
        std::memcpy(request.out, request.in, request.in_length);
        uint8_t command[64];
        std::memcpy(command, request.in + 4, 64);
        uint8_t* data = request.out + (data_offset - 28);
        NvmeAnswer a = controller_.Admin(command, length ? data : nullptr, length, true);
        if (a.outcome.win32_error) return a.outcome;
        request.out_length = request.in_length;
        request.return_code = a.status;
        if (command[0] == 0x10) AfterCommit(a.status);
        return Outcome();
    }
    if (std::memcmp(request.signature, "IntelFw ", 8) == 0 && request.control_code == 0xF0000040u) {
        if (request.in_length < 60) return Win32Failure(ERROR_INVALID_PARAMETER);
        uint32_t function = Le32(request.in + 12);
        if (function == 2) {
            uint64_t offset = Le64(request.in + 36), length = Le64(request.in + 44);
            if (60 + length > request.in_length || Le32(request.in + 24) != length + 32)
                return Win32Failure(ERROR_INVALID_PARAMETER);
            Outcome o;
            if (host_->TakeFault(FaultMatch::kNvme, 0x11, &o, nullptr))
                return o.win32_error ? o : Win32Failure(ERROR_IO_DEVICE);
            if (controller_.Download(offset, request.in + 60, length) != kNvmeOk)
                return Win32Failure(ERROR_IO_DEVICE);
            return Outcome();
        }
        if (function == 3) {
            Outcome o;
            if (host_->TakeFault(FaultMatch::kNvme, 0x10, &o, nullptr))
                return o.win32_error ? o : Win32Failure(ERROR_IO_DEVICE);
            uint16_t status = controller_.Commit(Le32(request.in + 36), 1);
            if (status != kNvmeOk && status != kNvmeNeedsReset) return Win32Failure(ERROR_IO_DEVICE);
            ResetByActivation();
            return Outcome();
        }
        return Win32Failure(ERROR_INVALID_PARAMETER);
    }
    return Win32Failure(kErrorInvalidFunction);
}

}  // namespace sim
