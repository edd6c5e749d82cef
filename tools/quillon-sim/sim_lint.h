// The package about to be rehearsed, checked by the package lint first.
#pragma once

#include <cstddef>
#include <string>

// Lints the package and prints each of its errors and warnings on stderr as
// a warning of quillon-sim's: a broken package is still worth rehearsing, so
// nothing stops the run. path is the archive on disk, or "" for bytes carried
// in memory (the embedded package); shown is the name the lines give.
void WarnAboutPackage(const std::string& path, const std::string& shown, const void* data, size_t size);
