// The opt-in words of the command line: /report:FILE, /unattended with
// /drive:SELECTOR, /dryrun, and /record:FILE or /record-full:FILE. Without them the tool runs as it always has.
#pragma once

#include "core/disk_info.h"

struct RunOptions {
    WCH report_path[260];  // /report:FILE; empty without the word
    int unattended;        // /unattended
    WCH drive[64];         // /drive:SELECTOR
    int dry_run;           // /dryrun
    WCH record_path[260];  // /record:FILE or /record-full:FILE: a field trace; empty without either
    int record_full;       // /record-full: the trace keeps the image pieces' bytes
    int bad;               // a word without its value, a repeated word, /drive: without /unattended or the
                           // reverse, /record: with /record-full:
};

// Reads the words out of the command line; other text is left alone (as
// /debug always was). Returns 1, or 0 with options->bad set.
int ParseRunOptions(const WCH* line, RunOptions* options);
// The options of this run (set by AppMain).
RunOptions* GetRunOptions();
// Any evidence wanted at all: a report, an exit code, a plan.
int RunKeepsEvidence(const RunOptions* options);

// How a /drive: selector matches a listed drive.
enum : int {
    kSelectNone = 0,
    kSelectOne = 1,
    kSelectMany = 2,
};
// Index of the one drive the selector names: a physical drive number (digits,
// below 256), a port identity (its decimal number, or the same after "port:"),
// or a serial number (compared without case and outer blanks). *index is set
// only for kSelectOne.
int SelectDrive(const WCH* selector, const DiskInfo* list, uint32_t count, uint32_t* index);
