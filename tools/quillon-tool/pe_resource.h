// Finding one resource in the bytes of a Windows executable, for the lint of
// the package a built Quillon.exe carries. Every offset comes from the file,
// so every one is checked against its size.
#pragma once

#include <cstddef>

#include "platform/os_types.h"

// True for bytes that start with an MZ header leading to a PE signature.
bool LooksLikePe(const BYTE* data, size_t size);

struct PeResourceSpot {
    size_t offset;  // in the file
    size_t size;
    unsigned id;    // the resource's number (0 when it is named)
};

// The first resource of the named type (e.g. u"FWPACKAGEZIP"), first name,
// first language. 1 found, 0 a PE without it, -1 headers or directory broken.
int FindPeResource(const BYTE* data, size_t size, const WCH* type_name, PeResourceSpot* out);
