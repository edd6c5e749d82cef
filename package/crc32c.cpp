// CRC-32C by sixteen-way tables on every CPU, and by the SSE4.2 crc32
// instruction where the CPU has it. The product also runs on 32-bit CPUs
// without SSE4.2, so only the one function is compiled for SSE4.2 and it is
// chosen at run time.
#include "package/crc32c.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <nmmintrin.h>
#define QN_CRC32C_X86 1
#endif

namespace {

struct SliceTables {
    uint32_t t[16][256];
};

// t[0] is the bytewise table; t[k][i] is the CRC of byte i followed by k
// zero bytes, so sixteen bytes are folded in with sixteen independent
// lookups (more in flight than with eight, which ran about a fifth slower).
constexpr SliceTables MakeSliceTables() {
    SliceTables s{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0x82F63B78u : c >> 1;
        s.t[0][i] = c;
    }
    for (int k = 1; k < 16; ++k)
        for (uint32_t i = 0; i < 256; ++i) s.t[k][i] = (s.t[k - 1][i] >> 8) ^ s.t[0][s.t[k - 1][i] & 0xFF];
    return s;
}

constexpr SliceTables kSlice = MakeSliceTables();

// The hardware routine runs three lanes of kLane bytes side by side (the
// instruction takes three cycles but can start every cycle), then joins
// them: a register carried past kLane more bytes is linear in its bits, so
// four lookups move it (kShift), and the lanes' registers are XORed.
constexpr size_t kLane = 1024;

struct ShiftTables {
    uint32_t t[4][256];
};

constexpr ShiftTables MakeShiftTables() {
    uint32_t bit_image[32] = {};
    for (int b = 0; b < 32; ++b) {
        uint32_t v = uint32_t(1) << b;
        for (size_t n = 0; n < kLane; ++n) v = kSlice.t[0][v & 0xFF] ^ (v >> 8);
        bit_image[b] = v;
    }
    ShiftTables s{};
    for (int k = 0; k < 4; ++k)
        for (uint32_t i = 0; i < 256; ++i)
            for (int b = 0; b < 8; ++b)
                if (i & (1u << b)) s.t[k][i] ^= bit_image[8 * k + b];
    return s;
}

constexpr ShiftTables kShift = MakeShiftTables();

// The register c carried past kLane zero bytes.
inline uint32_t ShiftLane(uint32_t c) {
    return kShift.t[0][c & 0xFF] ^ kShift.t[1][(c >> 8) & 0xFF] ^ kShift.t[2][(c >> 16) & 0xFF] ^
           kShift.t[3][c >> 24];
}

// Little-endian load whatever the alignment; compiles to one load on x86.
inline uint32_t Load32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

}  // namespace

uint32_t Crc32cTables(const void* data, size_t length, uint32_t previous) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    const auto& t = kSlice.t;
    uint32_t c = previous ^ 0xFFFFFFFFu;
    for (; length >= 16; p += 16, length -= 16) {
        const uint32_t w0 = c ^ Load32(p), w1 = Load32(p + 4), w2 = Load32(p + 8), w3 = Load32(p + 12);
        c = t[15][w0 & 0xFF] ^ t[14][(w0 >> 8) & 0xFF] ^ t[13][(w0 >> 16) & 0xFF] ^ t[12][w0 >> 24] ^
            t[11][w1 & 0xFF] ^ t[10][(w1 >> 8) & 0xFF] ^ t[9][(w1 >> 16) & 0xFF] ^ t[8][w1 >> 24] ^
            t[7][w2 & 0xFF] ^ t[6][(w2 >> 8) & 0xFF] ^ t[5][(w2 >> 16) & 0xFF] ^ t[4][w2 >> 24] ^
            t[3][w3 & 0xFF] ^ t[2][(w3 >> 8) & 0xFF] ^ t[1][(w3 >> 16) & 0xFF] ^ t[0][w3 >> 24];
    }
    for (; length > 0; ++p, --length) c = t[0][(c ^ *p) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

#ifdef QN_CRC32C_X86

int Crc32cHardwarePresent() {
    static const int present = [] {
        unsigned a = 0, b = 0, c = 0, d = 0;
        return __get_cpuid(1, &a, &b, &c, &d) && (c & bit_SSE4_2) ? 1 : 0;
    }();
    return present;
}

#if defined(__x86_64__)
using Word = uint64_t;
__attribute__((target("sse4.2"))) inline uint32_t StepWord(uint32_t c, Word v) { return uint32_t(_mm_crc32_u64(c, v)); }
#else
using Word = uint32_t;
__attribute__((target("sse4.2"))) inline uint32_t StepWord(uint32_t c, Word v) { return _mm_crc32_u32(c, v); }
#endif

__attribute__((target("sse4.2"))) inline Word LoadWord(const uint8_t* p) {
    Word v;
    __builtin_memcpy(&v, p, sizeof v);
    return v;
}

__attribute__((target("sse4.2"))) uint32_t Crc32cHardware(const void* data, size_t length, uint32_t previous) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    uint32_t c = previous ^ 0xFFFFFFFFu;
    for (; length > 0 && (reinterpret_cast<uintptr_t>(p) & (sizeof(Word) - 1)); ++p, --length)
        c = _mm_crc32_u8(c, *p);
    for (; length >= 3 * kLane; p += 3 * kLane, length -= 3 * kLane) {
        uint32_t b = 0, d = 0;
        for (size_t i = 0; i < kLane; i += sizeof(Word)) {
            c = StepWord(c, LoadWord(p + i));
            b = StepWord(b, LoadWord(p + kLane + i));
            d = StepWord(d, LoadWord(p + 2 * kLane + i));
        }
        c = ShiftLane(ShiftLane(c) ^ b) ^ d;
    }
    for (; length >= sizeof(Word); p += sizeof(Word), length -= sizeof(Word)) c = StepWord(c, LoadWord(p));
    for (; length > 0; ++p, --length) c = _mm_crc32_u8(c, *p);
    return c ^ 0xFFFFFFFFu;
}

uint32_t Crc32c(const void* data, size_t length, uint32_t previous) {
    return Crc32cHardwarePresent() ? Crc32cHardware(data, length, previous)
                                   : Crc32cTables(data, length, previous);
}

#else

int Crc32cHardwarePresent() { return 0; }

uint32_t Crc32cHardware(const void* data, size_t length, uint32_t previous) {
    return Crc32cTables(data, length, previous);
}

uint32_t Crc32c(const void* data, size_t length, uint32_t previous) { return Crc32cTables(data, length, previous); }

#endif
