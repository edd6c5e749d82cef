// The verdict of a run from its evidence, and the exit code of an
// unattended run. Pure functions: the evidence in, the words out.
#pragma once

#include "platform/os_types.h"

enum Verdict : int {
    kVerdictRunningNew,
    kVerdictPendingReset,
    kVerdictNotApplied,
    kVerdictDriveMissing,
    kVerdictRefused,
    kVerdictFailedBeforeWrite,
    kVerdictFailedAfterWrite,
};

// What waits for the committed image.
enum PendingReset : int {
    kPendingNone,
    kPendingPowerCycle,  // behind a USB bridge: power off and on
    kPendingRestart,     // native or RST: a conventional reset, i.e. a restart
};

struct RunEvidence {
    int refused;           // an eligibility check said no
    int started;           // the worker ran
    int result;            // the tool's own result code (1 success)
    int writes;            // write-class requests sent
    int dry_run;           // /dryrun: stopped before the first write on purpose
    int drive_after;       // the drive was found again at its port afterwards
    int is_nvme;
    int bridge;            // behind a USB bridge (ASMedia, JMicron, Realtek)
    WCH new_revision[64];  // what the image makes the drive report (Identify revision)
    WCH new_internal[64];  // the image's whole version text (the vendor block's version)
    WCH revision_after[64];
    WCH internal_after[64];
    // NVMe firmware slots afterwards, when read.
    int slots_after;       // the log page was read
    int next_reset_slot;   // 0: none
};

Verdict DecideVerdict(const RunEvidence* evidence);
PendingReset PendingFor(const RunEvidence* evidence);
// "running-new", "pending-reset", ...
const WCH* VerdictName(Verdict verdict);
const WCH* PendingName(PendingReset pending);  // "power-cycle", "restart", ""

// Exit codes of /unattended.
enum : int {
    kExitRunningNew = 0,
    kExitBadCommandLine = 2,
    kExitDriveNotFound = 3,
    kExitPendingReset = 10,
    kExitRefused = 20,
    kExitFailedBeforeWrite = 30,
    kExitFailedAfterWrite = 40,
    kExitDriveMissing = 50,
};
// not-applied is "nothing to do" when nothing was written (a dry run) and a
// failure after a write when the firmware went down and never ran.
int ExitCodeFor(Verdict verdict, int writes);
