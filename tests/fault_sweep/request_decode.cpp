#include "tests/fault_sweep/request_decode.h"

#include <cstddef>
#include <cstdio>
#include <cstring>

#include "platform/storage_layouts.h"

namespace {

uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
    if (at + 4 > b.size()) return 0;
    return uint32_t(b[at]) | (uint32_t(b[at + 1]) << 8) | (uint32_t(b[at + 2]) << 16) | (uint32_t(b[at + 3]) << 24);
}
uint64_t Le64(const std::vector<uint8_t>& b, size_t at) { return Le32(b, at) | (uint64_t{Le32(b, at + 4)} << 32); }

std::vector<uint8_t> Slice(const std::vector<uint8_t>& b, size_t at, size_t length) {
    if (at >= b.size()) return {};
    return std::vector<uint8_t>(b.begin() + at, b.begin() + std::min(b.size(), at + length));
}

std::string Hex(uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*X", digits, value);
    return text;
}

// What one NVMe admin command is, from its 64 bytes.
ReqKind NvmeKind(const uint8_t* c) {
    uint32_t cdw12 = uint32_t(c[48]) | (uint32_t(c[49]) << 8), cdw13 = c[52];
    switch (c[0]) {
        case 0x11: return ReqKind::kDownload;
        case 0x10: return ReqKind::kCommit;
        case 0xE6: return cdw12 == 1 ? ReqKind::kConfigRead : ReqKind::kOther;
        case 0xFE:
            if (cdw12 == 0x82 && cdw13 == 1) return ReqKind::kConfigRead;
            if (cdw12 == 0x63) return ReqKind::kMpRead;
            return ReqKind::kOther;
        case 0xE5:
        case 0xFD: return ReqKind::kConfigWrite;
        case 0xF2: return ReqKind::kMpRead;
        case 0xF1: return ReqKind::kMpWrite;
        default: return ReqKind::kOther;
    }
}

uint64_t NvmeDownloadOffset(const uint8_t* c) {
    return 4 * uint64_t(uint32_t(c[44]) | (uint32_t(c[45]) << 8) | (uint32_t(c[46]) << 16) | (uint32_t(c[47]) << 24));
}

ReqKind AtaKind(uint8_t command, uint8_t features) {
    if (command == 0x92) return ReqKind::kDownload;
    if (command == 0xC3 && features == 2) return ReqKind::kConfigRead;
    if (command == 0xC2 && features == 1) return ReqKind::kConfigWrite;
    return ReqKind::kOther;
}

struct Bridge {
    bool has = false;
    uint8_t command[64] = {};
};

void FromCommand(DecodedRequest& d, const uint8_t* command, const char* name) {
    d.kind = NvmeKind(command);
    d.label += std::string(" ") + name + " op " + Hex(command[0], 2);
}

}  // namespace

const char* KindName(ReqKind kind) {
    switch (kind) {
        case ReqKind::kOther: return "other";
        case ReqKind::kDownload: return "download";
        case ReqKind::kCommit: return "commit";
        case ReqKind::kConfigRead: return "config-read";
        case ReqKind::kConfigWrite: return "config-write";
        case ReqKind::kMpRead: return "mp-read";
        case ReqKind::kMpWrite: return "mp-write";
        case ReqKind::kPower: return "power";
    }
    return "?";
}

