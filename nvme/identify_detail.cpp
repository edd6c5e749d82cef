// The controller family's vendor information of an identified drive.
#include <cstring>

#include "core/log.h"
#include "nvme/identify.h"
#include "nvme/nvme_commands.h"
#include "platform/wtext.h"

namespace {

constexpr uint32_t kVendorLogPage = 0xE1;
constexpr uint32_t kMaxNandTableBytes = 192;  // 32 entries of 6 bytes

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

// The drive-information block, from the vendor log page or else the vendor
// command; true when one with its 'Z' signature came back.
bool ReadDrvInfo(const DiskAccess* access, HANDLE drive, uint8_t* block) {
    memset(block, 0, kVendorBlockSize);
    int rc = DISKLIB_NVME_GetLogPage(access, drive, kVendorLogPage, block, kVendorBlockSize);
    if (rc == 1 && block[drvinfo::kSignature] == 'Z') return true;
    memset(block, 0, kVendorBlockSize);
    rc = DISKLIB_NVME_VSC_GetDrvInfo(access, drive, block);
    return rc == 1 && block[drvinfo::kSignature] == 'Z';
}

void LogGeometry(const DiskInfo* disk, const uint8_t* mp) {
    LogMsg(u"%s = ch:%d, ce:%d, lun:%d, pln:%d, pg:%d", disk->szDevicePath, mp[mpinfo::kChannels],
           mp[mpinfo::kChipEnables], mp[mpinfo::kLuns], mp[mpinfo::kPlanes], Le16(mp + mpinfo::kPagesPerBlock));
}

}  // namespace

int DetailInfo(const DiskAccess* access, HANDLE drive, DiskInfo* disk) {
    LogMsg(u"DetailInfo IN %s", disk->szDevicePath);
    uint8_t block[kVendorBlockSize];

    bool drv_valid = ReadDrvInfo(access, drive, block);
    if (drv_valid) {
        disk->iSocId = Le16(block + drvinfo::kSocId);
        disk->iFtlBuildNum = Le32(block + drvinfo::kFtlBuildNum);
        memcpy(disk->NandId, block + drvinfo::kNandId, 6);
        disk->bDrvInfoValid = 1;
        WidenAnsi(disk->szDrvFWVersion, 64, reinterpret_cast<const char*>(block + drvinfo::kFwVersion), 8);
    }

    memset(block, 0, sizeof block);
    int rc = DISKLIB_NVME_VSC_GetMPInfo(access, drive, block);
    if (rc == 1) {
        if (drv_valid) {
            disk->iLunCount = block[mpinfo::kLuns];
            LogGeometry(disk, block);
        } else if (Le16(block + mpinfo::kMarker) == mpinfo::kMarkerLong) {
            disk->iSocId = Le16(block + mpinfo::kSocId);
            disk->iLunCount = block[mpinfo::kLuns];
            LogGeometry(disk, block);
            WidenAnsi(disk->szDrvFWVersion, 64, reinterpret_cast<const char*>(block + mpinfo::kFwVersion), 10);
        }
        if (disk->NandId[0] == 0) {
            // One entry per channel and chip enable; a geometry claiming more
            // than the table's 32 entries is not believed.
            uint32_t table = uint32_t(block[mpinfo::kChannels]) * block[mpinfo::kChipEnables] * 6;
            if (table <= kMaxNandTableBytes) {
                for (uint32_t offset = 0; offset < table; offset += 6) {
                    const uint8_t* entry = block + mpinfo::kNandTable + offset;
                    if (entry[0] != 0) {
                        memcpy(disk->NandId, entry, 6);
                        break;
                    }
                }
            }
        }
    }
    LogMsg(u"DetailInfo OUT %s, rc = %d", disk->szDevicePath, rc);
    return rc;
}
