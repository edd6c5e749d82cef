// What the simulated controller reads out of a downloaded firmware image
// ("CMFG": 4096-byte pages, three regions, a trailer page): the version
// text, the FTL build number and the configuration block it will run with.
#pragma once

#include <cstddef>
#include <cstdint>
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

// CRC-32C (crc32c true) or CRC-32 of a block, the two check values a
// configuration write may carry.
uint32_t SimCrc(const uint8_t* data, size_t size, bool crc32c);

}  // namespace sim
