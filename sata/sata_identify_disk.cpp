// Opening a SATA drive and identifying it into its record.
#include <cstring>

#include "core/log.h"
#include "core/put_bytes.h"
#include "core/text_search.h"
#include "platform/os.h"
#include "platform/storage_layouts.h"
#include "platform/wtext.h"
#include "sata/ata_command.h"
#include "sata/sata_identify.h"
#include "storage/device_io.h"
#include "storage/drive_path.h"
#include "storage/topology.h"

namespace {

constexpr uint32_t kIdentifySize = 512;
constexpr int64_t kMinimumGB = 16;

// IDENTIFY DEVICE word offsets.
constexpr size_t kSerialWord = 10;  // 20 characters
constexpr size_t kFwRevWord = 23;   // 8 characters
constexpr size_t kModelWord = 27;   // 40 characters
constexpr size_t kSataCapsWord = 77;
constexpr size_t kLba48Word = 100;  // four words

// Vendor geometry block.
constexpr size_t kGeometryMark = 280;
constexpr uint16_t kGeometryValid = 4096;
constexpr size_t kPages = 288, kChannels = 295, kChipEnables = 296, kLuns = 297, kPlanes = 298;

uint16_t Word(const BYTE* data, size_t index) { return static_cast<uint16_t>(data[2 * index] | (data[2 * index + 1] << 8)); }


// An ATA text field: two characters a word, the first in the high byte.
void AtaText(const BYTE* identify, size_t first_word, size_t characters, WCH* out) {
    char narrow[260];
    std::memset(narrow, 0, sizeof narrow);
    for (size_t i = 0; i < characters / 2; ++i) {
        narrow[2 * i] = static_cast<char>(identify[2 * (first_word + i) + 1]);
        narrow[2 * i + 1] = static_cast<char>(identify[2 * (first_word + i)]);
    }
    out[0] = 0;
    if (os::MultiByteToWideChar(CP_ACP, 0, narrow, -1, out, 64) == 0) out[0] = 0;
    out[63] = 0;
    TrimBlanks(out);
}

int64_t PathIdOf(HANDLE drive) {
    ScsiAddress address;
    std::memset(&address, 0, sizeof address);
    address.Length = sizeof address;
    DWORD returned = 0;
    if (!DeviceIo(drive, kIoctlScsiGetAddress, &address, sizeof address, &address, sizeof address, &returned))
        return 0;
    return address.PathId;
}

}  // namespace

uint16_t GetBitField(uint16_t value, int high, int low) {
    uint16_t shifted = static_cast<uint16_t>(value << (15 - high));
    return static_cast<uint16_t>(shifted >> (15 - high + low));
}

HANDLE OpenSataDisk(const WCH* path, DiskAccess* access) {
    access->hScsiPort = INVALID_HANDLE_VALUE;
    HANDLE drive = os::CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
    if (drive == INVALID_HANDLE_VALUE) return INVALID_HANDLE_VALUE;
    uint8_t query[12] = {};
    StoragePropertyQuery* q = reinterpret_cast<StoragePropertyQuery*>(query);
    q->PropertyId = kStorageDeviceProperty;
    q->QueryType = kPropertyStandardQuery;
    alignas(8) uint8_t out[40] = {};
    DWORD returned = 0;
    access->iCmdType = kCmdUnsupported;
    if (DeviceIo(drive, kIoctlStorageQueryProperty, query, sizeof query, out, sizeof out, &returned)) {
        access->iBusType = static_cast<int32_t>(reinterpret_cast<const StorageDeviceDescriptor*>(out)->BusType);
        switch (access->iBusType) {
            case kBusSata: access->iCmdType = kCmdSataNative; break;
            case kBusUsb: access->iCmdType = kCmdSataUsb; break;
            case kBusScsi:
            case kBusIscsi:
            case kBusSas: access->iCmdType = kCmdSataScsi; break;
            default: access->iCmdType = kCmdUnsupported; break;
        }
    }
    return drive;
}

int SataIdentifyDevice(const DiskAccess* access, HANDLE drive, BYTE* buffer, uint32_t length) {
    std::memset(buffer, 0, length);
    return SataAtaCommand(access->iCmdType, drive, kAtaIdentifyDevice, 0, kAtaRead, 0, buffer, length);
}

