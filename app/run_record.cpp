// The evidence of one run, and the looks at the drive before and after.
#include "app/run_record.h"

#include <cstring>

#include "app/drive_source.h"
#include "app/run_options.h"
#include "core/app_state.h"
#include "core/text_search.h"
#include "core/write_gate.h"
#include "nvme/identify.h"
#include "nvme/nvme_commands.h"
#include "package/config.h"
#include "package/image.h"
#include "platform/os.h"
#include "platform/wtext.h"

namespace {

RunRecord g_record;

bool Keeping() { return RunKeepsEvidence(GetRunOptions()) != 0; }

bool IsNvme(const DiskInfo* disk) { return disk->iCmdType >= kCmdAsmedia && disk->iCmdType <= kCmdRealtek; }

bool IsBridge(const DiskInfo* disk) {
    return disk->iCmdType == kCmdAsmedia || disk->iCmdType == kCmdJmicron || disk->iCmdType == kCmdRealtek;
}

// FRMW and the firmware-slot log page (512 bytes: within every bridge's read limit).
void ReadSlots(const DiskInfo* disk, DriveSnapshot* out) {
    DiskAccess access = {};
    access.hScsiPort = INVALID_HANDLE_VALUE;
    HANDLE drive = OpenNvmeDisk(disk->szDevicePath, &access);
    if (drive == INVALID_HANDLE_VALUE) return;
    static BYTE identify[4096];
    if (NvmeIdentify(&access, drive, 1, 0, identify, sizeof identify) == 1) out->frmw = identify[260];
    BYTE log[512] = {};
    if (DISKLIB_NVME_GetLogPage(&access, drive, 0x03, log, sizeof log) == 1) {
        out->slots_read = 1;
        out->active_slot = log[0] & 7;
        out->next_slot = (log[0] >> 4) & 7;
        for (int i = 0; i < kMaxSlots; ++i) {
            // The drive's bytes: printable ASCII only, blanks trimmed.
            WCH* text = out->slot_revision[i];
            for (int b = 0; b < 8; ++b) {
                BYTE c = log[8 + 8 * i + b];
                text[b] = (c >= 0x20 && c < 0x7F) ? c : u'?';
            }
            text[8] = 0;
            TrimBlanks(text);
        }
    }
    os::CloseHandle(drive);
    if (access.hScsiPort != INVALID_HANDLE_VALUE) os::CloseHandle(access.hScsiPort);
}

void CutTo(WCH* out, size_t capacity, const WCH* text, size_t units) {
    WCopy(out, capacity, text);
    if (WLen(out) > units) out[units] = 0;
    TrimBlanks(out);
}

}  // namespace

RunRecord* GetRunRecord() { return &g_record; }

void ResetRunRecord() {
    std::memset(&g_record, 0, sizeof g_record);
    g_record.before.frmw = -1;
    g_record.after.frmw = -1;
}

void TakeSnapshot(const DiskInfo* disk, int find_by_port, DriveSnapshot* out) {
    std::memset(out, 0, sizeof *out);
    out->frmw = -1;
    out->taken = 1;
    out->disk = *disk;
    if (find_by_port) {
        out->present = ReidentifyDrive(&out->disk, 1) == 1;
        if (!out->present) return;
    } else {
        out->present = 1;
    }
    if (IsNvme(&out->disk)) ReadSlots(&out->disk, out);
}

void NoteRunStart(const DiskInfo* disk) {
    if (!Keeping()) return;
    ResetRunRecord();
    WriteGateReset(GetRunOptions()->dry_run);
    g_record.run_at_ms = os::GetTickCount64();
    TakeSnapshot(disk, 0, &g_record.before);
    if (FindImageForNand(disk, g_record.image_path)) ReadImageVersion(g_record.image_path, g_record.image_version);
}

void NoteRefusal(const WCH* text) {
    if (!Keeping()) return;
    WCopy(g_record.refused_by, 260, text);
}

void NoteWorkerStarted() {
    if (!Keeping()) return;
    g_record.started = 1;
}

void NoteStage(int start, int end) {
    if (!Keeping() || g_record.stage_count >= kMaxStages) return;
    StageMark* mark = &g_record.stages[g_record.stage_count++];
    mark->bar_start = start;
    mark->bar_end = end;
    mark->at_ms = os::GetTickCount64() - g_record.run_at_ms;
}

void NoteRunEnded(int result) {
    if (!Keeping()) return;
    g_record.ended = 1;
    g_record.result = result;
    // The drive is looked for where it sat before the run.
    TakeSnapshot(&g_record.before.disk, 1, &g_record.after);
}

void DecideRun(RunRecord* record) {
    RunEvidence e = {};
    e.refused = record->refused_by[0] != 0;
    e.started = record->started;
    e.result = record->result;
    e.writes = WriteGatePassed();
    e.dry_run = GetRunOptions()->dry_run;
    e.drive_after = record->after.present;
    e.is_nvme = IsNvme(&record->before.disk);
    e.bridge = IsBridge(&record->before.disk);
    CutTo(e.new_revision, 64, record->image_version, 8);
    CutTo(e.new_internal, 64, record->image_version, 63);
    CutTo(e.revision_after, 64, record->after.disk.szFWRevision, 63);
    CutTo(e.internal_after, 64, record->after.disk.szDrvFWVersion, 63);
    e.slots_after = record->after.slots_read;
    e.next_reset_slot = record->after.next_slot;
    record->verdict = DecideVerdict(&e);
    record->pending = PendingFor(&e);
    record->exit_code = record->selector_failed ? kExitDriveNotFound : ExitCodeFor(record->verdict, e.writes);
}
