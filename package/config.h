// The update configuration file "QuillonInfo.ini": the UPDATEINFO keys read
// once into the application state, and the NandMap lookup of an image.
#pragma once

#include <cstddef>

#include "core/disk_info.h"

// Reads every UPDATEINFO key of szIniPath into the application state, in the
// order the dialog expects, and sets the decoded title as the window text of
// dialog. Called once from dialog initialisation, right after szIniPath is set.
void ReadUpdateConfig(HWND dialog);

// Hexadecimal byte text ("55 00 70 00") into out: zeroes out[0..limit) and
// stores one byte per space-separated token, at most min(tokens, WLen(text),
// limit) bytes. Returns the number of bytes stored.
int DecodeHexBytes(const WCH* text, BYTE* out, size_t limit);

// Splits text at any of the delimiters into slots of slot_width units each
// (slots[i * slot_width]); runs of delimiters make no empty tokens; a token
// longer than slot_width - 1 is cut; at most max_slots tokens. Returns the
// number of tokens stored.
int SplitTokens(const WCH* text, const WCH* delimiters, WCH* slots, size_t slot_width, size_t max_slots);

// Replaces every occurrence of pattern (case-sensitive) in text, whose buffer
// holds capacity units; works on 1000-unit copies and never writes past
// capacity. Returns the number of replacements.
int ReplaceAll(WCH* text, size_t capacity, const WCH* pattern, const WCH* replacement);

// The image file for the drive's NAND identity from section NandMap:
// 1 and "%s\%s" (work directory, file name) in out_path (260 units), or 0.
int FindImageForNand(const DiskInfo* disk, WCH* out_path);

// 1 when name is a plain file name of the work directory: not empty, not
// "." or "..", no path separators, drive colon, wildcards or control
// characters. NandMap values are used only when they pass.
int IsPlainFileName(const WCH* name);