int SataDetailInfo(const DiskAccess* access, HANDLE drive, DiskInfo* disk) {
    BYTE block[kVendorBlock];
    std::memset(block, 0, sizeof block);
    int rc = SataAtaCommand(access->iCmdType, drive, kAtaVendorRead, kVendorDetailRead, kAtaRead, 0, block,
                            kVendorBlock);
    if (rc == 1 && block[drvinfo::kSignature] == 0x5A) {
        disk->iSocId = static_cast<uint32_t>(block[drvinfo::kSocId] | (block[drvinfo::kSocId + 1] << 8));
        disk->iFtlBuildNum = Get32(block + drvinfo::kFtlBuildNum);
        std::memcpy(disk->NandId, block + drvinfo::kNandId, 6);
        disk->bDrvInfoValid = 1;
        char version[9] = {};
        std::memcpy(version, block + drvinfo::kFwVersion, 8);
        if (os::MultiByteToWideChar(CP_ACP, 0, version, -1, disk->szDrvFWVersion, 64) == 0)
            disk->szDrvFWVersion[0] = 0;
    }

    // The geometry is its own block: read it whatever became of the first.
    std::memset(block, 0, sizeof block);
    rc = SataAtaCommand(access->iCmdType, drive, kAtaVendorRead, kVendorGeometryRead, kAtaRead, 0, block,
                        kVendorBlock);
    if (rc == 1 && (block[kGeometryMark] | (block[kGeometryMark + 1] << 8)) == kGeometryValid) {
        disk->iLunCount = block[kLuns];
        LogMsg(u"%s = ch:%d, ce:%d, lun:%d, pln:%d, pg:%d", disk->szDevicePath, block[kChannels],
               block[kChipEnables], block[kLuns], block[kPlanes], block[kPages] | (block[kPages + 1] << 8));
    }
    return rc;
}

int GetSataDiskInfo(const WCH* path, DiskInfo* disk) {
    *disk = DiskInfo{};
    uint32_t number = DriveNumberOf(path);

    DiskAccess access;
    std::memset(&access, 0, sizeof access);
    HANDLE drive = OpenSataDisk(path, &access);
    if (drive == INVALID_HANDLE_VALUE) return -1;
    if (access.iCmdType == kCmdUnsupported) {
        os::CloseHandle(drive);
        return -5;
    }

    BYTE identify[kIdentifySize];
    int rc = SataIdentifyDevice(&access, drive, identify, kIdentifySize);
    if (rc != 1) {
        os::CloseHandle(drive);
        return rc;
    }
    uint64_t total = 0;
    for (int i = 3; i >= 0; --i) total = (total << 16) | Word(identify, kLba48Word + static_cast<size_t>(i));
    // IDEMA: sectors = 97 696 368 + 1 953 504 x (GB - 50), solved for GB.
    int64_t capacity = (static_cast<int64_t>(total) - 21168) / 1953504;
    if (capacity < kMinimumGB) {
        os::CloseHandle(drive);
        return -5;
    }

    WCopy(disk->szDevicePath, 64, path);
    disk->iCmdType = access.iCmdType;
    disk->iBusType = static_cast<uint32_t>(access.iBusType);
    AtaText(identify, kModelWord, 40, disk->szModel);
    AtaText(identify, kSerialWord, 20, disk->szSerial);
    AtaText(identify, kFwRevWord, 8, disk->szFWRevision);
    disk->iCapacityGB = static_cast<uint32_t>(capacity);
    disk->iSectorSize = 512;
    disk->iTotalSectors = total;
    disk->iDiskNumber = number;
    disk->bRaw = 1;

    SataDetailInfo(&access, drive, disk);
    disk->bVendorDisk = disk->iSocId != 0 ? 1 : 0;

    if (disk->iCmdType == kCmdSataUsb)
        disk->iPort = GetDiskPortID(disk->iBusType, disk->iDiskNumber);
    else
        disk->iPort = PathIdOf(drive);
    LogMsg(u"%s - iCmdType = %d, iPort = %I64d", path, disk->iCmdType, disk->iPort);
    disk->iLinkSpeed = GetBitField(Word(identify, kSataCapsWord), 3, 1);

    os::CloseHandle(drive);
    return 1;
}
