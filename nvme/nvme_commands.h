// The NVMe command layer: builds each admin and vendor command, picks the
// transport by the drive's iCmdType and, for the firmware update, chunks the
// image and commits it. Results: 1 success, 0 where an operation says so,
// -4 a device request failed, -5 no transport for the command type.
#pragma once

#include <cstdint>

#include "core/disk_info.h"

constexpr uint32_t kVendorBlockSize = 4096;
constexpr uint32_t kFwChunkSize = 4096;

int NvmeIdentify(const DiskAccess* access, HANDLE drive, uint32_t cns, uint32_t nsid, void* buffer, uint32_t length);
int DISKLIB_NVME_GetLogPage(const DiskAccess* access, HANDLE drive, uint32_t log_page_id, void* buffer,
                            uint32_t length);
int NvmeVendorCommand(const DiskAccess* access, HANDLE drive, int direction, uint8_t opcode, uint32_t cdw12,
                      uint32_t cdw13, uint32_t cdw14, uint32_t cdw15, void* buffer, uint32_t length);

int DISKLIB_NVME_UnlockVSC(const DiskAccess* access, HANDLE drive);
// The vendor command set the drive speaks: 0 or 1. Never fails.
int DISKLIB_NVME_VSC_GetVSCtype(const DiskAccess* access, HANDLE drive);
int DISKLIB_NVME_VSC_GetDrvInfo(const DiskAccess* access, HANDLE drive, uint8_t out[kVendorBlockSize]);
int DISKLIB_NVME_VSC_GetMPInfo(const DiskAccess* access, HANDLE drive, uint8_t out[kVendorBlockSize]);
int DISKLIB_NVME_GetFWConfig(const DiskAccess* access, HANDLE drive, uint8_t out[kVendorBlockSize]);
int DISKLIB_NVME_SetFWConfig(const DiskAccess* access, HANDLE drive, const uint8_t block[kVendorBlockSize],
                             uint32_t check_value);
int DISKLIB_NVME_SetFWVersionByMpInfo(const DiskAccess* access, HANDLE drive, const WCH* version);
// Image of size bytes in 4096-byte pieces, progress posted to the dialog.
int DISKLIB_NVME_DownloadFW(const DiskAccess* access, HANDLE drive, const uint8_t* image, uint32_t size);
int DISKLIB_NVME_FWActive(const DiskAccess* access, HANDLE drive, uint32_t slot, uint32_t action);
