// Pins our request blocks (platform/storage_layouts.h) to the SDK structures
// the drivers are written against: same size, same offset for every field,
// same IOCTL codes and constants, on both Windows architectures. The 32-bit
// product additionally gets the absolute numbers written down, so a header or
// compiler change that moves a field breaks the build instead of a drive.
// Nothing here generates code.
#include <cstddef>

#include "platform/os_types.h"
#include "platform/storage_layouts.h"
#include "platform/win32/sdk_extras_win.h"

namespace {

#define QN_SAME_SIZE(ours, theirs) static_assert(sizeof(ours) == sizeof(theirs), #ours " size differs from " #theirs)
#define QN_SAME_FIELD(ours, theirs, field)                                                    \
    static_assert(offsetof(ours, field) == offsetof(theirs, field), #ours "::" #field " offset"); \
    static_assert(sizeof(ours::field) == sizeof(theirs::field), #ours "::" #field " size")

// ---- SCSI_PASS_THROUGH_DIRECT -----------------------------------------------
QN_SAME_SIZE(ScsiPassThroughDirect, SCSI_PASS_THROUGH_DIRECT);
QN_SAME_FIELD(ScsiPassThroughDirect, SCSI_PASS_THROUGH_DIRECT, Length);
QN_SAME_FIELD(ScsiPassThroughDirect, SCSI_PASS_THROUGH_DIRECT, ScsiStatus);
QN_SAME_FIELD(ScsiPassThroughDirect, SCSI_PASS_THROUGH_DIRECT, PathId);
QN_SAME_FIELD(ScsiPassThroughDirect, SCSI_PASS_THROUGH_DIRECT, TargetId);
QN_SAME_FIELD(ScsiPassThroughDirect, SCSI_PASS_THROUGH_DIRECT, Lun);
QN_SAME_FIELD(ScsiPassThroughDirect, SCSI_PASS_THROUGH_DIRECT, CdbLength);
QN_SAME_FIELD(ScsiPassThroughDirect, SCSI_PASS_THROUGH_DIRECT, SenseInfoLength);
QN_SAME_FIELD(ScsiPassThroughDirect, SCSI_PASS_THROUGH_DIRECT, DataIn);
QN_SAME_FIELD(ScsiPassThroughDirect, SCSI_PASS_THROUGH_DIRECT, DataTransferLength);
QN_SAME_FIELD(ScsiPassThroughDirect, SCSI_PASS_THROUGH_DIRECT, TimeOutValue);
QN_SAME_FIELD(ScsiPassThroughDirect, SCSI_PASS_THROUGH_DIRECT, DataBuffer);
QN_SAME_FIELD(ScsiPassThroughDirect, SCSI_PASS_THROUGH_DIRECT, SenseInfoOffset);
QN_SAME_FIELD(ScsiPassThroughDirect, SCSI_PASS_THROUGH_DIRECT, Cdb);

// The block as drivers' sample code declares it.
struct SdkSptdWithSense {
    SCSI_PASS_THROUGH_DIRECT sptd;
    ULONG Filler;
    UCHAR SenseBuffer[64];
};
QN_SAME_SIZE(ScsiPassThroughDirectWithSense, SdkSptdWithSense);
QN_SAME_FIELD(ScsiPassThroughDirectWithSense, SdkSptdWithSense, Filler);
QN_SAME_FIELD(ScsiPassThroughDirectWithSense, SdkSptdWithSense, SenseBuffer);

// ---- ATA_PASS_THROUGH_DIRECT --------------------------------------------------
QN_SAME_SIZE(AtaPassThroughDirect, ATA_PASS_THROUGH_DIRECT);
QN_SAME_FIELD(AtaPassThroughDirect, ATA_PASS_THROUGH_DIRECT, Length);
QN_SAME_FIELD(AtaPassThroughDirect, ATA_PASS_THROUGH_DIRECT, AtaFlags);
QN_SAME_FIELD(AtaPassThroughDirect, ATA_PASS_THROUGH_DIRECT, PathId);
QN_SAME_FIELD(AtaPassThroughDirect, ATA_PASS_THROUGH_DIRECT, TargetId);
QN_SAME_FIELD(AtaPassThroughDirect, ATA_PASS_THROUGH_DIRECT, Lun);
QN_SAME_FIELD(AtaPassThroughDirect, ATA_PASS_THROUGH_DIRECT, ReservedAsUchar);
QN_SAME_FIELD(AtaPassThroughDirect, ATA_PASS_THROUGH_DIRECT, DataTransferLength);
QN_SAME_FIELD(AtaPassThroughDirect, ATA_PASS_THROUGH_DIRECT, TimeOutValue);
QN_SAME_FIELD(AtaPassThroughDirect, ATA_PASS_THROUGH_DIRECT, ReservedAsUlong);
QN_SAME_FIELD(AtaPassThroughDirect, ATA_PASS_THROUGH_DIRECT, DataBuffer);
QN_SAME_FIELD(AtaPassThroughDirect, ATA_PASS_THROUGH_DIRECT, PreviousTaskFile);
QN_SAME_FIELD(AtaPassThroughDirect, ATA_PASS_THROUGH_DIRECT, CurrentTaskFile);

// ---- storage property queries -------------------------------------------------
QN_SAME_SIZE(StoragePropertyQuery, STORAGE_PROPERTY_QUERY);
QN_SAME_FIELD(StoragePropertyQuery, STORAGE_PROPERTY_QUERY, PropertyId);
QN_SAME_FIELD(StoragePropertyQuery, STORAGE_PROPERTY_QUERY, QueryType);
QN_SAME_FIELD(StoragePropertyQuery, STORAGE_PROPERTY_QUERY, AdditionalParameters);

QN_SAME_SIZE(StorageDeviceDescriptor, STORAGE_DEVICE_DESCRIPTOR);
QN_SAME_FIELD(StorageDeviceDescriptor, STORAGE_DEVICE_DESCRIPTOR, Version);
QN_SAME_FIELD(StorageDeviceDescriptor, STORAGE_DEVICE_DESCRIPTOR, Size);
QN_SAME_FIELD(StorageDeviceDescriptor, STORAGE_DEVICE_DESCRIPTOR, DeviceType);
QN_SAME_FIELD(StorageDeviceDescriptor, STORAGE_DEVICE_DESCRIPTOR, DeviceTypeModifier);
QN_SAME_FIELD(StorageDeviceDescriptor, STORAGE_DEVICE_DESCRIPTOR, RemovableMedia);
QN_SAME_FIELD(StorageDeviceDescriptor, STORAGE_DEVICE_DESCRIPTOR, CommandQueueing);
QN_SAME_FIELD(StorageDeviceDescriptor, STORAGE_DEVICE_DESCRIPTOR, VendorIdOffset);
QN_SAME_FIELD(StorageDeviceDescriptor, STORAGE_DEVICE_DESCRIPTOR, ProductIdOffset);
QN_SAME_FIELD(StorageDeviceDescriptor, STORAGE_DEVICE_DESCRIPTOR, ProductRevisionOffset);
QN_SAME_FIELD(StorageDeviceDescriptor, STORAGE_DEVICE_DESCRIPTOR, SerialNumberOffset);
QN_SAME_FIELD(StorageDeviceDescriptor, STORAGE_DEVICE_DESCRIPTOR, BusType);
QN_SAME_FIELD(StorageDeviceDescriptor, STORAGE_DEVICE_DESCRIPTOR, RawPropertiesLength);
QN_SAME_FIELD(StorageDeviceDescriptor, STORAGE_DEVICE_DESCRIPTOR, RawDeviceProperties);

QN_SAME_SIZE(StorageProtocolSpecificData, STORAGE_PROTOCOL_SPECIFIC_DATA);
QN_SAME_FIELD(StorageProtocolSpecificData, STORAGE_PROTOCOL_SPECIFIC_DATA, ProtocolType);
QN_SAME_FIELD(StorageProtocolSpecificData, STORAGE_PROTOCOL_SPECIFIC_DATA, DataType);
QN_SAME_FIELD(StorageProtocolSpecificData, STORAGE_PROTOCOL_SPECIFIC_DATA, ProtocolDataRequestValue);
QN_SAME_FIELD(StorageProtocolSpecificData, STORAGE_PROTOCOL_SPECIFIC_DATA, ProtocolDataRequestSubValue);
QN_SAME_FIELD(StorageProtocolSpecificData, STORAGE_PROTOCOL_SPECIFIC_DATA, ProtocolDataOffset);
QN_SAME_FIELD(StorageProtocolSpecificData, STORAGE_PROTOCOL_SPECIFIC_DATA, ProtocolDataLength);
QN_SAME_FIELD(StorageProtocolSpecificData, STORAGE_PROTOCOL_SPECIFIC_DATA, FixedProtocolReturnData);
QN_SAME_FIELD(StorageProtocolSpecificData, STORAGE_PROTOCOL_SPECIFIC_DATA, ProtocolDataRequestSubValue2);
QN_SAME_FIELD(StorageProtocolSpecificData, STORAGE_PROTOCOL_SPECIFIC_DATA, ProtocolDataRequestSubValue3);
QN_SAME_FIELD(StorageProtocolSpecificData, STORAGE_PROTOCOL_SPECIFIC_DATA, ProtocolDataRequestSubValue4);

QN_SAME_SIZE(StorageProtocolDataDescriptor, STORAGE_PROTOCOL_DATA_DESCRIPTOR);
QN_SAME_FIELD(StorageProtocolDataDescriptor, STORAGE_PROTOCOL_DATA_DESCRIPTOR, Version);
QN_SAME_FIELD(StorageProtocolDataDescriptor, STORAGE_PROTOCOL_DATA_DESCRIPTOR, Size);
QN_SAME_FIELD(StorageProtocolDataDescriptor, STORAGE_PROTOCOL_DATA_DESCRIPTOR, ProtocolSpecificData);

// ---- protocol command and firmware requests ---------------------------------------
QN_SAME_SIZE(StorageProtocolCommand, STORAGE_PROTOCOL_COMMAND);
QN_SAME_FIELD(StorageProtocolCommand, STORAGE_PROTOCOL_COMMAND, Version);
QN_SAME_FIELD(StorageProtocolCommand, STORAGE_PROTOCOL_COMMAND, Length);
QN_SAME_FIELD(StorageProtocolCommand, STORAGE_PROTOCOL_COMMAND, ProtocolType);
QN_SAME_FIELD(StorageProtocolCommand, STORAGE_PROTOCOL_COMMAND, Flags);
QN_SAME_FIELD(StorageProtocolCommand, STORAGE_PROTOCOL_COMMAND, ReturnStatus);
QN_SAME_FIELD(StorageProtocolCommand, STORAGE_PROTOCOL_COMMAND, ErrorCode);
QN_SAME_FIELD(StorageProtocolCommand, STORAGE_PROTOCOL_COMMAND, CommandLength);
QN_SAME_FIELD(StorageProtocolCommand, STORAGE_PROTOCOL_COMMAND, ErrorInfoLength);
QN_SAME_FIELD(StorageProtocolCommand, STORAGE_PROTOCOL_COMMAND, DataToDeviceTransferLength);
QN_SAME_FIELD(StorageProtocolCommand, STORAGE_PROTOCOL_COMMAND, DataFromDeviceTransferLength);
QN_SAME_FIELD(StorageProtocolCommand, STORAGE_PROTOCOL_COMMAND, TimeOutValue);
QN_SAME_FIELD(StorageProtocolCommand, STORAGE_PROTOCOL_COMMAND, ErrorInfoOffset);
QN_SAME_FIELD(StorageProtocolCommand, STORAGE_PROTOCOL_COMMAND, DataToDeviceBufferOffset);
QN_SAME_FIELD(StorageProtocolCommand, STORAGE_PROTOCOL_COMMAND, DataFromDeviceBufferOffset);
QN_SAME_FIELD(StorageProtocolCommand, STORAGE_PROTOCOL_COMMAND, CommandSpecific);
QN_SAME_FIELD(StorageProtocolCommand, STORAGE_PROTOCOL_COMMAND, Reserved0);
QN_SAME_FIELD(StorageProtocolCommand, STORAGE_PROTOCOL_COMMAND, FixedProtocolReturnData);
QN_SAME_FIELD(StorageProtocolCommand, STORAGE_PROTOCOL_COMMAND, Reserved1);
QN_SAME_FIELD(StorageProtocolCommand, STORAGE_PROTOCOL_COMMAND, Command);

QN_SAME_SIZE(StorageHwFirmwareDownload, STORAGE_HW_FIRMWARE_DOWNLOAD);
QN_SAME_FIELD(StorageHwFirmwareDownload, STORAGE_HW_FIRMWARE_DOWNLOAD, Version);
QN_SAME_FIELD(StorageHwFirmwareDownload, STORAGE_HW_FIRMWARE_DOWNLOAD, Size);
QN_SAME_FIELD(StorageHwFirmwareDownload, STORAGE_HW_FIRMWARE_DOWNLOAD, Flags);
QN_SAME_FIELD(StorageHwFirmwareDownload, STORAGE_HW_FIRMWARE_DOWNLOAD, Slot);
QN_SAME_FIELD(StorageHwFirmwareDownload, STORAGE_HW_FIRMWARE_DOWNLOAD, Reserved);
QN_SAME_FIELD(StorageHwFirmwareDownload, STORAGE_HW_FIRMWARE_DOWNLOAD, Offset);
QN_SAME_FIELD(StorageHwFirmwareDownload, STORAGE_HW_FIRMWARE_DOWNLOAD, BufferSize);
QN_SAME_FIELD(StorageHwFirmwareDownload, STORAGE_HW_FIRMWARE_DOWNLOAD, ImageBuffer);

QN_SAME_SIZE(StorageHwFirmwareActivate, STORAGE_HW_FIRMWARE_ACTIVATE);
QN_SAME_FIELD(StorageHwFirmwareActivate, STORAGE_HW_FIRMWARE_ACTIVATE, Version);
QN_SAME_FIELD(StorageHwFirmwareActivate, STORAGE_HW_FIRMWARE_ACTIVATE, Size);
QN_SAME_FIELD(StorageHwFirmwareActivate, STORAGE_HW_FIRMWARE_ACTIVATE, Flags);
QN_SAME_FIELD(StorageHwFirmwareActivate, STORAGE_HW_FIRMWARE_ACTIVATE, Slot);
QN_SAME_FIELD(StorageHwFirmwareActivate, STORAGE_HW_FIRMWARE_ACTIVATE, Reserved0);

// ---- miniport, addresses, numbers ---------------------------------------------------
QN_SAME_SIZE(SrbIoControl, SRB_IO_CONTROL);
QN_SAME_FIELD(SrbIoControl, SRB_IO_CONTROL, HeaderLength);
QN_SAME_FIELD(SrbIoControl, SRB_IO_CONTROL, Signature);
QN_SAME_FIELD(SrbIoControl, SRB_IO_CONTROL, Timeout);
QN_SAME_FIELD(SrbIoControl, SRB_IO_CONTROL, ControlCode);
QN_SAME_FIELD(SrbIoControl, SRB_IO_CONTROL, ReturnCode);
QN_SAME_FIELD(SrbIoControl, SRB_IO_CONTROL, Length);

QN_SAME_SIZE(ScsiAddress, SCSI_ADDRESS);
QN_SAME_FIELD(ScsiAddress, SCSI_ADDRESS, Length);
QN_SAME_FIELD(ScsiAddress, SCSI_ADDRESS, PortNumber);
QN_SAME_FIELD(ScsiAddress, SCSI_ADDRESS, PathId);
QN_SAME_FIELD(ScsiAddress, SCSI_ADDRESS, TargetId);
QN_SAME_FIELD(ScsiAddress, SCSI_ADDRESS, Lun);

QN_SAME_SIZE(StorageDeviceNumber, STORAGE_DEVICE_NUMBER);
QN_SAME_FIELD(StorageDeviceNumber, STORAGE_DEVICE_NUMBER, DeviceType);
QN_SAME_FIELD(StorageDeviceNumber, STORAGE_DEVICE_NUMBER, DeviceNumber);
QN_SAME_FIELD(StorageDeviceNumber, STORAGE_DEVICE_NUMBER, PartitionNumber);

// The device path inside SP_DEVICE_INTERFACE_DETAIL_DATA_W and the cbSize the
// API wants (it checks cbSize against its own sizeof and fails otherwise).
static_assert(kInterfaceDetailFixedSize == sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W), "interface detail cbSize");
static_assert(kInterfaceDetailPathOffset == offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath),
              "interface detail path offset");

// One privilege entry: the previous-state buffer is 16 bytes.
static_assert(sizeof(TOKEN_PRIVILEGES) == 16, "TOKEN_PRIVILEGES with one entry");

// ---- codes and constants ----------------------------------------------------------
static_assert(kIoctlStorageQueryProperty == IOCTL_STORAGE_QUERY_PROPERTY, "IOCTL_STORAGE_QUERY_PROPERTY");
static_assert(kIoctlStorageProtocolCommand == IOCTL_STORAGE_PROTOCOL_COMMAND, "IOCTL_STORAGE_PROTOCOL_COMMAND");
static_assert(kIoctlStorageFirmwareDownload == IOCTL_STORAGE_FIRMWARE_DOWNLOAD, "IOCTL_STORAGE_FIRMWARE_DOWNLOAD");
static_assert(kIoctlStorageFirmwareActivate == IOCTL_STORAGE_FIRMWARE_ACTIVATE, "IOCTL_STORAGE_FIRMWARE_ACTIVATE");
static_assert(kIoctlStorageGetDeviceNumber == IOCTL_STORAGE_GET_DEVICE_NUMBER, "IOCTL_STORAGE_GET_DEVICE_NUMBER");
static_assert(kIoctlScsiGetAddress == IOCTL_SCSI_GET_ADDRESS, "IOCTL_SCSI_GET_ADDRESS");
static_assert(kIoctlScsiPassThroughDirect == IOCTL_SCSI_PASS_THROUGH_DIRECT, "IOCTL_SCSI_PASS_THROUGH_DIRECT");
static_assert(kIoctlAtaPassThroughDirect == IOCTL_ATA_PASS_THROUGH_DIRECT, "IOCTL_ATA_PASS_THROUGH_DIRECT");
static_assert(kIoctlScsiMiniport == IOCTL_SCSI_MINIPORT, "IOCTL_SCSI_MINIPORT");
static_assert(kFileDeviceDisk == FILE_DEVICE_DISK, "FILE_DEVICE_DISK");

static_assert(kScsiIoctlDataOut == SCSI_IOCTL_DATA_OUT, "SCSI_IOCTL_DATA_OUT");
static_assert(kScsiIoctlDataIn == SCSI_IOCTL_DATA_IN, "SCSI_IOCTL_DATA_IN");
static_assert(kScsiIoctlDataUnspecified == SCSI_IOCTL_DATA_UNSPECIFIED, "SCSI_IOCTL_DATA_UNSPECIFIED");
static_assert(kAtaFlagsDrdyRequired == ATA_FLAGS_DRDY_REQUIRED, "ATA_FLAGS_DRDY_REQUIRED");
static_assert(kAtaFlagsDataIn == ATA_FLAGS_DATA_IN, "ATA_FLAGS_DATA_IN");
static_assert(kAtaFlagsDataOut == ATA_FLAGS_DATA_OUT, "ATA_FLAGS_DATA_OUT");

static_assert(kStorageDeviceProperty == StorageDeviceProperty, "StorageDeviceProperty");
static_assert(kStorageAdapterProtocolSpecificProperty == StorageAdapterProtocolSpecificProperty,
              "StorageAdapterProtocolSpecificProperty");
static_assert(kStorageDeviceProtocolSpecificProperty == StorageDeviceProtocolSpecificProperty,
              "StorageDeviceProtocolSpecificProperty");
static_assert(kPropertyStandardQuery == PropertyStandardQuery, "PropertyStandardQuery");
static_assert(kProtocolTypeNvme == ProtocolTypeNvme, "ProtocolTypeNvme");
static_assert(kNvmeDataTypeIdentify == NVMeDataTypeIdentify, "NVMeDataTypeIdentify");
static_assert(kNvmeDataTypeLogPage == NVMeDataTypeLogPage, "NVMeDataTypeLogPage");

static_assert(kStorageProtocolStructureVersion == STORAGE_PROTOCOL_STRUCTURE_VERSION, "protocol structure version");
static_assert(kStorageProtocolCommandFlagAdapterRequest == STORAGE_PROTOCOL_COMMAND_FLAG_ADAPTER_REQUEST,
              "adapter request flag");
static_assert(kStorageProtocolCommandLengthNvme == STORAGE_PROTOCOL_COMMAND_LENGTH_NVME, "NVMe command length");
static_assert(kStorageProtocolSpecificNvmeAdminCommand == STORAGE_PROTOCOL_SPECIFIC_NVME_ADMIN_COMMAND,
              "NVMe admin command");
static_assert(kStorageProtocolCommandFixedSize == offsetof(STORAGE_PROTOCOL_COMMAND, Command), "command position");
static_assert(kStorageHwFirmwareDownloadFixedSize == offsetof(STORAGE_HW_FIRMWARE_DOWNLOAD, ImageBuffer),
              "image position");
static_assert(kStorageHwFirmwareRequestFlagController == STORAGE_HW_FIRMWARE_REQUEST_FLAG_CONTROLLER,
              "controller flag");
static_assert(kStorageHwFirmwareRequestFlagSwitchToExistingFirmware ==
                  STORAGE_HW_FIRMWARE_REQUEST_FLAG_SWITCH_TO_EXISTING_FIRMWARE,
              "switch flag");
static_assert(kStgSPowerCycleRequired == static_cast<uint32_t>(STG_S_POWER_CYCLE_REQUIRED), "power cycle status");

static_assert(WM_UPDATE_RESULT == WM_APP + 0x25 && WM_UPDATE_PROGRESS == WM_APP + 0x30, "private messages");
static_assert(CHINESEBIG5_CHARSET == 136, "dialog font character set");

// ---- the 32-bit product, number by number -------------------------------------------
#if !defined(_WIN64)
static_assert(sizeof(ScsiPassThroughDirect) == 44, "SPTD is 44 bytes on 32-bit Windows");
static_assert(offsetof(ScsiPassThroughDirect, DataBuffer) == 20, "SPTD DataBuffer");
static_assert(offsetof(ScsiPassThroughDirect, SenseInfoOffset) == 24, "SPTD SenseInfoOffset");
static_assert(offsetof(ScsiPassThroughDirect, Cdb) == 28, "SPTD Cdb");
static_assert(sizeof(ScsiPassThroughDirectWithSense) == 112, "SPTD block is 112 bytes");
static_assert(offsetof(ScsiPassThroughDirectWithSense, Filler) == 44, "SPTD block filler");
static_assert(offsetof(ScsiPassThroughDirectWithSense, SenseBuffer) == 48, "sense data at 48");
static_assert(sizeof(AtaPassThroughDirect) == 40, "APTD is 40 bytes");
static_assert(offsetof(AtaPassThroughDirect, DataBuffer) == 20, "APTD DataBuffer");
static_assert(offsetof(AtaPassThroughDirect, PreviousTaskFile) == 24, "APTD PreviousTaskFile");
static_assert(offsetof(AtaPassThroughDirect, CurrentTaskFile) == 32, "APTD CurrentTaskFile");
static_assert(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W) == 6 && kInterfaceDetailFixedSize == 6,
              "interface detail cbSize is 6");
