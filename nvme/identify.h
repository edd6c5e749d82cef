// Finding and identifying the NVMe drives of the machine: which transport
// reaches each one, its Identify data, the controller family's vendor
// information, its volume letters and its port identity; and finding a drive
// again at its port after a firmware activation.
#pragma once

#include <cstdint>

#include "core/disk_info.h"

// Tries "\\.\PhysicalDrive0" to 19 into list (capacity records, all zeroed
// first), then attaches the volume letters C to Z. Number of records filled.
uint32_t EnumNvmeDisks(DiskInfo* list, uint32_t capacity);

// 1 identified; -1 the drive cannot be opened; -5 no transport or below
// 16 GB; the Identify Controller result when that fails.
int GetNvmeDiskInfo(const WCH* path, DiskInfo* disk);

// Opens the drive and fills the access context (transport, bus type, SCSI
// port, vendor command set). INVALID_HANDLE_VALUE when it cannot be opened.
// The caller closes the handle and access->hScsiPort (when valid).
HANDLE OpenNvmeDisk(const WCH* path, DiskAccess* access);

// The vendor information into the record; the MP-information read's result.
int DetailInfo(const DiskAccess* access, HANDLE drive, DiskInfo* disk);

// Finds the drive at disk->iPort again, waiting up to attempts seconds, and
// identifies it into the same record. 1 found and identified, else 0.
int GetDiskInfoByPortID(DiskInfo* disk, int attempts);

// Decimal gigabytes of a namespace. 512- and 4096-byte sectors follow the
// IDEMA block-count rule; every other sector size uses the byte form of the
// same rule, (bytes - 10,838,016) / 1,000,194,048, which both block-count
// forms equal exactly. Below 1,000,000,000 bytes, or sector size 0: 0.
uint32_t CapacityToGB(uint32_t sector_size, uint64_t bytes);

// Capacity of Identify Namespace data (LBA format 0, NSZE); 0 when the
// format's LBADS is outside 9..31 or the byte count does not fit 64 bits.
// *sector_size gets the sector size (0 when LBADS is out of range).
uint32_t NamespaceCapacityGB(const uint8_t* namespace_data, uint32_t* sector_size, uint64_t* blocks);

// The driver service of the disk's parent device into out (128 units), empty
// when the parent is not found or its name does not fit.
void ReadParentServiceName(const WCH* path, WCH* out);

// PCI Express link speed and width of the disk's parent into the record.
void ReadLinkProperties(const WCH* path, DiskInfo* disk);
