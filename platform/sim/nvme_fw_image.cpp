#include "platform/sim/nvme_fw_image.h"

namespace sim {

namespace {
constexpr size_t kPage = 4096;

uint32_t Le32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

// One part: two ASCII bytes; a zero first byte leaves the second alone, a
// zero second byte ends the part early.
std::string Part(const uint8_t* p) {
    std::string s;
    if (p[0] == 0) {
        if (p[1]) s.push_back(static_cast<char>(p[1]));
    } else {
        s.push_back(static_cast<char>(p[0]));
        if (p[1]) s.push_back(static_cast<char>(p[1]));
    }
    return s;
}
}  // namespace

bool ParseNvmeFwImage(const uint8_t* data, size_t size, NvmeFwImage* out) {
    if (size < kPage || Le32(data) != 0x47464D43u) return false;
    uint64_t last_end = 0;
    for (int r = 0; r < 3; ++r) {
        uint64_t first = Le32(data + 0x10 + 8 * r), last = Le32(data + 0x14 + 8 * r);
        if (first > last || (last + 1) * kPage > size) return false;
        last_end = (last + 1) * kPage;
    }
    uint64_t trailer = last_end;
    if (trailer + kPage > size) return false;
    const uint8_t* t = data + trailer;
    std::string parts[4];
    for (int i = 0; i < 4; ++i) parts[i] = Part(t + 0x10 + 2 * i);
    std::string dotted = parts[0] + "." + parts[1] + "." + parts[2] + "." + parts[3];
    if (dotted.size() > 8) {
        dotted.clear();
        for (const std::string& p : parts) dotted += (p.size() < 2 ? std::string(2 - p.size(), '0') : "") + p;
    }
    out->version = dotted;
    out->ftl_build = Le32(t + 0xFF8);
    uint64_t config = uint64_t{Le32(data + 0x20)} * kPage;  // first page of region 2
    out->config.assign(data + config, data + config + kPage);
    return true;
}

uint32_t SimCrc(const uint8_t* data, size_t size, bool crc32c) {
    const uint32_t poly = crc32c ? 0x82F63B78u : 0xEDB88320u;
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = 0; i < size; ++i) {
        c ^= data[i];
        for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ poly : c >> 1;
    }
    return c ^ 0xFFFFFFFFu;
}

}  // namespace sim
