// The request blocks as the Linux host builds them must have the 64-bit
// Windows layout, byte for byte: the simulated machine decodes them exactly
// as a 64-bit driver would, and the Windows builds pin the same structures
// against the SDK headers (platform/win32/layout_checks_win.cpp).
// Compile-time only: a wrong number fails the build of this test binary.
#include <cstddef>

#include "platform/storage_layouts.h"

static_assert(sizeof(void*) == 8, "the host follows the 64-bit Windows layout");

static_assert(sizeof(ScsiPassThroughDirect) == 56, "SPTD");
static_assert(offsetof(ScsiPassThroughDirect, DataIn) == 8 && offsetof(ScsiPassThroughDirect, DataTransferLength) == 12 &&
                  offsetof(ScsiPassThroughDirect, TimeOutValue) == 16 &&
                  offsetof(ScsiPassThroughDirect, DataBuffer) == 24 &&
                  offsetof(ScsiPassThroughDirect, SenseInfoOffset) == 32 && offsetof(ScsiPassThroughDirect, Cdb) == 36,
              "SPTD offsets");
static_assert(sizeof(ScsiPassThroughDirectWithSense) == 128 &&
                  offsetof(ScsiPassThroughDirectWithSense, Filler) == 56 &&
                  offsetof(ScsiPassThroughDirectWithSense, SenseBuffer) == 60,
              "SPTD block");

static_assert(sizeof(AtaPassThroughDirect) == 48, "APTD");
static_assert(offsetof(AtaPassThroughDirect, AtaFlags) == 2 && offsetof(AtaPassThroughDirect, PathId) == 4 &&
                  offsetof(AtaPassThroughDirect, DataTransferLength) == 8 &&
                  offsetof(AtaPassThroughDirect, TimeOutValue) == 12 &&
                  offsetof(AtaPassThroughDirect, ReservedAsUlong) == 16 &&
                  offsetof(AtaPassThroughDirect, DataBuffer) == 24 &&
                  offsetof(AtaPassThroughDirect, PreviousTaskFile) == 32 &&
                  offsetof(AtaPassThroughDirect, CurrentTaskFile) == 40,
              "APTD offsets");

static_assert(sizeof(StoragePropertyQuery) == 12 && offsetof(StoragePropertyQuery, QueryType) == 4 &&
                  offsetof(StoragePropertyQuery, AdditionalParameters) == 8,
              "STORAGE_PROPERTY_QUERY");
static_assert(sizeof(StorageDeviceDescriptor) == 40 && offsetof(StorageDeviceDescriptor, VendorIdOffset) == 12 &&
                  offsetof(StorageDeviceDescriptor, SerialNumberOffset) == 24 &&
                  offsetof(StorageDeviceDescriptor, BusType) == 28 &&
                  offsetof(StorageDeviceDescriptor, RawPropertiesLength) == 32 &&
                  offsetof(StorageDeviceDescriptor, RawDeviceProperties) == 36,
              "STORAGE_DEVICE_DESCRIPTOR");
static_assert(sizeof(StorageProtocolSpecificData) == 40 &&
                  offsetof(StorageProtocolSpecificData, ProtocolDataOffset) == 16 &&
                  offsetof(StorageProtocolSpecificData, ProtocolDataLength) == 20 &&
                  offsetof(StorageProtocolSpecificData, FixedProtocolReturnData) == 24,
              "STORAGE_PROTOCOL_SPECIFIC_DATA");
static_assert(sizeof(StorageProtocolDataDescriptor) == 48 &&
                  offsetof(StorageProtocolDataDescriptor, ProtocolSpecificData) == 8,
              "STORAGE_PROTOCOL_DATA_DESCRIPTOR");

static_assert(sizeof(StorageProtocolCommand) == 84 && offsetof(StorageProtocolCommand, ProtocolType) == 8 &&
                  offsetof(StorageProtocolCommand, CommandLength) == 24 &&
                  offsetof(StorageProtocolCommand, DataFromDeviceTransferLength) == 36 &&
                  offsetof(StorageProtocolCommand, TimeOutValue) == 40 &&
                  offsetof(StorageProtocolCommand, ErrorInfoOffset) == 44 &&
                  offsetof(StorageProtocolCommand, DataFromDeviceBufferOffset) == 52 &&
                  offsetof(StorageProtocolCommand, CommandSpecific) == 56 &&
                  offsetof(StorageProtocolCommand, FixedProtocolReturnData) == 64 &&
                  offsetof(StorageProtocolCommand, Command) == kStorageProtocolCommandFixedSize &&
                  kStorageProtocolCommandFixedSize == 80,
              "STORAGE_PROTOCOL_COMMAND");
static_assert(sizeof(StorageHwFirmwareDownload) == 40 && offsetof(StorageHwFirmwareDownload, Slot) == 12 &&
                  offsetof(StorageHwFirmwareDownload, Offset) == 16 &&
                  offsetof(StorageHwFirmwareDownload, BufferSize) == 24 &&
                  offsetof(StorageHwFirmwareDownload, ImageBuffer) == kStorageHwFirmwareDownloadFixedSize &&
                  kStorageHwFirmwareDownloadFixedSize == 32,
              "STORAGE_HW_FIRMWARE_DOWNLOAD");
static_assert(sizeof(StorageHwFirmwareActivate) == 16 && offsetof(StorageHwFirmwareActivate, Slot) == 12,
              "STORAGE_HW_FIRMWARE_ACTIVATE");

static_assert(sizeof(SrbIoControl) == 28 && offsetof(SrbIoControl, Signature) == 4 &&
                  offsetof(SrbIoControl, Timeout) == 12 && offsetof(SrbIoControl, ControlCode) == 16 &&
                  offsetof(SrbIoControl, ReturnCode) == 20 && offsetof(SrbIoControl, Length) == 24,
              "SRB_IO_CONTROL");
static_assert(sizeof(ScsiAddress) == 8 && offsetof(ScsiAddress, PortNumber) == 4 && offsetof(ScsiAddress, Lun) == 7,
              "SCSI_ADDRESS");
static_assert(sizeof(StorageDeviceNumber) == 12 && offsetof(StorageDeviceNumber, PartitionNumber) == 8,
              "STORAGE_DEVICE_NUMBER");

// The host's own copies of the setup structures follow the 64-bit layout too.
static_assert(sizeof(SP_DEVINFO_DATA) == 32 && sizeof(SP_DEVICE_INTERFACE_DATA) == 32, "setup data");
static_assert(kInterfaceDetailFixedSize == 8 && kInterfaceDetailPathOffset == 4, "interface detail");
static_assert(sizeof(DEVPROPKEY) == 20, "DEVPROPKEY");
