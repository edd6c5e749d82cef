// Native NVMe through the Windows storage stack: Identify and log pages as
// protocol-specific property queries, vendor commands as
// kIoctlStorageProtocolCommand, firmware through the firmware download and
// activation requests. Buffers are committed pages, freed before returning.
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

// Offsets inside the query buffer: the property query's first eight bytes,
// then StorageProtocolSpecificData at 8, the returned data at 48.
static const size_t kSpecific = 8;
#define SPECIFIC(field) (kSpecific + offsetof(StorageProtocolSpecificData, field))

static void BuildQuery(uint8_t* request, uint32_t property, uint32_t data_type, uint32_t value, uint32_t sub_value,
                       uint32_t length) {
    std::memset(request, 0, kNativeQueryHeader + length);
    Put32(request + offsetof(StoragePropertyQuery, PropertyId), property);
    Put32(request + offsetof(StoragePropertyQuery, QueryType), kPropertyStandardQuery);
    Put32(request + SPECIFIC(ProtocolType), kProtocolTypeNvme);
    Put32(request + SPECIFIC(DataType), data_type);
    Put32(request + SPECIFIC(ProtocolDataRequestValue), value);
    Put32(request + SPECIFIC(ProtocolDataRequestSubValue), sub_value);
    // The data follows the protocol data structure (40 bytes), counted from its start.
    Put32(request + SPECIFIC(ProtocolDataOffset), sizeof(StorageProtocolSpecificData));
    Put32(request + SPECIFIC(ProtocolDataLength), length);
}

void NativeBuildIdentifyQuery(uint8_t* request, uint32_t cns, uint32_t nsid, uint32_t length) {
    // Both Identify kinds go through the adapter property; the drives this
    // tool serves answer the namespace request there too.
    BuildQuery(request, kStorageAdapterProtocolSpecificProperty, kNvmeDataTypeIdentify, cns, nsid, length);
}

void NativeBuildLogPageQuery(uint8_t* request, uint32_t log_page_id, uint32_t length) {
    BuildQuery(request, kStorageDeviceProtocolSpecificProperty, kNvmeDataTypeLogPage, log_page_id, 0, length);
}

static int RunQuery(HANDLE drive, uint8_t* request, void* buffer, uint32_t length) {
    DWORD size = kNativeQueryHeader + length;
    DWORD returned = 0;
    if (!DeviceIo(drive, kIoctlStorageQueryProperty, request, size, request, size, &returned)) return -4;
    std::memcpy(buffer, request + kNativeQueryHeader, length);
    return 1;
}

int NativeIdentify(HANDLE drive, uint32_t cns, uint32_t nsid, void* buffer, uint32_t length) {
    uint8_t* request = AllocPages(kNativeQueryHeader + length);
    if (!request) return -4;
    NativeBuildIdentifyQuery(request, cns, nsid, length);
    int result = RunQuery(drive, request, buffer, length);
    FreePages(request);
    return result;
}

int NativeGetLogPage(HANDLE drive, uint32_t log_page_id, void* buffer, uint32_t length) {
    uint8_t* request = AllocPages(kNativeQueryHeader + length);
    if (!request) return -4;
    NativeBuildLogPageQuery(request, log_page_id, length);
    int result = RunQuery(drive, request, buffer, length);
    FreePages(request);
    return result;
}

#define PCMD(field) offsetof(StorageProtocolCommand, field)

void NativeBuildVendorCommand(uint8_t* request, int direction, uint8_t opcode, uint32_t cdw12, uint32_t cdw13,
                              uint32_t cdw14, uint32_t cdw15, const void* data, uint32_t length) {
    std::memset(request, 0, kNativeCommandHeader + length);
    Put32(request + PCMD(Version), kStorageProtocolStructureVersion);
    Put32(request + PCMD(Length), sizeof(StorageProtocolCommand));
    Put32(request + PCMD(ProtocolType), kProtocolTypeNvme);
    Put32(request + PCMD(Flags), kStorageProtocolCommandFlagAdapterRequest);
    Put32(request + PCMD(CommandLength), kStorageProtocolCommandLengthNvme);
    Put32(request + PCMD(DataToDeviceTransferLength), direction == kNvmeWrite ? length : 0);
    Put32(request + PCMD(DataFromDeviceTransferLength), direction == kNvmeRead ? length : 0);
    Put32(request + PCMD(TimeOutValue), 10);
    Put32(request + PCMD(DataToDeviceBufferOffset), kNativeCommandHeader);
    Put32(request + PCMD(DataFromDeviceBufferOffset), kNativeCommandHeader);
    Put32(request + PCMD(CommandSpecific), kStorageProtocolSpecificNvmeAdminCommand);

    // The stack builds no command of its own: ours goes at Command, without
    // the key word in CDW2.
    NvmeCommand command = BuildVendorCommand(opcode, cdw12, cdw13, cdw14, cdw15, length);
    command.CDW2 = 0;
    std::memcpy(request + PCMD(Command), &command, sizeof command);
    if (direction == kNvmeWrite && data && length) std::memcpy(request + kNativeCommandHeader, data, length);
}

