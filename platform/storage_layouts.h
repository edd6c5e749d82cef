// The request blocks we hand to drives through DeviceIoControl, written out
// by us so that the same bytes are built on Windows and on the Linux host.
//
// Every structure follows the published Windows layout field for field.
// Only fixed-width integers and real pointers are used, so a 32-bit Windows
// build gets the 32-bit layout and both x86_64 Windows and x86_64 Linux get
// the 64-bit one (the simulated machine reads exactly what a 64-bit driver
// would). platform/win32/layout_checks_win.cpp pins every size and offset
// against the SDK headers; tests/platform/storage_layouts_test.cpp pins the
// 64-bit numbers on Linux.
#pragma once

#include <cstdint>

#include "platform/os_types.h"

// ---- IOCTL codes ------------------------------------------------------------
// CTL_CODE(device, function, method, access), spelled out so Linux has them.
constexpr uint32_t QnCtlCode(uint32_t device, uint32_t function, uint32_t method, uint32_t access) {
    return (device << 16) | (access << 14) | (function << 2) | method;
}

constexpr uint32_t kFileDeviceController = 0x00000004;
constexpr uint32_t kFileDeviceDisk = 0x00000007;
constexpr uint32_t kFileDeviceMassStorage = 0x0000002D;  // IOCTL_STORAGE_BASE

constexpr uint32_t kMethodBuffered = 0;
constexpr uint32_t kFileAnyAccess = 0;
constexpr uint32_t kFileReadAccess = 1;
constexpr uint32_t kFileReadWriteAccess = 3;

constexpr uint32_t kIoctlStorageQueryProperty =
    QnCtlCode(kFileDeviceMassStorage, 0x0500, kMethodBuffered, kFileAnyAccess);          // 0x002D1400
constexpr uint32_t kIoctlStorageProtocolCommand =
    QnCtlCode(kFileDeviceMassStorage, 0x04F0, kMethodBuffered, kFileReadWriteAccess);    // 0x002DD3C0
constexpr uint32_t kIoctlStorageFirmwareDownload =
    QnCtlCode(kFileDeviceMassStorage, 0x0701, kMethodBuffered, kFileReadWriteAccess);    // 0x002DDC04
constexpr uint32_t kIoctlStorageFirmwareActivate =
    QnCtlCode(kFileDeviceMassStorage, 0x0702, kMethodBuffered, kFileReadWriteAccess);    // 0x002DDC08
constexpr uint32_t kIoctlStorageGetDeviceNumber =
    QnCtlCode(kFileDeviceMassStorage, 0x0420, kMethodBuffered, kFileAnyAccess);          // 0x002D1080
constexpr uint32_t kIoctlScsiGetAddress =
    QnCtlCode(kFileDeviceController, 0x0406, kMethodBuffered, kFileAnyAccess);           // 0x00041018
constexpr uint32_t kIoctlScsiPassThroughDirect =
    QnCtlCode(kFileDeviceController, 0x0405, kMethodBuffered, kFileReadWriteAccess);     // 0x0004D014
constexpr uint32_t kIoctlAtaPassThroughDirect =
    QnCtlCode(kFileDeviceController, 0x040C, kMethodBuffered, kFileReadWriteAccess);     // 0x0004D030
constexpr uint32_t kIoctlScsiMiniport =
    QnCtlCode(kFileDeviceController, 0x0402, kMethodBuffered, kFileReadWriteAccess);     // 0x0004D008

