// The evidence of one run, kept only when a word asked for it (/report:,
// /unattended, /dryrun): the drive before and after, the refusal, the stage
// times, the result, the verdict. The workers and the checks call the Note
// functions; each returns at once when no evidence is kept.
#pragma once

#include "app/verdict.h"
#include "core/disk_info.h"

constexpr int kMaxSlots = 7;
constexpr int kMaxStages = 16;

// One look at the drive.
struct DriveSnapshot {
    int taken;
    int present;
    DiskInfo disk;
    int slots_read;  // NVMe: the firmware-slot log page answered
    int frmw;        // Identify Controller byte 260; -1 when not read
    int active_slot;
    int next_slot;
    WCH slot_revision[kMaxSlots][9];
};

struct StageMark {
    int bar_start;
    int bar_end;
    uint64_t at_ms;  // since the run button
};

struct RunRecord {
    int started;  // the worker was started
    int ended;    // its result arrived
    int result;
    WCH refused_by[260];
    WCH image_path[260];
    WCH image_version[32];
    DriveSnapshot before;
    DriveSnapshot after;
    uint64_t run_at_ms;
    int stage_count;
    StageMark stages[kMaxStages];
    int selector_failed;  // /drive: named no drive or more than one
    Verdict verdict;
    PendingReset pending;
    int exit_code;
};

RunRecord* GetRunRecord();
void ResetRunRecord();

// The run button: the chosen drive before anything else is sent.
void NoteRunStart(const DiskInfo* disk);
// An eligibility check said no; text is what it logged.
void NoteRefusal(const WCH* text);
void NoteWorkerStarted();
// The worker moved the bar to a new stage.
void NoteStage(int start, int end);
// The worker's result arrived; the drive is looked at again and the verdict made.
void NoteRunEnded(int result);

// Reads the drive as it is now: identification by its port, and for NVMe
// FRMW and the firmware-slot log page through the drive's own transport.
void TakeSnapshot(const DiskInfo* disk, int find_by_port, DriveSnapshot* out);
// The verdict and exit code from the record.
void DecideRun(RunRecord* record);
