// The report of a run: a JSON document (docs/report.md) and its plain-text
// twin next to it (FILE.txt).
#pragma once

#include "app/run_record.h"

constexpr int kReportVersion = 1;

// Writes both files; 1 when both were written.
int WriteRunReport(const WCH* path, const RunRecord* record, const WCH* command_line);