static_assert(kIoctlStorageQueryProperty == 0x002D1400u, "IOCTL_STORAGE_QUERY_PROPERTY");
static_assert(kIoctlStorageProtocolCommand == 0x002DD3C0u, "IOCTL_STORAGE_PROTOCOL_COMMAND");
static_assert(kIoctlStorageFirmwareDownload == 0x002DDC04u, "IOCTL_STORAGE_FIRMWARE_DOWNLOAD");
static_assert(kIoctlStorageFirmwareActivate == 0x002DDC08u, "IOCTL_STORAGE_FIRMWARE_ACTIVATE");
static_assert(kIoctlStorageGetDeviceNumber == 0x002D1080u, "IOCTL_STORAGE_GET_DEVICE_NUMBER");
static_assert(kIoctlScsiGetAddress == 0x00041018u, "IOCTL_SCSI_GET_ADDRESS");
static_assert(kIoctlScsiPassThroughDirect == 0x0004D014u, "IOCTL_SCSI_PASS_THROUGH_DIRECT");
static_assert(kIoctlAtaPassThroughDirect == 0x0004D030u, "IOCTL_ATA_PASS_THROUGH_DIRECT");
static_assert(kIoctlScsiMiniport == 0x0004D008u, "IOCTL_SCSI_MINIPORT");

// ---- SCSI pass-through --------------------------------------------------------
// SCSI_PASS_THROUGH_DIRECT: DataBuffer points at the caller's buffer, the
// sense data lands SenseInfoOffset bytes after the start of the block.
struct ScsiPassThroughDirect {
    uint16_t Length;  // sizeof(ScsiPassThroughDirect)
    uint8_t ScsiStatus;
    uint8_t PathId;
    uint8_t TargetId;
    uint8_t Lun;
    uint8_t CdbLength;
    uint8_t SenseInfoLength;
    uint8_t DataIn;  // kScsiIoctlDataOut / In / Unspecified
    uint32_t DataTransferLength;
    uint32_t TimeOutValue;  // seconds
    void* DataBuffer;
    uint32_t SenseInfoOffset;
    uint8_t Cdb[16];
};

// The block sent with IOCTL_SCSI_PASS_THROUGH_DIRECT: the request followed by
// room for the sense data (the driver writes it at SenseInfoOffset, which we
// point at SenseBuffer).
struct ScsiPassThroughDirectWithSense {
    ScsiPassThroughDirect sptd;
    uint32_t Filler;
    uint8_t SenseBuffer[64];
};

constexpr uint8_t kScsiIoctlDataOut = 0;
constexpr uint8_t kScsiIoctlDataIn = 1;
constexpr uint8_t kScsiIoctlDataUnspecified = 2;

// ---- ATA pass-through ---------------------------------------------------------
// ATA_PASS_THROUGH_DIRECT. Task files: [0] Features, [1] Sector Count,
// [2] LBA Low, [3] LBA Mid, [4] LBA High, [5] Device, [6] Command, [7] reserved.
struct AtaPassThroughDirect {
    uint16_t Length;  // sizeof(AtaPassThroughDirect)
    uint16_t AtaFlags;
    uint8_t PathId;
    uint8_t TargetId;
    uint8_t Lun;
    uint8_t ReservedAsUchar;
    uint32_t DataTransferLength;
    uint32_t TimeOutValue;  // seconds
    uint32_t ReservedAsUlong;
    void* DataBuffer;
    uint8_t PreviousTaskFile[8];
    uint8_t CurrentTaskFile[8];
};

constexpr uint16_t kAtaFlagsDrdyRequired = 0x0001;
constexpr uint16_t kAtaFlagsDataIn = 0x0002;
constexpr uint16_t kAtaFlagsDataOut = 0x0004;

// ---- storage property queries ---------------------------------------------------
// STORAGE_PROPERTY_QUERY. The protocol-specific queries put a
// StorageProtocolSpecificData at AdditionalParameters (byte 8).
struct StoragePropertyQuery {
    uint32_t PropertyId;  // STORAGE_PROPERTY_ID
    uint32_t QueryType;   // STORAGE_QUERY_TYPE
    uint8_t AdditionalParameters[1];
};

constexpr uint32_t kStorageDeviceProperty = 0;
constexpr uint32_t kStorageAdapterProtocolSpecificProperty = 49;
constexpr uint32_t kStorageDeviceProtocolSpecificProperty = 50;
constexpr uint32_t kPropertyStandardQuery = 0;

