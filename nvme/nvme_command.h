// The 64-byte NVMe submission queue entry and the builders of the admin
// commands this tool sends. Builders are pure: they return the command, the
// transports carry it.
#pragma once

#include <cstdint>

#include "platform/os_types.h"

// NVME_COMMAND: every field little-endian. The data pointers stay zero; the
// transports carry the data themselves.
struct NvmeCommand {
    uint32_t CDW0;  // opcode in the low byte
    uint32_t NSID;
    uint32_t CDW2;
    uint32_t CDW3;
    uint32_t MPTR[2];
    uint32_t PRP1[2];
    uint32_t PRP2[2];
    uint32_t CDW10;
    uint32_t CDW11;
    uint32_t CDW12;
    uint32_t CDW13;
    uint32_t CDW14;
    uint32_t CDW15;
};
static_assert(sizeof(NvmeCommand) == 64, "NVMe submission entry is 64 bytes");

// Data direction handed to every transport.
enum : int {
    kNvmeNoData = 0,
    kNvmeWrite = 1,  // host to drive
    kNvmeRead = 2,   // drive to host
};

// Admin opcodes.
enum : uint8_t {
    kNvmeOpGetLogPage = 0x02,
    kNvmeOpIdentify = 0x06,
    kNvmeOpFwCommit = 0x10,
    kNvmeOpFwDownload = 0x11,
};

// The controller family's vendor commands carry this key word (CDW2, and
// CDW13 of the unlock) and, in the first set, the signature words.
constexpr uint32_t kVendorKeyWord = 0x776B7A71;
constexpr uint32_t kSignatureOrax = 0x5841524F;  // "ORAX" in CDW14
constexpr uint32_t kSignatureVelq = 0x514C4556;  // "VELQ" in CDW15

NvmeCommand BuildIdentifyCommand(uint32_t cns, uint32_t nsid);
NvmeCommand BuildGetLogPageCommand(uint32_t log_page_id, uint32_t length);
NvmeCommand BuildFwCommitCommand(uint32_t slot, uint32_t action);
// Firmware Image Download as the bridges want it: dword count zero-based,
// dword offset.
NvmeCommand BuildFwDownloadCommand(uint32_t offset, uint32_t length);
NvmeCommand BuildVendorCommand(uint8_t opcode, uint32_t cdw12, uint32_t cdw13, uint32_t cdw14, uint32_t cdw15,
                               uint32_t length);
