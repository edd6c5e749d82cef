// Text pictures of what the headless dialog shows, for quillon-sim's output.
#pragma once

#include <string>

#include "platform/host/host_control.h"

// The dialog as a user sees it: title, drive list (entries, item data,
// selection), the information lines, the status line, the progress bar and
// which controls are enabled. One "key: value" line each; list entries
// indented below "list:".
std::string DescribeDialog();

// "message box: [caption] text" with CR LF and LF shown as \n.
std::string DescribeMessageBox(const HostMessageBox& box);

// UTF-16 text to UTF-8 for printing.
std::string Utf8(const std::u16string& text);
