// SHA-256 (FIPS 180-4), for the image pieces a trace keeps only as a digest.
#pragma once

#include <cstddef>
#include <cstdint>

struct Sha256 {
    uint32_t state[8];
    uint64_t length;  // bytes hashed so far
    uint8_t block[64];
    uint32_t used;  // bytes waiting in block
};

void Sha256Begin(Sha256* hash);
void Sha256Add(Sha256* hash, const void* bytes, size_t size);
void Sha256End(Sha256* hash, uint8_t digest[32]);
// The digest of one buffer.
void Sha256Of(const void* bytes, size_t size, uint8_t digest[32]);
