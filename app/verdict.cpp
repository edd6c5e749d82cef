// The verdict from the evidence. The tool's result code says whether its
// own steps went through; the drive's state afterwards says what happened
// to the firmware, and that is what the verdict tells.
#include "app/verdict.h"

#include "platform/wtext.h"

namespace {

// Either the Identify revision or the vendor block's version shows the image's.
bool RunsNew(const RunEvidence* e) {
    if (e->new_revision[0] && WCompare(e->revision_after, e->new_revision) == 0) return true;
    return e->new_internal[0] && e->internal_after[0] && WCompare(e->internal_after, e->new_internal) == 0;
}

}  // namespace

PendingReset PendingFor(const RunEvidence* e) {
    if (!e->is_nvme || !e->slots_after || e->next_reset_slot == 0) return kPendingNone;
    return e->bridge ? kPendingPowerCycle : kPendingRestart;
}

Verdict DecideVerdict(const RunEvidence* e) {
    if (e->refused) return kVerdictRefused;
    if (e->dry_run && e->writes == 0) return kVerdictNotApplied;
    // Nothing sent that changes the drive: a dry run, or a stop before the first write.
    if (!e->started || e->writes == 0) return kVerdictFailedBeforeWrite;
    if (!e->drive_after) return kVerdictDriveMissing;
    if (RunsNew(e)) return e->result == 1 ? kVerdictRunningNew : kVerdictFailedAfterWrite;
    // The committed image waits for a reset, whatever the tool made of its
    // version check.
    if (PendingFor(e) != kPendingNone) return kVerdictPendingReset;
    return e->result == 1 ? kVerdictNotApplied : kVerdictFailedAfterWrite;
}

const WCH* VerdictName(Verdict verdict) {
    switch (verdict) {
        case kVerdictRunningNew: return u"running-new";
        case kVerdictPendingReset: return u"pending-reset";
        case kVerdictNotApplied: return u"not-applied";
        case kVerdictDriveMissing: return u"drive-missing";
        case kVerdictRefused: return u"refused";
        case kVerdictFailedBeforeWrite: return u"failed-before-write";
        case kVerdictFailedAfterWrite: return u"failed-after-write";
    }
    return u"";
}

const WCH* PendingName(PendingReset pending) {
    switch (pending) {
        case kPendingPowerCycle: return u"power-cycle";
        case kPendingRestart: return u"restart";
        default: return u"";
    }
}

int ExitCodeFor(Verdict verdict, int writes) {
    switch (verdict) {
        case kVerdictRunningNew: return kExitRunningNew;
        case kVerdictPendingReset: return kExitPendingReset;
        case kVerdictRefused: return kExitRefused;
        case kVerdictNotApplied: return writes ? kExitFailedAfterWrite : kExitRefused;
        case kVerdictFailedBeforeWrite: return kExitFailedBeforeWrite;
        case kVerdictFailedAfterWrite: return kExitFailedAfterWrite;
        case kVerdictDriveMissing: return kExitDriveMissing;
    }
    return kExitFailedAfterWrite;
}
