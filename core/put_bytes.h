// Little helpers to place little-endian values into request buffers without
// alignment assumptions.
#pragma once

#include <cstdint>
#include <cstring>

inline void Put32(uint8_t* at, uint32_t value) {
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
    at[2] = static_cast<uint8_t>(value >> 16);
    at[3] = static_cast<uint8_t>(value >> 24);
}

inline void Put64(uint8_t* at, uint64_t value) {
    Put32(at, static_cast<uint32_t>(value));
    Put32(at + 4, static_cast<uint32_t>(value >> 32));
}

inline uint32_t Get32(const uint8_t* at) {
    return static_cast<uint32_t>(at[0]) | (static_cast<uint32_t>(at[1]) << 8) |
           (static_cast<uint32_t>(at[2]) << 16) | (static_cast<uint32_t>(at[3]) << 24);
}

inline uint16_t Get16(const uint8_t* at) {
    return static_cast<uint16_t>(at[0] | (at[1] << 8));
}