// STORAGE_DEVICE_DESCRIPTOR, fixed part; the texts follow at the offsets it
// names, inside the caller's buffer.
struct StorageDeviceDescriptor {
    uint32_t Version;
    uint32_t Size;
    uint8_t DeviceType;
    uint8_t DeviceTypeModifier;
    uint8_t RemovableMedia;
    uint8_t CommandQueueing;
    uint32_t VendorIdOffset;
    uint32_t ProductIdOffset;
    uint32_t ProductRevisionOffset;
    uint32_t SerialNumberOffset;
    uint32_t BusType;  // STORAGE_BUS_TYPE: kBus* in nvme/disk_info.h
    uint32_t RawPropertiesLength;
    uint8_t RawDeviceProperties[1];
};

// STORAGE_PROTOCOL_SPECIFIC_DATA. ProtocolDataOffset counts from the start of
// this structure, so with the usual offset of 40 (its own size) the data sits
// right behind it.
struct StorageProtocolSpecificData {
    uint32_t ProtocolType;  // kProtocolTypeNvme
    uint32_t DataType;      // kNvmeDataTypeIdentify / LogPage
    uint32_t ProtocolDataRequestValue;
    uint32_t ProtocolDataRequestSubValue;
    uint32_t ProtocolDataOffset;
    uint32_t ProtocolDataLength;
    uint32_t FixedProtocolReturnData;
    uint32_t ProtocolDataRequestSubValue2;
    uint32_t ProtocolDataRequestSubValue3;
    uint32_t ProtocolDataRequestSubValue4;
};

// STORAGE_PROTOCOL_DATA_DESCRIPTOR: what comes back from a protocol-specific
// query, the data following at byte 8 + ProtocolDataOffset.
struct StorageProtocolDataDescriptor {
    uint32_t Version;
    uint32_t Size;
    StorageProtocolSpecificData ProtocolSpecificData;
};

constexpr uint32_t kProtocolTypeNvme = 3;
constexpr uint32_t kNvmeDataTypeIdentify = 1;
constexpr uint32_t kNvmeDataTypeLogPage = 2;

// ---- protocol command (NVMe admin command through the inbox driver) -------------
// STORAGE_PROTOCOL_COMMAND, 84 bytes up to Command; the 64-byte NVMe command
// sits at Command, the data buffer after it at DataToDevice/FromDevice offsets.
struct StorageProtocolCommand {
    uint32_t Version;  // kStorageProtocolStructureVersion
    uint32_t Length;   // sizeof(StorageProtocolCommand)
    uint32_t ProtocolType;
    uint32_t Flags;
    uint32_t ReturnStatus;
    uint32_t ErrorCode;
    uint32_t CommandLength;
    uint32_t ErrorInfoLength;
    uint32_t DataToDeviceTransferLength;
    uint32_t DataFromDeviceTransferLength;
    uint32_t TimeOutValue;
    uint32_t ErrorInfoOffset;
    uint32_t DataToDeviceBufferOffset;
    uint32_t DataFromDeviceBufferOffset;
    uint32_t CommandSpecific;
    uint32_t Reserved0;
    uint32_t FixedProtocolReturnData;
    uint32_t Reserved1[3];
    uint8_t Command[1];
};

constexpr uint32_t kStorageProtocolStructureVersion = 1;
constexpr uint32_t kStorageProtocolCommandFlagAdapterRequest = 0x80000000u;
constexpr uint32_t kStorageProtocolCommandLengthNvme = 0x40;
constexpr uint32_t kStorageProtocolSpecificNvmeAdminCommand = 0x01;
// Where the fixed part ends: the command starts here.
constexpr uint32_t kStorageProtocolCommandFixedSize = 80;

