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

// The parse over any store of pages: page(i) is the 4096 bytes of page i
// (only the header page, region 2's first page and the trailer page are
// asked for, each after the checks that put it inside the image).
template <typename PageOf>
bool ParsePages(uint64_t size, PageOf page, NvmeFwImage* out) {
    if (size < kPage) return false;
    const uint8_t* data = page(0);
    if (Le32(data) != 0x47464D43u) return false;
    uint64_t last_end = 0;
    for (int r = 0; r < 3; ++r) {
        uint64_t first = Le32(data + 0x10 + 8 * r), last = Le32(data + 0x14 + 8 * r);
        if (first > last || (last + 1) * kPage > size) return false;
        last_end = (last + 1) * kPage;
    }
    uint64_t trailer = last_end;
    if (trailer + kPage > size) return false;
    const uint8_t* t = page(trailer / kPage);
    std::string parts[4];
    for (int i = 0; i < 4; ++i) parts[i] = Part(t + 0x10 + 2 * i);
    std::string dotted = parts[0] + "." + parts[1] + "." + parts[2] + "." + parts[3];
    if (dotted.size() > 8) {
        dotted.clear();
        for (const std::string& p : parts) dotted += (p.size() < 2 ? std::string(2 - p.size(), '0') : "") + p;
    }
    out->version = dotted;
    out->ftl_build = Le32(t + 0xFF8);
    const uint8_t* config = page(Le32(data + 0x20));  // first page of region 2
    out->config.assign(config, config + kPage);
    return true;
}

}  // namespace

bool ParseNvmeFwImage(const uint8_t* data, size_t size, NvmeFwImage* out) {
    return ParsePages(size, [data](uint64_t index) { return data + index * kPage; }, out);
}

void FwImageCollector::Clear() {
    size_ = 0;
    std::vector<uint8_t>().swap(head_);
    pages_.clear();
}

// Known once page 0 is complete, which comes before any other page.
bool FwImageCollector::Wanted(uint64_t page) const {
    if (page == 0) return true;
    if (head_.size() < kPage) return false;
    return page == Le32(head_.data() + 0x20) || page == uint64_t{Le32(head_.data() + 0x24)} + 1;
}

void FwImageCollector::Append(const uint8_t* data, uint64_t length) {
    while (length > 0) {
        const uint64_t page = size_ / kPage, in_page = size_ % kPage;
        const uint64_t n = length < kPage - in_page ? length : kPage - in_page;
        if (page == 0) head_.insert(head_.end(), data, data + n);
        else if (Wanted(page)) pages_[page].insert(pages_[page].end(), data, data + n);
        size_ += n;
        data += n;
        length -= n;
    }
}

bool FwImageCollector::Parse(NvmeFwImage* out) const {
    static const uint8_t kZeros[kPage] = {};
    return ParsePages(
        size_,
        [this](uint64_t index) -> const uint8_t* {
            if (index == 0) return head_.data();
            auto it = pages_.find(index);
            // Every page the parse asks for lies inside the image and is kept;
            // the zeros only guard against a mistake here.
            return it != pages_.end() && it->second.size() == kPage ? it->second.data() : kZeros;
        },
        out);
}

size_t FwImageCollector::KeptBytes() const {
    size_t n = head_.capacity();
    for (const auto& p : pages_) n += p.second.capacity();
    return n;
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
