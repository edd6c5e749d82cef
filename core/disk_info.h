// The drive record and the access context every subsystem talks about a
// drive through. Plain data; identification zeroes a record before filling it.
#pragma once

#include "platform/os_types.h"

// iCmdType: which transport reaches the drive.
enum : int32_t {
    kCmdAsmedia = 0,   // NVMe behind an ASMedia USB bridge
    kCmdJmicron = 1,   // NVMe behind a JMicron USB bridge
    kCmdNative = 2,    // NVMe on PCI Express (stornvme)
    kCmdRst = 3,       // NVMe behind the Intel RST RAID driver
    kCmdRealtek = 4,   // NVMe behind a Realtek USB bridge
    kCmdSataNative = 16,
    kCmdSataUsb = 17,
    kCmdSataScsi = 18,
    kCmdUnsupported = 255,
};

// STORAGE_BUS_TYPE values the tool distinguishes.
enum : uint32_t {
    kBusUnknown = 0,
    kBusScsi = 1,
    kBusAtapi = 2,
    kBusAta = 3,
    kBusUsb = 7,
    kBusRaid = 8,
    kBusIscsi = 9,
    kBusSas = 10,
    kBusSata = 11,
    kBusNvme = 17,
};

struct DiskInfo {
    WCH szDevicePath[64];
    int32_t iCmdType;
    int64_t iPort;
    uint32_t iCapacityGB;
    uint32_t iSectorSize;
    uint64_t iTotalSectors;
    WCH szModel[64];
    WCH szFWRevision[64];
    WCH szSerial[64];
    WCH szVolumes[64];
    uint32_t iDiskNumber;
    uint8_t bRaw;
    uint8_t bSystemDisk;
    uint8_t bVendorDisk;
    uint32_t iPciVendorId;
    uint32_t iPciSubVendorId;
    uint32_t iSocId;
    int32_t iLinkSpeed;
    int32_t iLinkWidth;
    int32_t iMaxLinkSpeed;
    int32_t iMaxLinkWidth;
    uint8_t bDrvInfoValid;
    uint8_t NandId[6];
    uint32_t iLunCount;
    WCH szDrvFWVersion[64];
    uint32_t iFtlBuildNum;
    uint32_t iBusType;
};

struct DiskAccess {
    int32_t iCmdType;
    int32_t iBusType;
    HANDLE hScsiPort;  // "\\.\scsi%d:" for the RST transport, else INVALID_HANDLE_VALUE
    uint32_t iPathId;
    int32_t iVSCType;  // vendor command set: 0 the first, 1 the second
};

// Vendor information blocks (4096 bytes each), offsets in bytes.
namespace drvinfo {
constexpr size_t kSize = 4096;
constexpr size_t kSignature = 0;  // 'Z' when valid
constexpr size_t kSocId = 2;
constexpr size_t kNandId = 16;
constexpr size_t kFwVersion = 32;  // 8 ASCII bytes
constexpr size_t kFtlBuildNum = 72;
}  // namespace drvinfo

namespace mpinfo {
constexpr size_t kSize = 4096;
constexpr size_t kNewVersion = 88;  // 8 bytes written back by the version rewrite
constexpr size_t kMarker = 280;     // 1768 marks the long layout
constexpr uint16_t kMarkerLong = 1768;
constexpr size_t kPagesPerBlock = 288;
constexpr size_t kChannels = 295;
constexpr size_t kChipEnables = 296;
constexpr size_t kLuns = 297;
constexpr size_t kPlanes = 298;
constexpr size_t kNandTable = 1352;  // 6 bytes per channel x chip enable, at most 32
constexpr size_t kSocId = 1582;
constexpr size_t kFwVersion = 1606;  // 10 ASCII bytes
}  // namespace mpinfo