// ---- firmware download and activation through the inbox driver -------------------
// STORAGE_HW_FIRMWARE_DOWNLOAD: Version is the structure size (40), Size covers
// the structure and the image piece that follows at ImageBuffer.
struct StorageHwFirmwareDownload {
    uint32_t Version;
    uint32_t Size;
    uint32_t Flags;
    uint8_t Slot;
    uint8_t Reserved[3];
    alignas(8) uint64_t Offset;
    alignas(8) uint64_t BufferSize;
    uint8_t ImageBuffer[1];
};

// STORAGE_HW_FIRMWARE_ACTIVATE: Version and Size are both 16.
struct StorageHwFirmwareActivate {
    uint32_t Version;
    uint32_t Size;
    uint32_t Flags;
    uint8_t Slot;
    uint8_t Reserved0[3];
};

constexpr uint32_t kStorageHwFirmwareDownloadFixedSize = 32;  // ImageBuffer starts here
constexpr uint32_t kStorageHwFirmwareRequestFlagController = 0x00000001u;
constexpr uint32_t kStorageHwFirmwareRequestFlagSwitchToExistingFirmware = 0x80000000u;

// The HRESULT a firmware activation may answer with when the new firmware
// runs only after a power cycle (STG_S_POWER_CYCLE_REQUIRED).
constexpr uint32_t kStgSPowerCycleRequired = 0x00030207u;

// ---- miniport requests ----------------------------------------------------------
// SRB_IO_CONTROL: header of an IOCTL_SCSI_MINIPORT request; the
// driver-specific payload follows it.
struct SrbIoControl {
    uint32_t HeaderLength;  // sizeof(SrbIoControl)
    uint8_t Signature[8];
    uint32_t Timeout;
    uint32_t ControlCode;
    uint32_t ReturnCode;
    uint32_t Length;  // bytes after the header
};

// ---- addresses and numbers ----------------------------------------------------------
// SCSI_ADDRESS (IOCTL_SCSI_GET_ADDRESS).
struct ScsiAddress {
    uint32_t Length;
    uint8_t PortNumber;
    uint8_t PathId;
    uint8_t TargetId;
    uint8_t Lun;
};

// STORAGE_DEVICE_NUMBER (IOCTL_STORAGE_GET_DEVICE_NUMBER).
struct StorageDeviceNumber {
    uint32_t DeviceType;  // kFileDeviceDisk for disks
    uint32_t DeviceNumber;
    uint32_t PartitionNumber;
};

// ---- device interface classes and properties ----------------------------------------
constexpr GUID kGuidDevInterfaceDisk = {0x53F56307, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};
constexpr GUID kGuidDevInterfaceUsbDevice = {0xA5DCBF10, 0x6530, 0x11D2,
                                             {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};
constexpr GUID kGuidDevInterfaceUsbHub = {0xF18A0E88, 0xC30C, 0x11D0, {0x88, 0x15, 0x00, 0xA0, 0xC9, 0x06, 0xBE, 0xD8}};
constexpr GUID kGuidDevInterfaceUsbHostController = {0x3ABF6F2D, 0x71C4, 0x462A,
                                                     {0x8A, 0x92, 0x1E, 0x68, 0x61, 0xE6, 0xAF, 0x27}};

// PCI Express link properties (DEVPROP_TYPE_UINT32). No import library defines
// these keys, so they are spelled out here.
constexpr GUID kPciDevicePropertyFmtid = {0x3AB22E31, 0x8264, 0x4B4E, {0x9A, 0xF5, 0xA8, 0xD2, 0xD8, 0xE3, 0x3E, 0x62}};
constexpr DEVPROPKEY kDevpkeyPciCurrentLinkSpeed = {kPciDevicePropertyFmtid, 9};
constexpr DEVPROPKEY kDevpkeyPciCurrentLinkWidth = {kPciDevicePropertyFmtid, 10};
constexpr DEVPROPKEY kDevpkeyPciMaxLinkSpeed = {kPciDevicePropertyFmtid, 11};
constexpr DEVPROPKEY kDevpkeyPciMaxLinkWidth = {kPciDevicePropertyFmtid, 12};
