// Reading drive identities out of a trace's DeviceIoControl records.
#include "tools/quillon-tool/trace_drives.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>

#include "platform/trace/trace_format.h"

namespace {

constexpr uint32_t kIoctlGetDeviceNumber = 0x002D1080;
constexpr uint32_t kIoctlScsiGetAddress = 0x00041018;
constexpr size_t kBlock = 4096;

uint32_t Le16(const std::string& b, size_t at) {
    return at + 2 <= b.size() ? static_cast<uint32_t>(static_cast<unsigned char>(b[at]) |
                                                      static_cast<unsigned char>(b[at + 1]) << 8)
                              : 0;
}
uint32_t Le32(const std::string& b, size_t at) { return Le16(b, at) | Le16(b, at + 2) << 16; }
uint64_t Le64(const std::string& b, size_t at) { return Le32(b, at) | static_cast<uint64_t>(Le32(b, at + 4)) << 32; }

std::string Lower(std::string s) {
    for (char& c : s) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
    return s;
}

// A fixed-width ASCII field without its padding.
std::string AsciiField(const std::string& b, size_t at, size_t n) {
    std::string s = at + n <= b.size() ? b.substr(at, n) : std::string();
    s = s.substr(0, s.find('\0'));
    const size_t last = s.find_last_not_of(' ');
    s = last == std::string::npos ? std::string() : s.substr(0, last + 1);
    const size_t first = s.find_first_not_of(' ');
    return first == std::string::npos ? std::string() : s.substr(first);
}
std::string AtaField(const std::string& b, size_t at, size_t n) {
    std::string s = at + n <= b.size() ? b.substr(at, n) : std::string();
    for (size_t i = 0; i + 1 < s.size(); i += 2) std::swap(s[i], s[i + 1]);
    return AsciiField(s, 0, s.size());
}

// A block of zeros or of erased flash: nothing was answered.
bool IsBlank(const std::string& b) {
    return b.find_first_not_of('\0') == std::string::npos || b.find_first_not_of('\xFF') == std::string::npos;
}

// The NVMe command a request carries or opens (a tunnel's command phase),
// reduced to what tells the answers apart.
struct Command {
    bool known = false;
    uint8_t opcode = 0;
    uint32_t cdw10 = 0, cdw12 = 0, cdw13 = 0;
};
Command FromNvmeBlock(const std::string& c) {
    Command k;
    if (c.size() < 64) return k;
    k.known = true;
    k.opcode = static_cast<uint8_t>(c[0]);
    k.cdw10 = Le32(c, 40);
    k.cdw12 = Le32(c, 48);
    k.cdw13 = Le32(c, 52);
    return k;
}

struct Reader {
    std::vector<TraceDrive>* drives;
    std::vector<TraceVolume>* volumes;
    std::map<std::string, int> number_of_path;  // lowercase handle path → drive number
    std::map<std::string, Command> pending;     // tunnel command phase waiting for its data

    TraceDrive* Drive(int number) {
        for (TraceDrive& d : *drives)
            if (d.number == number) return &d;
        return nullptr;
    }
    TraceDrive* Add(int number, const std::string& path) {
        drives->emplace_back();
        drives->back().number = number;
        drives->back().path = path;
        return &drives->back();
    }
    // "\\.\PhysicalDriveN" names its drive; an interface path is known once
    // its device number was read.
    TraceDrive* DriveOfPath(const std::string& path) {
        const std::string lower = Lower(path);
        const char kPhysical[] = "\\\\.\\physicaldrive";
        if (lower.compare(0, sizeof kPhysical - 1, kPhysical) == 0 && lower.size() > sizeof kPhysical - 1) {
            const int number = std::atoi(lower.c_str() + sizeof kPhysical - 1);
            TraceDrive* d = Drive(number);
            return d != nullptr ? d : Add(number, path);
        }
        auto it = number_of_path.find(lower);
        return it == number_of_path.end() ? nullptr : Drive(it->second);
    }
    TraceDrive* DriveAtScsi(int port, int path_id) {
        for (TraceDrive& d : *drives)
            if (d.has_scsi && d.port == port && d.path_id == path_id) return &d;
        return nullptr;
    }