#else
static_assert(sizeof(ScsiPassThroughDirect) == 56 && offsetof(ScsiPassThroughDirect, Cdb) == 36, "SPTD x64");
static_assert(sizeof(ScsiPassThroughDirectWithSense) == 128 &&
                  offsetof(ScsiPassThroughDirectWithSense, SenseBuffer) == 60,
              "SPTD block x64");
static_assert(sizeof(AtaPassThroughDirect) == 48 && offsetof(AtaPassThroughDirect, CurrentTaskFile) == 40,
              "APTD x64");
static_assert(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W) == 8 && kInterfaceDetailFixedSize == 8,
              "interface detail cbSize x64");
#endif

// The same on both architectures.
static_assert(sizeof(StoragePropertyQuery) == 12 && offsetof(StoragePropertyQuery, AdditionalParameters) == 8,
              "STORAGE_PROPERTY_QUERY");
static_assert(sizeof(StorageDeviceDescriptor) == 40 && offsetof(StorageDeviceDescriptor, BusType) == 28,
              "STORAGE_DEVICE_DESCRIPTOR");
static_assert(sizeof(StorageProtocolSpecificData) == 40, "STORAGE_PROTOCOL_SPECIFIC_DATA");
static_assert(sizeof(StorageProtocolDataDescriptor) == 48 &&
                  offsetof(StorageProtocolDataDescriptor, ProtocolSpecificData) == 8,
              "STORAGE_PROTOCOL_DATA_DESCRIPTOR");
