// A trace file as quillon-tool reads and writes it: one JSON object per
// line (docs/traces.md), kept in the order of its keys so that a rewritten
// trace reads like the one the tool recorded.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/os_types.h"

using TraceRecord = nlohmann::ordered_json;

// Every record of the file at path. On failure prints "trace PATH: ..."
// (missing, a folder, unreadable, "line N: not a JSON object", no header)
// on stderr and returns false.
bool ReadTraceInput(const WCH* path, std::vector<TraceRecord>* records);
// Writes the records one per line; false (with the reason on stderr) when
// the file cannot be written.
bool WriteTraceOutput(const WCH* path, const std::vector<TraceRecord>& records);

// A record's text field, "" when absent or not a text.
std::string TraceText(const TraceRecord& record, const char* field);
// A record's number field, fallback when absent or not a number.
int64_t TraceNumber(const TraceRecord& record, const char* field, int64_t fallback);

// A record's hex field as bytes, "" when absent or not hex.
std::string TraceBytes(const TraceRecord& record, const char* field);

// Lowercase hex without separators <-> bytes. HexToBytes is false for an
// odd length or a character that is not a hex digit.
bool HexToBytes(const std::string& hex, std::string* bytes);
std::string BytesToHex(const std::string& bytes);
