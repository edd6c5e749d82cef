// Finding and identifying the SATA drives of the machine: how ATA commands
// reach each one, its IDENTIFY DEVICE data, the controller family's two
// vendor blocks, its volume letters and its port identity; and finding a
// drive again at its port after a firmware download.
#pragma once

#include <cstdint>

#include "core/disk_info.h"

// Opens the drive and fills the access context: iBusType from the device
// descriptor, iCmdType 16 (SATA), 17 (USB), 18 (SCSI, iSCSI, SAS) or 255,
// hScsiPort invalid. The handle stays open even for 255 (the caller closes
// it); INVALID_HANDLE_VALUE when the path cannot be opened.
HANDLE OpenSataDisk(const WCH* path, DiskAccess* access);

// IDENTIFY DEVICE into buffer (zeroed first). 1 success.
int SataIdentifyDevice(const DiskAccess* access, HANDLE drive, BYTE* buffer, uint32_t length);

// 1 identified; -1 the path cannot be opened; -5 unsupported bus or below
// 16 GB; the IDENTIFY DEVICE result when that fails.
int GetSataDiskInfo(const WCH* path, DiskInfo* disk);

// The vendor detail block and the NAND geometry block into the record, each
// on its own; the second read's result.
int SataDetailInfo(const DiskAccess* access, HANDLE drive, DiskInfo* disk);

// Bits high..low of value, shifted down to bit 0.
uint16_t GetBitField(uint16_t value, int high, int low);

// Tries "\\.\PhysicalDrive0" to 19 into list (capacity records, all zeroed
// first), then attaches the volume letters C to Z. Number of records filled.
uint32_t EnumSataDisks(DiskInfo* list, uint32_t capacity);

// Finds the drive at disk->iPort again, once a second for up to attempts
// seconds (posting progress while it waits), and identifies it into the
// same record. 1 found and identified, else 0.
int GetSataDiskInfoByPortID(DiskInfo* disk, int attempts);