int NativeVendorCommand(HANDLE drive, int direction, uint8_t opcode, uint32_t cdw12, uint32_t cdw13, uint32_t cdw14,
                        uint32_t cdw15, void* buffer, uint32_t length) {
    DWORD size = kNativeCommandHeader + length;
    uint8_t* request = AllocPages(size);
    if (!request) return -4;
    NativeBuildVendorCommand(request, direction, opcode, cdw12, cdw13, cdw14, cdw15, buffer, length);
    DWORD returned = 0;
    int result = -4;
    if (DeviceIo(drive, kIoctlStorageProtocolCommand, request, size, request, size, &returned)) {
        if (direction == kNvmeRead && buffer && length) std::memcpy(buffer, request + kNativeCommandHeader, length);
        result = 1;
    }
    FreePages(request);
    return result;
}

#define FWD(field) offsetof(StorageHwFirmwareDownload, field)
static const uint32_t kFwDownloadStructSize = 40;

uint32_t NativeBuildFwDownload(uint8_t* request, uint32_t offset, const void* data, uint32_t length) {
    std::memset(request, 0, kNativeFwBufferSize);
    Put32(request + FWD(Version), kFwDownloadStructSize);
    Put32(request + FWD(Size), length + kFwDownloadStructSize);
    Put32(request + FWD(Flags), kStorageHwFirmwareRequestFlagController);
    request[FWD(Slot)] = 1;
    Put64(request + FWD(Offset), offset);
    Put64(request + FWD(BufferSize), length);
    std::memcpy(request + FWD(ImageBuffer), data, length);
    return length + kFwDownloadStructSize;
}

int NativeFwDownload(HANDLE drive, uint32_t offset, const void* data, uint32_t length) {
    // The buffer holds one 4096-byte piece; a longer one would overrun it.
    if (length > kMaxTransfer) return -4;
    uint8_t* request = AllocPages(kNativeFwBufferSize);
    if (!request) return -4;
    uint32_t size = NativeBuildFwDownload(request, offset, data, length);
    DWORD returned = 0;
    int result = DeviceIo(drive, kIoctlStorageFirmwareDownload, request, size, nullptr, 0, &returned) ? 1 : -4;
    FreePages(request);
    return result;
}

void NativeBuildFwActivate(StorageHwFirmwareActivate* request, uint32_t slot, uint32_t action) {
    std::memset(request, 0, sizeof *request);
    request->Version = sizeof *request;
    request->Size = sizeof *request;
    // Action 1 activates the downloaded image; any other asks the drive to
    // switch to the image already in the slot.
    request->Flags = action == 1 ? kStorageHwFirmwareRequestFlagController : (kStorageHwFirmwareRequestFlagController | kStorageHwFirmwareRequestFlagSwitchToExistingFirmware);
    request->Slot = static_cast<BYTE>(slot);
}

int NativeFwActivate(HANDLE drive, uint32_t slot, uint32_t action) {
    StorageHwFirmwareActivate request;
    NativeBuildFwActivate(&request, slot, action);
    DWORD returned = 0;
    if (DeviceIo(drive, kIoctlStorageFirmwareActivate, &request, sizeof request, nullptr, 0, &returned)) return 1;
    // The stack reports "activated, power cycle required" as a failure code;
    // the new image is in place, so the activation is done.
    if (os::GetLastError() == kStgSPowerCycleRequired) return 1;
    return -4;
}