    void Number(const std::string& path, const std::string& out) {
        if (out.size() < 12 || Le32(out, 0) != 7) return;  // FILE_DEVICE_DISK
        const int number = static_cast<int>(Le32(out, 4));
        const std::string lower = Lower(path);
        // "\\.\C:": a volume on that disk.
        if (lower.size() == 6 && lower.compare(0, 4, "\\\\.\\") == 0 && lower[5] == ':') {
            for (const TraceVolume& v : *volumes)
                if (v.letter == static_cast<char>(lower[4] - 32)) return;
            volumes->push_back({static_cast<char>(lower[4] - 32), number, static_cast<int>(Le32(out, 8))});
            return;
        }
        if (Le32(out, 8) != 0) return;  // a partition, not the disk
        number_of_path[lower] = number;
        TraceDrive* d = Drive(number);
        if (d == nullptr) d = Add(number, path);
        if (lower.compare(0, 4, "\\\\?\\") == 0 && d->interface_path.empty()) d->interface_path = path;
    }

    // An answer block of the NVMe command k.
    void NvmeAnswer(TraceDrive* d, const Command& k, const std::string& data) {
        if (!k.known || data.size() < kBlock || IsBlank(data)) return;
        const std::string b = data.substr(0, kBlock);
        const uint32_t low = k.cdw10 & 0xFF;
        if (k.opcode == 0x06 && low == 1) {
            // The first answer describes the drive as it was at the start.
            if (d->nvme) return;
            d->nvme = true;
            d->pci_vendor = static_cast<uint16_t>(Le16(b, 0));
            d->pci_subsystem_vendor = static_cast<uint16_t>(Le16(b, 2));
            d->serial = AsciiField(b, 4, 20);
            d->model = AsciiField(b, 24, 40);
            d->firmware = AsciiField(b, 64, 8);
            d->slot_count = (static_cast<unsigned char>(b[260]) >> 1) & 7;
        } else if (k.opcode == 0x06 && low == 0 && d->blocks == 0) {
            const unsigned format = static_cast<unsigned char>(b[26]) & 0x0F;
            const unsigned lbads = static_cast<unsigned char>(b[128 + 4 * format + 2]);
            d->blocks = Le64(b, 0);
            if (lbads >= 9 && lbads <= 16) d->sector_size = 1u << lbads;
        } else if (k.opcode == 0x02 && low == 0xE1 && b[0] == 'Z') {
            Drvinfo(d, DrvInfoFrom::kLogPage, b);
        } else if (k.opcode == 0x02 && low == 0x03 && d->slots.empty()) {
            d->slots = b.substr(0, 512);
        } else if (k.opcode == 0xFE && k.cdw12 == 0x82 && k.cdw13 == 3 && b[0] == 'Z') {
            Drvinfo(d, DrvInfoFrom::kSecondSetCommand, b);
        } else if (k.opcode == 0xE6 && k.cdw12 == 3 && b[0] == 'Z') {
            Drvinfo(d, DrvInfoFrom::kFirstSetCommand, b);
        } else if ((k.opcode == 0xFE && k.cdw12 == 0x82 && k.cdw13 == 1) || (k.opcode == 0xE6 && k.cdw12 == 1)) {
            if (d->config.empty()) d->config = b;
        } else if ((k.opcode == 0xFE && k.cdw12 == 0x63) || k.opcode == 0xF2) {
            if (d->mp.empty()) d->mp = b;
        }
    }
    // The first source that gave the block is the one the tool's command-set
    // test found it with.
    static void Drvinfo(TraceDrive* d, DrvInfoFrom from, const std::string& b) {
        if (d->drvinfo_from != DrvInfoFrom::kNone) return;
        d->drvinfo_from = from;
        d->drvinfo = b;
    }

