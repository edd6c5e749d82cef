// What the simulated controller reads out of a downloaded firmware image
// ("CMFG": 4096-byte pages, three regions, a trailer page): the version
// text, the FTL build number and the configuration block it will run with.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace sim {

struct NvmeFwImage {
    std::string version;          // from the trailer's four version parts
    uint32_t ftl_build = 0;       // trailer + 0xFF8
    std::vector<uint8_t> config;  // first page of region 2, 4096 bytes
};

// False for anything that is not a well-formed image (no magic, regions or
// trailer outside the data): the controller refuses to commit it.
bool ParseNvmeFwImage(const uint8_t* data, size_t size, NvmeFwImage* out);

// An image arriving piece by piece, in order, keeping only the pages the
// controller reads out of it: the header page, the first page of region 2
// and the trailer page (the header, the first page, says which they are).
// Parse answers exactly what ParseNvmeFwImage answers for the whole image,
// and a 32 MiB download holds three pages instead of 32 MiB.
class FwImageCollector {
public:
    void Clear();
    uint64_t size() const { return size_; }
    void Append(const uint8_t* data, uint64_t length);
    bool Parse(NvmeFwImage* out) const;
    size_t KeptBytes() const;  // what it holds, for the memory tests

private:
    bool Wanted(uint64_t page) const;
    uint64_t size_ = 0;
    std::vector<uint8_t> head_;                        // page 0
    std::map<uint64_t, std::vector<uint8_t>> pages_;  // the other wanted pages, by index
};

// CRC-32C (crc32c true) or CRC-32 of a block, the two check values a
// configuration write may carry.
uint32_t SimCrc(const uint8_t* data, size_t size, bool crc32c);

}  // namespace sim
