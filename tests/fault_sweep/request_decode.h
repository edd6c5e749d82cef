// What each recorded device request was, in the terms the sweep judges an
// update by: a piece of the firmware download, a commit, a read or write of
// the configuration block or the MP-information block, a bridge power
// cycle, or anything else; whether the drive failed it; and the bytes it
// carried. Bridge commands take three requests; phases 2 and 3 belong to
// the command phase 1 carried.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/sim/sim_machine.h"

enum class ReqKind { kOther, kDownload, kCommit, kConfigRead, kConfigWrite, kMpRead, kMpWrite, kPower };

struct DecodedRequest {
    ReqKind kind = ReqKind::kOther;
    int phase = 0;           // bridge envelopes: 1 command, 2 data, 3 completion; 0 one request
    bool data_phase = true;  // carries the command's data (or is the whole command)
    bool failed = false;     // IOCTL failed, CHECK CONDITION, or ATA status ERR
    uint64_t offset = 0;     // download pieces: byte offset in the image
    std::vector<uint8_t> data;  // download pieces and block writes: bytes sent; block reads: bytes back
    std::string label;       // short text for the table
};

// sata: the drive speaks ATA (A1 is ATA PASS-THROUGH, not the JMicron envelope).
std::vector<DecodedRequest> DecodeRequests(const std::vector<sim::RequestRecord>& records, bool sata);

const char* KindName(ReqKind kind);
