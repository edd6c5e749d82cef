// NVMe behind the Intel RST driver: miniport requests on the SCSI port
// device. "IntelNvm" carries an NVMe admin command with its data;
// "IntelFw " downloads a firmware piece or activates a slot. The layouts
// are the driver's own; each request buffer is a committed page block.
#include <cstring>

#include "core/put_bytes.h"
#include "nvme/transport.h"
#include "platform/os.h"
#include "storage/device_io.h"

static uint8_t* AllocPages(size_t size) {
    return static_cast<uint8_t*>(os::VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
}

static void FreePages(void* block) {
    os::VirtualFree(block, 0, MEM_RELEASE);
}

static void PutSrbHeader(uint8_t* request, const char signature[8], uint32_t timeout, uint32_t code,
                         uint32_t length) {
    Put32(request + offsetof(SrbIoControl, HeaderLength), sizeof(SrbIoControl));
    std::memcpy(request + offsetof(SrbIoControl, Signature), signature, 8);
    Put32(request + offsetof(SrbIoControl, Timeout), timeout);
    Put32(request + offsetof(SrbIoControl, ControlCode), code);
    Put32(request + offsetof(SrbIoControl, ReturnCode), 0);
    Put32(request + offsetof(SrbIoControl, Length), length);
}

void RstBuildPassThrough(uint8_t* request, uint32_t path_id, const NvmeCommand* command, const void* data,
                         uint32_t length) {
    uint32_t total = length + kRstPassThroughExtra;
    std::memset(request, 0, total);
    PutSrbHeader(request, "IntelNvm", 40, kRstNvmePassThroughCode, total - sizeof(SrbIoControl));
    request[28] = 1;  // request version
    request[29] = static_cast<uint8_t>(path_id);
    std::memcpy(request + 32, command, sizeof *command);
    Put32(request + 116, kRstPassThroughData);  // where the data area starts
    Put32(request + 120, length);
    // The driver takes the data area in every direction.
    if (data && length) std::memcpy(request + kRstPassThroughData, data, length);
}

int RstNvmePassThrough(HANDLE port, uint32_t path_id, NvmeCommand* command, void* buffer, uint32_t length) {
    uint32_t total = length + kRstPassThroughExtra;
    uint8_t* in = AllocPages(total);
    uint8_t* out = AllocPages(total);
    int result = -4;
    if (in && out) {
        RstBuildPassThrough(in, path_id, command, buffer, length);
        DWORD returned = 0;
        if (DeviceIo(port, kIoctlScsiMiniport, in, total, out, total, &returned)) {
            if (buffer && length) std::memcpy(buffer, out + kRstPassThroughData, length);
            result = 1;
        }
    }
    if (in) FreePages(in);
    if (out) FreePages(out);
    return result;
}

void RstBuildFwDownload(uint8_t* request, uint32_t path_id, uint32_t offset, const void* data, uint32_t length) {
    std::memset(request, 0, length + kRstFwDownloadData);
    PutSrbHeader(request, "IntelFw ", 200, kRstFirmwareCode, length + 60);
    request[28] = 1;
    request[29] = static_cast<uint8_t>(path_id);
    Put32(request + 32, 1);            // request block version
    Put32(request + 36, 24);           // request block size
    Put32(request + 40, 2);            // function: download
    Put32(request + 44, 1);            // flags: controller
    Put32(request + 48, 56);           // data offset
    Put32(request + 52, length + 32);  // data length
    Put32(request + 56, 2);            // download structure version
    Put32(request + 60, 32);           // download structure size
    Put64(request + 64, offset);
    Put64(request + 72, length);
    request[80] = 0xFF;  // slot: the driver picks
    std::memcpy(request + kRstFwDownloadData, data, length);
}

int RstFwDownload(HANDLE port, uint32_t path_id, uint32_t offset, const void* data, uint32_t length) {
    uint32_t total = length + kRstFwDownloadData;
    uint8_t* request = AllocPages(total);
    if (!request) return -4;
    RstBuildFwDownload(request, path_id, offset, data, length);
    DWORD returned = 0;
    int result = DeviceIo(port, kIoctlScsiMiniport, request, total, nullptr, 0, &returned) ? 1 : -4;
    FreePages(request);
    return result;
}

void RstBuildFwActivate(uint8_t* request, uint32_t path_id) {
    std::memset(request, 0, kRstFwActivateSize);
    PutSrbHeader(request, "IntelFw ", 200, kRstFirmwareCode, kRstFwActivateSize - sizeof(SrbIoControl));
    request[28] = 1;
    request[29] = static_cast<uint8_t>(path_id);
    Put32(request + 32, 1);   // request block version
    Put32(request + 36, 24);  // request block size
    Put32(request + 40, 3);   // function: activate
    Put32(request + 44, 1);   // flags: controller
    Put32(request + 48, 56);  // data offset
    Put32(request + 52, 12);  // data length
    Put32(request + 56, 1);   // activate structure version
    Put32(request + 60, 12);  // activate structure size
    Put32(request + 64, 1);   // slot: the driver activates slot 1 whatever was asked
    Put32(request + 68, 5);
    Put32(request + 72, 7);
}

int RstFwActivate(HANDLE port, uint32_t path_id) {
    uint8_t* request = AllocPages(kRstFwActivateSize);
    if (!request) return -4;
    RstBuildFwActivate(request, path_id);
    DWORD returned = 0;
    int result = DeviceIo(port, kIoctlScsiMiniport, request, kRstFwActivateSize, nullptr, 0, &returned) ? 1 : -4;
    FreePages(request);
    return result;
}
