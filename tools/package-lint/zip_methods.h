// The compression method of each entry of a zip archive, read from its
// central directory, so that the lint can name a method the reader lacks.
#pragma once

#include <cstddef>
#include <vector>

#include "platform/os_types.h"

// One method per central-directory entry, in order (the reader's entry
// indexes); empty when the directory cannot be found or is cut short.
std::vector<unsigned> ZipEntryMethods(const BYTE* data, size_t size);

// Null for the methods the reader inflates (0 store, 8 deflate); otherwise
// "bzip2 (method 12) is not supported; use deflate or store" in out.
const WCH* UnsupportedMethodText(unsigned method, WCH* out, size_t capacity);