    void AtaAnswer(TraceDrive* d, uint8_t command, uint8_t features, const std::string& data) {
        if (command == 0xEC && data.size() >= 512 && !d->ata) {
            const std::string b = data.substr(data.size() - 512);
            d->ata = true;
            d->serial = AtaField(b, 20, 20);
            d->firmware = AtaField(b, 46, 8);
            d->model = AtaField(b, 54, 40);
            d->blocks = Le64(b, 200);
            d->sata_link_gen = static_cast<int>((Le16(b, 154) >> 1) & 7);
        } else if (command == 0xC3 && data.size() >= kBlock) {
            const std::string b = data.substr(data.size() - kBlock);
            if (features == 3 && b[0] == 'Z') Drvinfo(d, DrvInfoFrom::kAtaCommand, b);
            if (features == 4 && d->mp.empty()) d->mp = b;
            if (features == 2 && d->config.empty()) d->config = b;
        }
    }

    void Scsi(TraceDrive* d, const std::string& path, const TraceRecord& r, const std::string& cdb) {
        if (cdb.size() < 6) return;
        const uint8_t op = static_cast<uint8_t>(cdb[0]), b1 = static_cast<uint8_t>(cdb[1]);
        const std::string data_in = TraceBytes(r, tracefmt::kDataIn);
        std::string data_out;
        auto out = r.find(tracefmt::kDataOut);
        if (out != r.end() && out->is_object()) data_out = TraceBytes(*out, tracefmt::kBytes);
        const std::string key = Lower(path);
        if (op == 0x12 && (b1 & 1) == 0 && data_in.size() >= 38 && !d->has_inquiry) {
            d->has_inquiry = true;
            d->inquiry_vendor = AsciiField(data_in, 8, 8);
            d->inquiry_product = AsciiField(data_in, 16, 16);
            d->inquiry_tag = static_cast<unsigned char>(data_in[36]) << 8 | static_cast<unsigned char>(data_in[37]);
            return;
        }
        if (op == 0xE6) {  // the ASMedia bridge's identify
            d->bridge = "asmedia";
            Command k;
            k.known = true;
            k.opcode = b1;
            k.cdw10 = static_cast<uint8_t>(cdb[3]);
            NvmeAnswer(d, k, data_in);
            return;
        }
        const bool asm_tunnel = (op == 0xEA || op == 0xEB) && b1 == 0x5A;
        const bool jmi_tunnel = op == 0xA1 && (b1 == 0x80 || b1 == 0x81 || b1 == 0x82 || b1 == 0x83 || b1 == 0x8F);
        const bool rtk_tunnel = (op == 0xE4 || op == 0xE5) && cdb.size() > 3 &&
                                (static_cast<uint8_t>(cdb[3]) >= 0xF7 && static_cast<uint8_t>(cdb[3]) <= 0xF9);
        if (asm_tunnel || jmi_tunnel || rtk_tunnel) {
            d->bridge = asm_tunnel ? "asmedia" : jmi_tunnel ? "jmicron" : "realtek";
            const bool command_phase = (asm_tunnel && static_cast<uint8_t>(cdb[2]) == 0x80) ||
                                       (jmi_tunnel && b1 == 0x80) ||
                                       (rtk_tunnel && static_cast<uint8_t>(cdb[3]) == 0xF7);
            // The JMicron bridge takes a 512-byte staging block: "NVME", then
            // the command at byte 8.
            if (command_phase)
                pending[key] = FromNvmeBlock(jmi_tunnel && data_out.compare(0, 4, "NVME") == 0 ? data_out.substr(8)
                                                                                              : data_out);
            else if (!data_in.empty()) NvmeAnswer(d, pending[key], data_in);
            return;
        }
        // SCSI/ATA translation: ATA PASS-THROUGH (12) and (16).
        if (op == 0xA1 && cdb.size() >= 12) AtaAnswer(d, static_cast<uint8_t>(cdb[9]), static_cast<uint8_t>(cdb[3]), data_in);
        if (op == 0x85 && cdb.size() >= 16) AtaAnswer(d, static_cast<uint8_t>(cdb[14]), static_cast<uint8_t>(cdb[4]), data_in);
    }