static_assert(sizeof(StorageProtocolCommand) == 84, "STORAGE_PROTOCOL_COMMAND");
static_assert(offsetof(StorageProtocolCommand, ProtocolType) == 8 && offsetof(StorageProtocolCommand, Flags) == 12 &&
                  offsetof(StorageProtocolCommand, ReturnStatus) == 16 &&
                  offsetof(StorageProtocolCommand, ErrorCode) == 20 &&
                  offsetof(StorageProtocolCommand, CommandLength) == 24 &&
                  offsetof(StorageProtocolCommand, ErrorInfoLength) == 28 &&
                  offsetof(StorageProtocolCommand, DataToDeviceTransferLength) == 32 &&
                  offsetof(StorageProtocolCommand, DataFromDeviceTransferLength) == 36 &&
                  offsetof(StorageProtocolCommand, TimeOutValue) == 40 &&
                  offsetof(StorageProtocolCommand, ErrorInfoOffset) == 44 &&
                  offsetof(StorageProtocolCommand, DataToDeviceBufferOffset) == 48 &&
                  offsetof(StorageProtocolCommand, DataFromDeviceBufferOffset) == 52 &&
                  offsetof(StorageProtocolCommand, CommandSpecific) == 56 &&
                  offsetof(StorageProtocolCommand, Reserved0) == 60 &&
                  offsetof(StorageProtocolCommand, FixedProtocolReturnData) == 64 &&
                  offsetof(StorageProtocolCommand, Reserved1) == 68 && offsetof(StorageProtocolCommand, Command) == 80,
              "STORAGE_PROTOCOL_COMMAND offsets");
static_assert(sizeof(StorageHwFirmwareDownload) == 40 && offsetof(StorageHwFirmwareDownload, Offset) == 16 &&
                  offsetof(StorageHwFirmwareDownload, BufferSize) == 24 &&
                  offsetof(StorageHwFirmwareDownload, ImageBuffer) == 32,
              "STORAGE_HW_FIRMWARE_DOWNLOAD");
static_assert(sizeof(StorageHwFirmwareActivate) == 16, "STORAGE_HW_FIRMWARE_ACTIVATE");
static_assert(sizeof(SrbIoControl) == 28, "SRB_IO_CONTROL");
static_assert(sizeof(ScsiAddress) == 8, "SCSI_ADDRESS");
static_assert(sizeof(StorageDeviceNumber) == 12, "STORAGE_DEVICE_NUMBER");

#undef QN_SAME_SIZE
#undef QN_SAME_FIELD

}  // namespace