std::vector<DecodedRequest> DecodeRequests(const std::vector<sim::RequestRecord>& records, bool sata) {
    std::vector<DecodedRequest> out;
    Bridge bridge;
    const size_t cdb_at = offsetof(ScsiPassThroughDirect, Cdb);
    const size_t task_at = offsetof(AtaPassThroughDirect, CurrentTaskFile);
    for (const sim::RequestRecord& r : records) {
        if (r.path.empty()) continue;  // not a handle of the machine: the countdown does not count it
        DecodedRequest d;
        d.failed = !r.result;
        d.label = Hex(r.ioctl, 8);
        switch (r.ioctl) {
            case kIoctlStorageProtocolCommand: {
                if (r.in.size() < kStorageProtocolCommandFixedSize + 64) break;
                FromCommand(d, r.in.data() + kStorageProtocolCommandFixedSize, "native");
                uint32_t to_length = Le32(r.in, 32), from_length = Le32(r.in, 36);
                if (to_length) d.data = Slice(r.in, Le32(r.in, 48), to_length);
                if (from_length) d.data = Slice(r.out, Le32(r.in, 52), from_length);
                break;
            }
            case kIoctlStorageFirmwareDownload:
                d.kind = ReqKind::kDownload;
                d.offset = Le64(r.in, offsetof(StorageHwFirmwareDownload, Offset));
                d.data = Slice(r.in, kStorageHwFirmwareDownloadFixedSize,
                               Le64(r.in, offsetof(StorageHwFirmwareDownload, BufferSize)));
                d.label += " native download";
                break;
            case kIoctlStorageFirmwareActivate:
                d.kind = ReqKind::kCommit;
                d.label += " native activate";
                break;
            case kIoctlScsiMiniport: {
                if (r.in.size() >= 12 && std::memcmp(r.in.data() + 4, "IntelNvm", 8) == 0 && r.in.size() >= 164) {
                    FromCommand(d, r.in.data() + 32, "rst");
                    uint32_t length = Le32(r.in, 120);
                    bool write = d.kind == ReqKind::kConfigWrite || d.kind == ReqKind::kMpWrite;
                    d.data = Slice(write ? r.in : r.out, 164, length);
                } else if (r.in.size() >= 44 && std::memcmp(r.in.data() + 4, "IntelFw ", 8) == 0) {
                    uint32_t function = Le32(r.in, 40);
                    if (function == 2) {
                        d.kind = ReqKind::kDownload;
                        d.offset = Le64(r.in, 64);
                        d.data = Slice(r.in, 88, Le64(r.in, 72));
                        d.label += " rst download";
                    } else if (function == 3) {
                        d.kind = ReqKind::kCommit;
                        d.label += " rst activate";
                    }
                }
                break;
            }
            case kIoctlAtaPassThroughDirect: {
                if (r.in.size() < task_at + 8) break;
                uint8_t command = r.in[task_at + 6], features = r.in[task_at + 0];
                d.kind = AtaKind(command, features);
                d.label += " ata " + Hex(command, 2) + "/" + Hex(features, 2);
                if (r.result && r.out.size() >= task_at + 8 && (r.out[task_at + 6] & 0x09)) d.failed = true;
                if (d.kind == ReqKind::kDownload) {
                    uint32_t blocks = r.in[task_at + 3] | (uint32_t(r.in[task_at + 4]) << 8);
                    d.offset = uint64_t{blocks} * 512;
                }
                d.data = d.kind == ReqKind::kConfigRead ? r.data_in : r.data_out;
                break;
            }
            case kIoctlScsiPassThroughDirect: {
                if (r.in.size() < cdb_at + 16) break;
                const uint8_t* cdb = r.in.data() + cdb_at;
                if (r.result && r.out.size() > 2 && r.out[offsetof(ScsiPassThroughDirect, ScsiStatus)] == 2)
                    d.failed = true;
                d.label += " cdb " + Hex(cdb[0], 2) + Hex(cdb[1], 2) + Hex(cdb[2], 2) + Hex(cdb[3], 2);
                if (sata && (cdb[0] == 0xA1 || cdb[0] == 0x85)) {
                    bool sixteen = cdb[0] == 0x85;
                    uint8_t command = sixteen ? cdb[14] : cdb[9], features = sixteen ? cdb[4] : cdb[3];
                    d.kind = AtaKind(command, features);
                    if (d.kind == ReqKind::kDownload)
                        d.offset = 512 * uint64_t(sixteen ? (cdb[10] | (cdb[12] << 8)) : (cdb[6] | (cdb[7] << 8)));
                    d.data = d.kind == ReqKind::kConfigRead ? r.data_in : r.data_out;
                    break;
                }
                if (sata) break;
                // NVMe bridges: which phase of which command.
                const uint8_t* command = nullptr;
                if (cdb[1] == 0x5A && (cdb[0] == 0xEA || cdb[0] == 0xEB)) {  // ASMedia
                    if (cdb[2] == 0x80) {
                        d.phase = 1;
                        if (r.data_out.size() >= 64) std::memcpy(bridge.command, r.data_out.data(), 64);
                        bridge.has = r.data_out.size() >= 64;
                    } else if (cdb[2] == 0x81) {
                        d.phase = 2;
                    } else if (cdb[2] == 0x82) {
                        d.phase = 3;
                    } else {
                        d.kind = ReqKind::kPower;
                        d.label += " asm power";
                        break;
                    }
                    command = bridge.has ? bridge.command : nullptr;
                } else if (cdb[0] == 0xA1) {  // JMicron
                    if (cdb[1] == 0x80) {
                        d.phase = 1;
                        bridge.has = r.data_out.size() >= 73;
                        if (bridge.has) std::memcpy(bridge.command, r.data_out.data() + 8, 64);
                        // The power request carries no command, only the mode behind it.
                        bool empty = true;
                        for (int i = 0; i < 64 && bridge.has; ++i) empty = empty && bridge.command[i] == 0;
                        if (bridge.has && empty && r.data_out[72]) bridge.command[0] = 0xFF;
                    } else if (cdb[1] == 0x8F) {
                        d.phase = 3;
                    } else {
                        d.phase = 2;
                    }
                    command = bridge.has ? bridge.command : nullptr;
                    if (command && command[0] == 0xFF) {
                        d.kind = ReqKind::kPower;
                        d.label += " jmi power p" + std::to_string(d.phase);
                        break;
                    }
                } else if (cdb[0] == 0xE5 || cdb[0] == 0xE4) {  // Realtek
                    if (cdb[3] == 0xF7) {
                        d.phase = 1;
                        bridge.has = r.data_out.size() >= 64;
                        if (bridge.has) std::memcpy(bridge.command, r.data_out.data(), 64);
                    } else if (cdb[3] == 0xF8) {
                        d.phase = 2;
                    } else {
                        d.phase = 3;
                    }
                    command = bridge.has ? bridge.command : nullptr;
                }
                if (!command) break;
                FromCommand(d, command, "bridge");
                d.label += " p" + std::to_string(d.phase);
                d.data_phase = d.phase != 3;
                if (d.kind == ReqKind::kDownload) d.offset = NvmeDownloadOffset(command);
                if (d.phase == 2) {
                    bool write = d.kind == ReqKind::kDownload || d.kind == ReqKind::kConfigWrite ||
                                 d.kind == ReqKind::kMpWrite;
                    d.data = write ? r.data_out : r.data_in;
                }
                break;
            }
            default: break;
        }
        if (d.kind != ReqKind::kOther) d.label += std::string(" ") + KindName(d.kind);
        // A bridge's phase 1 carries the command, not the data.
        if (d.phase == 1) d.data.clear();
        out.push_back(std::move(d));
    }
    return out;
}