    void Ioctl(const TraceRecord& r) {
        if (TraceNumber(r, tracefmt::kOk, 0) == 0) return;
        const std::string path = TraceText(r, tracefmt::kPath);
        const uint32_t code = static_cast<uint32_t>(std::strtoul(TraceText(r, tracefmt::kCode).c_str(), nullptr, 16));
        const std::string out = TraceBytes(r, tracefmt::kOut);
        if (code == kIoctlGetDeviceNumber) {
            Number(path, out);
            return;
        }
        const TraceRecord empty = TraceRecord::object();
        auto m = r.find(tracefmt::kMeaning);
        const TraceRecord& meaning = m != r.end() && m->is_object() ? *m : empty;
        const std::string what = TraceText(meaning, tracefmt::kWhat);

        // RST: "\\.\scsiN:" with the drive's PathId in the request.
        if (what == tracefmt::kWhatMiniport) {
            const std::string lower = Lower(path);
            int port = -1;
            if (lower.compare(0, 8, "\\\\.\\scsi") == 0) port = std::atoi(lower.c_str() + 8);
            const std::string in = TraceBytes(r, tracefmt::kIn);
            TraceDrive* d = in.size() > 29 ? DriveAtScsi(port, static_cast<unsigned char>(in[29])) : nullptr;
            // The NVMe pass-through block says at byte 116 where its data area starts.
            const size_t at = out.size() >= 120 ? Le32(out, 116) : 0;
            if (d != nullptr && at >= 120 && at < out.size())
                NvmeAnswer(d, FromNvmeBlock(TraceBytes(meaning, tracefmt::kCommand)), out.substr(at));
            return;
        }
        TraceDrive* d = DriveOfPath(path);
        if (d == nullptr) return;
        if (code == kIoctlScsiGetAddress && out.size() >= 8) {
            d->has_scsi = true;
            d->port = static_cast<unsigned char>(out[4]);
            d->path_id = static_cast<unsigned char>(out[5]);
            d->target = static_cast<unsigned char>(out[6]);
            d->lun = static_cast<unsigned char>(out[7]);
        } else if (what == tracefmt::kWhatProperty) {
            const int64_t property = TraceNumber(meaning, tracefmt::kProperty, -1);
            if (property == 0 && out.size() >= 32) d->bus_type = Le32(out, 28);
            const std::string protocol = TraceBytes(meaning, tracefmt::kProtocol);
            // The protocol-specific answer: data at its offset from the block
            // after the descriptor's 8-byte header.
            if ((property == 49 || property == 50) && protocol.size() >= 16 && out.size() >= 32) {
                const size_t at = 8 + Le32(out, 8 + 16), length = Le32(out, 8 + 20);
                if (at + length > out.size() || length < kBlock) return;
                Command k;
                k.known = true;
                k.opcode = Le32(protocol, 4) == 1 ? 0x06 : Le32(protocol, 4) == 2 ? 0x02 : 0xFF;
                k.cdw10 = Le32(protocol, 8);
                NvmeAnswer(d, k, out.substr(at, length));
            }
        } else if (what == tracefmt::kWhatNvme) {
            // The protocol command block says at byte 52 where the data from
            // the drive starts (DataFromDeviceBufferOffset).
            std::string data = TraceBytes(r, tracefmt::kDataIn);
            const size_t at = out.size() >= 56 ? Le32(out, 52) : 0;
            if (data.empty() && at >= 56 && at < out.size()) data = out.substr(at);
            NvmeAnswer(d, FromNvmeBlock(TraceBytes(meaning, tracefmt::kCommand)), data);
        } else if (what == tracefmt::kWhatScsi) {
            Scsi(d, path, r, TraceBytes(meaning, tracefmt::kCdb));
        } else if (what == tracefmt::kWhatAta) {
            const std::string tf = TraceBytes(meaning, tracefmt::kCurrent);
            if (tf.size() >= 7)
                AtaAnswer(d, static_cast<uint8_t>(tf[6]), static_cast<uint8_t>(tf[0]), TraceBytes(r, tracefmt::kDataIn));
        }
    }
};

}  // namespace

void ReadTraceDrives(const std::vector<TraceRecord>& records, std::vector<TraceDrive>* drives,
                     std::vector<TraceVolume>* volumes) {
    drives->clear();
    volumes->clear();
    Reader reader{drives, volumes, {}, {}};
    for (const TraceRecord& r : records)
        if (TraceText(r, tracefmt::kKind) == tracefmt::kIoctl) reader.Ioctl(r);
    std::sort(drives->begin(), drives->end(), [](const TraceDrive& a, const TraceDrive& b) { return a.number < b.number; });
}
