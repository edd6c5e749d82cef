// Small pieces the harnesses share: a scratch folder of their own, wide text
// from fuzz bytes, and a check that stops the run with a message.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/os_types.h"

namespace fuzz {

// A folder made once per process: "/dev/shm/qn-fuzz-<name>-XXXXXX", or
// under /tmp without /dev/shm.
const std::string& ScratchDir(const char* name);

std::u16string Wide(const std::string& ascii);

// UTF-16 text from bytes, two per unit, low byte first; stops at a zero
// unit and at max_units.
std::u16string WideFromBytes(const uint8_t* data, size_t size, size_t max_units);

void WriteFile(const std::string& path, const uint8_t* data, size_t size);

// An invariant of the code under test does not hold: print it and abort, so
// libFuzzer keeps the input.
[[noreturn]] inline void Fail(const char* what) {
    std::fprintf(stderr, "fuzz invariant broken: %s\n", what);
    std::abort();
}
inline void Check(bool ok, const char* what) {
    if (!ok) Fail(what);
}

// 1 when a terminating zero occurs within the first capacity units.
bool Terminated(const WCH* text, size_t capacity);

}  // namespace fuzz
