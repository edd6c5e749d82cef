#include "nvme/nvme_command.h"

#include <cstring>

static NvmeCommand Empty(uint8_t opcode) {
    NvmeCommand c;
    std::memset(&c, 0, sizeof c);
    c.CDW0 = opcode;
    return c;
}

NvmeCommand BuildIdentifyCommand(uint32_t cns, uint32_t nsid) {
    NvmeCommand c = Empty(kNvmeOpIdentify);
    c.NSID = nsid;
    c.CDW10 = cns;
    return c;
}

NvmeCommand BuildGetLogPageCommand(uint32_t log_page_id, uint32_t length) {
    NvmeCommand c = Empty(kNvmeOpGetLogPage);
    c.NSID = 0xFFFFFFFFu;
    // NUMDL (bits 16-31) is the zero-based dword count.
    c.CDW10 = log_page_id | (((length / 4) - 1) << 16);
    return c;
}

NvmeCommand BuildFwCommitCommand(uint32_t slot, uint32_t action) {
    NvmeCommand c = Empty(kNvmeOpFwCommit);
    c.CDW10 = slot + action * 8;  // commit action sits in bits 3-5
    return c;
}

NvmeCommand BuildFwDownloadCommand(uint32_t offset, uint32_t length) {
    NvmeCommand c = Empty(kNvmeOpFwDownload);
    c.CDW10 = (length - 1) / 4;
    c.CDW11 = offset / 4;
    return c;
}

NvmeCommand BuildVendorCommand(uint8_t opcode, uint32_t cdw12, uint32_t cdw13, uint32_t cdw14, uint32_t cdw15,
                               uint32_t length) {
    NvmeCommand c = Empty(opcode);
    c.NSID = 0xFFFFFFFFu;
    c.CDW2 = kVendorKeyWord;
    c.CDW10 = length / 4;
    c.CDW12 = cdw12;
    c.CDW13 = cdw13;
    c.CDW14 = cdw14;
    c.CDW15 = cdw15;
    return c;
}
