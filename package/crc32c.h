// CRC-32C (Castagnoli, reflected 0x82F63B78), continued the way zlib's
// crc32() is: previous 0 starts a CRC, and a result fed back as previous
// continues it over the next piece.
#pragma once

#include <cstddef>
#include <cstdint>

// The fastest routine this CPU runs: the SSE4.2 instruction when present,
// otherwise the table routine.
uint32_t Crc32c(const void* data, size_t length, uint32_t previous);

// Sixteen table lookups per sixteen bytes; runs on every CPU.
uint32_t Crc32cTables(const void* data, size_t length, uint32_t previous);

// 1 when the CPU has the SSE4.2 crc32 instruction (asked once, then kept).
int Crc32cHardwarePresent();

// The SSE4.2 routine; only call it when Crc32cHardwarePresent() says 1.
uint32_t Crc32cHardware(const void* data, size_t length, uint32_t previous);
