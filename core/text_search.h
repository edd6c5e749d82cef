#pragma once

#include "platform/os_types.h"

// Case-insensitive substring search: pointer into text at the match, or null.
const WCH* FindNoCase(const WCH* text, const WCH* pattern);

// Removes leading and trailing spaces and tabs in place.
void TrimBlanks(WCH* text);
