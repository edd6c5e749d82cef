// What identifies a recorded call and what a person reads about it: the
// same text built from a trace record and from a live call.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

// The key a call is matched on ("" for records that answer no call).
std::string ReplayKeyOf(const nlohmann::json& record);
// "CDB E6 06 00 01 …", "firmware piece at offset 0, 4096 bytes (data sha256 3f2a…)", …
std::string DescribeCall(const nlohmann::json& record);
