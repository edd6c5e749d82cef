// Both image checksums against their published check values and against
// plain bytewise tables, for every length up to a little past one page and
// every start alignment a 16-byte vector could care about.
#include <gtest/gtest.h>

#include <zlib.h>

#include <cstdint>
#include <random>
#include <vector>

#include "package/crc32c.h"
#include "package/image.h"

namespace {

using CrcRoutine = uint32_t (*)(const void*, size_t, uint32_t);

struct Bytewise {
    uint32_t t[256];
    explicit Bytewise(uint32_t poly) {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ poly : c >> 1;
            t[i] = c;
        }
    }
    // Continues the raw register (no inversion): callers invert once.
    uint32_t Step(uint32_t c, uint8_t byte) const { return t[(c ^ byte) & 0xFF] ^ (c >> 8); }
};

uint32_t ImageCrc32c(const void* d, size_t n, uint32_t prev) { return ImageCrc(d, n, prev, 1); }
uint32_t ImageCrc32(const void* d, size_t n, uint32_t prev) { return ImageCrc(d, n, prev, 0); }

struct Variant {
    const char* name;
    CrcRoutine routine;
    uint32_t poly;
    uint32_t check;  // of "123456789"
};

std::vector<Variant> Variants() {
    std::vector<Variant> v = {
        {"Crc32c", Crc32c, 0x82F63B78u, 0xE3069283u},
        {"Crc32cTables", Crc32cTables, 0x82F63B78u, 0xE3069283u},
        {"ImageCrc crc32c", ImageCrc32c, 0x82F63B78u, 0xE3069283u},
        {"ImageCrc crc32", ImageCrc32, 0xEDB88320u, 0xCBF43926u},
    };
    if (Crc32cHardwarePresent()) v.push_back({"Crc32cHardware", Crc32cHardware, 0x82F63B78u, 0xE3069283u});
    return v;
}

TEST(Crc32c, EveryRoutineGivesThePublishedCheckValue) {
    for (const Variant& v : Variants()) {
        EXPECT_EQ(v.routine("123456789", 9, 0), v.check) << v.name;
        EXPECT_EQ(v.routine("", 0, 0), 0u) << v.name;
        EXPECT_EQ(v.routine("123456789", 0, 0xDEADBEEFu), 0xDEADBEEFu) << v.name;
    }
    // The CRC-32 variant is zlib's.
    EXPECT_EQ(ImageCrc("123456789", 9, 0, 0), uint32_t(crc32(0, reinterpret_cast<const Bytef*>("123456789"), 9)));
}

TEST(Crc32c, EveryLengthAndAlignmentMatchesTheBytewiseTable) {
    constexpr size_t kMaxLength = 4200;
    constexpr size_t kAlignments = 16;
    // A 64-byte aligned base, so alignment a really starts a bytes past a
    // 16-byte boundary.
    std::vector<uint8_t> storage(kMaxLength + kAlignments + 64);
    std::mt19937 rng(20261209);
    for (uint8_t& b : storage) b = uint8_t(rng());
    uint8_t* base = storage.data() + (64 - reinterpret_cast<uintptr_t>(storage.data()) % 64) % 64;

    for (const Variant& v : Variants()) {
        const Bytewise table(v.poly);
        int mismatches = 0;
        for (size_t align = 0; align < kAlignments; ++align) {
            const uint8_t* p = base + align;
            uint32_t reg = 0xFFFFFFFFu;  // the bytewise CRC of p[0..len), grown one byte at a time
            for (size_t len = 0; len <= kMaxLength; ++len) {
                if (len > 0) reg = table.Step(reg, p[len - 1]);
                const uint32_t want = reg ^ 0xFFFFFFFFu;
                const uint32_t got = v.routine(p, len, 0);
                if (got != want && ++mismatches <= 5)
                    ADD_FAILURE() << v.name << " align " << align << " length " << len << ": " << std::hex << got
                                  << " want " << want;
            }
        }
        EXPECT_EQ(mismatches, 0) << v.name;
    }
}

TEST(Crc32c, PiecesOfAnyRoutineChainIntoAnyOther) {
    std::vector<uint8_t> buf(10001);  // several of the hardware routine's 3 KiB blocks
    std::mt19937 rng(7);
    for (uint8_t& b : buf) b = uint8_t(rng());
    const std::vector<Variant> all = Variants();
    for (const Variant& first : all) {
        for (const Variant& second : all) {
            if (first.poly != second.poly) continue;
            const uint32_t whole = second.routine(buf.data(), buf.size(), 0);
            for (size_t cut : {0, 1, 7, 8, 9, 1500, 3072, 5000, 10000}) {
                uint32_t head = first.routine(buf.data(), cut, 0);
                EXPECT_EQ(second.routine(buf.data() + cut, buf.size() - cut, head), whole)
                    << first.name << " then " << second.name << " cut " << cut;
            }
        }
    }
}

}  // namespace
