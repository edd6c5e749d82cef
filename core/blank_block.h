// A block a drive "returned" that holds nothing: all zeros (a bridge that
// reported success without moving data) or all 0xFF (erased flash, the
// answer of a failing bridge). Neither is a real configuration or
// MP-information block, so reading one counts as a failed read.
#pragma once

#include <cstddef>
#include <cstdint>

inline bool IsBlankBlock(const uint8_t* block, size_t size) {
    if (size == 0) return true;
    const uint8_t fill = block[0];
    if (fill != 0x00 && fill != 0xFF) return false;
    for (size_t i = 1; i < size; ++i)
        if (block[i] != fill) return false;
    return true;
}
