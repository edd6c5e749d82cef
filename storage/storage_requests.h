// The Windows request layouts the NVMe transports and the bridge power
// control use, and the RST driver's miniport codes, which no public header has.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/os_types.h"
#include "platform/storage_layouts.h"

constexpr uint32_t kRstNvmePassThroughCode = 0xF0002808u;  // "IntelNvm"
constexpr uint32_t kRstFirmwareCode = 0xF0000040u;         // "IntelFw "
