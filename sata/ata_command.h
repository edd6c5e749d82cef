// ATA commands to SATA drives: the one path every command takes (ATA
// pass-through on a native SATA port, SCSI/ATA translation behind USB
// bridges and SCSI-class adapters), the firmware download in 4096-byte
// pieces, and the vendor reads and writes of the configuration block.
#pragma once

#include <cstdint>

#include "core/disk_info.h"

// ATA_PASS_THROUGH AtaFlags the tool uses.
constexpr uint16_t kAtaRead = 3;   // DRDY required + data in
constexpr uint16_t kAtaWrite = 5;  // DRDY required + data out

constexpr uint8_t kAtaIdentifyDevice = 0xEC;
constexpr uint8_t kAtaDownloadMicrocode = 0x92;
constexpr uint8_t kAtaVendorRead = 0xC3;
constexpr uint8_t kAtaVendorWrite = 0xC2;

// Features of the vendor commands.
constexpr uint8_t kVendorConfigWrite = 1;  // with 0xC2
constexpr uint8_t kVendorConfigRead = 2;   // with 0xC3
constexpr uint8_t kVendorDetailRead = 3;
constexpr uint8_t kVendorGeometryRead = 4;
// DOWNLOAD MICROCODE subcommand: with offsets, saved for immediate and future use.
constexpr uint8_t kMicrocodeWithOffsets = 3;

constexpr uint32_t kVendorBlock = 4096;
constexpr uint32_t kDownloadPiece = 4096;
// The buffer offset of DOWNLOAD MICROCODE is 16 bits of 512-byte blocks.
constexpr uint64_t kMaxSataImage = 65536ull * 512;

// One ATA command. cmd_type 17 and 18 go through SCSI/ATA translation only;
// any other (16) tries ATA pass-through first and translation once when that
// fails. Only LBA bits 0-27 reach the drive (bits 24-27 in the device
// register). A translation answered with CHECK CONDITION failed unless its
// sense key is NO SENSE or RECOVERED ERROR. 1 success, 0 failure.
int SataAtaCommand(int32_t cmd_type, HANDLE drive, uint8_t command, uint8_t features, uint16_t flags, uint64_t lba,
                   void* buffer, uint32_t length);

// The firmware image to the drive with DOWNLOAD MICROCODE, 4096 bytes at a
// time; progress 0..90 is posted to the dialog. 1 success; -4 a piece failed
// three times; 0 an image the command cannot carry (empty, not whole
// 512-byte blocks, or beyond the 16-bit block offset), refused before
// anything is sent.
int DISKLIB_SATA_Quillon(const DiskAccess* access, HANDLE drive, const BYTE* image, uint32_t size);

// The 4096-byte firmware configuration block, read and written back.
int SataGetFWConfig(const DiskAccess* access, HANDLE drive, BYTE* block);
int SataSetFWConfig(const DiskAccess* access, HANDLE drive, BYTE* block);
