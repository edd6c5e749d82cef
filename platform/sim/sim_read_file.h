// Whole files of the simulator's user (machine files, packages, scripts),
// read in large pieces.
#pragma once

#include <string>

namespace sim {

// The whole file in *bytes; false (and *bytes empty) when it cannot be opened
// or a read fails.
bool ReadWholeFile(const std::string& path, std::string* bytes);

}  // namespace sim
