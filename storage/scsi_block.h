// The pass-through block every bridge request travels in: the
// ScsiPassThroughDirect, four filler bytes and a 64-byte sense area, one
// buffer used as both input and output of kIoctlScsiPassThroughDirect
// (112 bytes with the sense at 48 in the 32-bit process).
#pragma once

#include <cstdint>

#include "storage/storage_requests.h"

typedef ScsiPassThroughDirectWithSense ScsiBlock;
#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(ScsiPassThroughDirect) == 44, "SPTD is 44 bytes in the 32-bit process");
static_assert(sizeof(ScsiBlock) == 112, "pass-through block is 112 bytes");
static_assert(offsetof(ScsiBlock, SenseBuffer) == 48, "sense follows the filler");
#endif

constexpr uint8_t kScsiCheckCondition = 2;

// Fills a zeroed block: CdbLength 16, the sense area after the filler, the
// given CDB (16 bytes), direction, data and timeout (seconds).
void BuildScsiBlock(ScsiBlock* block, const uint8_t cdb[16], uint8_t data_in, void* data, uint32_t length,
                    uint8_t sense_length, uint32_t timeout_s);

// One kIoctlScsiPassThroughDirect with the block as input and output.
// Returns 1 when the request was carried out, -4 when it failed.
int SendScsiBlock(HANDLE drive, ScsiBlock* block);
