// Taking the private values out of a trace while keeping it replayable:
// serial numbers, volume GUIDs and user names in paths are each replaced by
// one placeholder of the same length everywhere they occur — in the decoded
// texts (paths, device IDs, dialog lines) and inside the bytes the drives
// answered (IDENTIFY data, storage descriptors, property buffers) and the
// parameter blocks sent (their SHA-256 made anew), so a replay still finds
// the same bytes in the same places.
#pragma once

#include <string>
#include <vector>

#include "tools/quillon-tool/trace_lines.h"

enum class RedactKind { kSerial, kVolumeGuid, kUserName };

struct RedactedValue {
    RedactKind kind;
    std::string value;        // as first found (never printed)
    std::string placeholder;  // same length as value
    int places = 0;           // replacements made, over every field
};

// One replacement of equal length: a form of a value (its case, UTF-16, the
// byte-swapped ATA text field) and the matching form of its placeholder.
struct RedactSwap {
    std::string from, to;
    size_t value;     // index into Redaction::values
    bool in_text;     // also applies to texts (not only to bytes)
};

struct Redaction {
    std::vector<RedactedValue> values;
    std::vector<RedactSwap> swaps;  // longest first once prepared
};

// First pass: every private value the trace holds.
void FindPrivateValues(const std::vector<TraceRecord>& records, Redaction* redaction);
// Second pass: replace them in every record.
void ApplyRedaction(std::vector<TraceRecord>* records, Redaction* redaction);

// The value finders, for single byte blocks and texts (and their tests).
void NoteSerial(Redaction* redaction, const std::string& value);
void FindInBytes(Redaction* redaction, const std::string& bytes);
void FindInText(Redaction* redaction, const std::string& text);
// Replacements in one byte block / text; returns how many were made.
int RedactBytes(Redaction* redaction, std::string* bytes);
int RedactText(Redaction* redaction, std::string* text);

const char* RedactKindName(RedactKind kind);
