// The countdown fault sweep. For each update (NVMe on the five attachments,
// the plain and the configuration path, the version written before and
// after; SATA on its three attachments) one clean run counts the device
// requests from the RUN button to the end, N. Then request n, for n = 1 ... N,
// is failed once, and from then on for good, in each way the simulated
// machine can fail it; the drive also vanishes right at it (once), and a
// block read is answered with garbage instead (once); each time the whole
// update runs again from a fresh start. Garbled runs are judged for their
// hygiene (one result, nothing left open); what the tool made of the
// garbage is written in the table's note.
// After every run:
//   - the dialog handled exactly one result (or refused the run with one
//     message), both controls are enabled, the dialog closes, and no handle,
//     device set, buffer or thread is left;
//   - success only with the new firmware really running and the version
//     text in place (NVMe); the drive is in a state a machine file can name:
//     old firmware, new firmware, or one of them with the other's version text;
//   - nothing irreversible after a failed step: every commit follows a
//     complete download of the right bytes with no failed piece, every
//     configuration or version write follows a read of that block that
//     succeeded and was neither all zeros nor all 0xFF, and every piece sent
//     is the image's; a SATA success means the new firmware runs.
// A table of every run is written to $QN_FAULT_SWEEP_TABLE (ctest puts it
// in the build tree as fault-sweep.tsv).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "app/dialog_ids.h"
#include "app/update_worker.h"
#include "app/verdict.h"
#include "core/app_state.h"
#include "nvme/identify.h"
#include "nvme/nvme_commands.h"
#include "package/image.h"
#include "platform/host/host_control.h"
#include "platform/host/host_objects.h"
#include "platform/os.h"
#include "platform/sim/sim_machine.h"
#include "platform/storage_layouts.h"
#include "platform/wtext.h"
#include "sata/ata_command.h"
#include "sata/sata_identify.h"
#include "tests/app/update_fixture.h"
#include "tests/fault_sweep/request_decode.h"

namespace {

using sim::Attachment;

struct Scenario {
    std::string name;
    bool sata;
    Attachment attachment;
    bool config_path;  // NVMe: the drive has vendor information
    bool before;       // NVMe: bSetVersionBeforeQuillon
};

// ---- the table --------------------------------------------------------------------

struct Row {
    std::string scenario;
    int n;
    std::string request;
    std::string way;
    std::string mode;
    bool fired;
    std::string outcome;
    std::string state;
    std::string after_cycle;
    std::string problems;
    std::string note;
    std::string verdict;  // what the evidence of the run says, and the unattended exit code
};

std::mutex g_rows_mutex;
std::vector<Row> g_rows;
std::vector<std::string> g_summary;

std::string TablePath() {
    const char* path = std::getenv("QN_FAULT_SWEEP_TABLE");
    return path && *path ? path : "fault-sweep.tsv";
}

class TableWriter : public ::testing::Environment {
public:
    void TearDown() override {
        std::string path = TablePath();
        FILE* f = std::fopen(path.c_str(), "w");
        if (!f) {
            std::fprintf(stderr, "fault sweep: cannot write %s\n", path.c_str());
            return;
        }
        std::fprintf(f, "scenario\tn\trequest\tway\tmode\tfired\toutcome\tdrive_state\tafter_power_cycle\tproblems\tnote\tverdict\n");
        for (const Row& r : g_rows)
            std::fprintf(f, "%s\t%d\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n", r.scenario.c_str(), r.n, r.request.c_str(),
                         r.way.c_str(), r.mode.c_str(), r.fired ? "yes" : "no", r.outcome.c_str(), r.state.c_str(),
                         r.after_cycle.c_str(), r.problems.empty() ? "-" : r.problems.c_str(), r.note.empty() ? "-" : r.note.c_str(),
                         r.verdict.c_str());
        std::fclose(f);
        // The same runs counted by scenario and outcome, next to the table.
        std::string md = path.size() > 4 && path.compare(path.size() - 4, 4, ".tsv") == 0
                             ? path.substr(0, path.size() - 4) + ".md"
                             : path + ".md";
        if (FILE* m = std::fopen(md.c_str(), "w")) {
            std::fprintf(m, "# Fault sweep\n\nEvery device request of each update failed in turn (once, and for good), "
                            "in each way the simulated machine can fail it; the drive also vanished at each "
                            "request, and each block read answered once with plausible garbage. Rows: %s\n\n",
                         path.c_str());
            std::fprintf(m, "| scenario | outcome / drive state | runs |\n|---|---|---|\n");
            std::map<std::pair<std::string, std::string>, int> counts;
            for (const Row& r : g_rows)
                if (r.mode != "clean")
                    ++counts[{r.scenario, r.outcome + " / " + r.state +
                                              (r.after_cycle != r.state ? " / after a power cycle: " + r.after_cycle : "") +
                                              (r.problems.empty() ? "" : " (PROBLEM)")}];
            for (const auto& c : counts)
                std::fprintf(m, "| %s | %s | %d |\n", c.first.first.c_str(), c.first.second.c_str(), c.second);
            std::fprintf(m, "\n");
            for (const std::string& s : g_summary) std::fprintf(m, "- %s\n", s.c_str());
            std::fclose(m);
        }
        for (const std::string& s : g_summary) std::printf("%s\n", s.c_str());
        std::printf("fault sweep table: %s (%zu runs), summary %s\n", path.c_str(), g_rows.size(), md.c_str());
    }
};
const ::testing::Environment* const g_table = ::testing::AddGlobalTestEnvironment(new TableWriter);

// ---- machines and packages -----------------------------------------------------------

constexpr const char* kNvmeOldFr = "VX5A0100";
constexpr const char* kNvmeNewFr = "1A2B3C5E";
constexpr const char* kNvmeNewVersion = "VX5A0200";
constexpr const char* kSataOldFr = "VS3A0100";
constexpr const char* kSataNewFr = "5E6F7A9C";
constexpr const char* kSataNewVersion = "VS3A0200";

sim::MachineDesc MachineFor(const Scenario& s) {
    sim::MachineDesc machine;
    if (s.sata) {
        sim::AddSataDrive(machine, 4, s.attachment);
        return machine;
    }
    sim::DriveDesc& d = sim::AddNvmeDrive(machine, 0, s.attachment);
    if (s.attachment == Attachment::kRealtek) {
        // No power cycle behind this bridge: the drive resets on the commit itself.
        d.on_activate.leaves = true;
        d.on_activate.gone_seconds = 2;
    }
    if (!s.config_path) {
        d.vendor.drvinfo = sim::DrvInfoSource::kNone;
        d.vendor.mp_marker = 1768;
        d.vendor.mp_soc_id = 0x5236;
        d.vendor.mp_version = "1A2B3C4D";
    }
    return machine;
}

TestPackage PackageFor(const Scenario& s) {
    TestPackage p = DefaultTestPackage();
    if (s.sata) {
        p.Set("ModelName", "|VELQORAX VS300 256GB|");
        p.Set("FWVersion", "|VS3A0100|");
        p.Set("NEWVERSION", kSataNewVersion);
        p.Set("bIsSATA", "1");
        p.nandmap = {{"453C98B37672_1", "VS300_T3.bin"}};
        p.files = {{"VS300_T3.bin", MakeTestImage(7, kSataNewFr, 0x00002233, "VS3A0100")}};
    } else {
        p.Set("bSetVersionBeforeQuillon", s.before ? "1" : "0");
    }
    return p;
}

// ---- what the drive holds after a run, read with the countdown off -----------------------

struct DriveView {
    bool found = false;
    std::string fr;
    std::vector<uint8_t> config;
    std::string mp_text;  // MP-information bytes 88..95 (NVMe)
    int next_slot = -1;   // NVMe: the firmware-slot log page's next-reset slot; -1 not read
};

std::string Text(const uint8_t* p, size_t n) {
    std::string s(reinterpret_cast<const char*>(p), n);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.pop_back();
    return s;
}

DriveView ReadDrive(const Scenario& s) {
    DriveView v;
    int number = sim::DriveNumber(s.sata ? "disk4" : "disk0");
    if (number < 0) return v;
    WCH path[64] = u"\\\\.\\PhysicalDrive0";
    path[17] = static_cast<WCH>(u'0' + number);
    DiskAccess access;
    std::memset(&access, 0, sizeof access);
    access.hScsiPort = INVALID_HANDLE_VALUE;
    HANDLE drive = s.sata ? OpenSataDisk(path, &access) : OpenNvmeDisk(path, &access);
    if (drive == INVALID_HANDLE_VALUE) return v;
    uint8_t block[4096] = {};
    if (s.sata) {
        if (SataIdentifyDevice(&access, drive, block, 512) == 1) {
            char fr[8];
            for (int i = 0; i < 8; i += 2) fr[i] = static_cast<char>(block[46 + i + 1]), fr[i + 1] = static_cast<char>(block[46 + i]);
            v.fr = Text(reinterpret_cast<uint8_t*>(fr), 8);
            v.found = true;
        }
        std::memset(block, 0, sizeof block);
        if (SataGetFWConfig(&access, drive, block) == 1) v.config.assign(block, block + sizeof block);
    } else {
        if (NvmeIdentify(&access, drive, 1, 0, block, sizeof block) == 1) {
            v.fr = Text(block + 64, 8);
            v.found = true;
        }
        std::memset(block, 0, sizeof block);
        if (DISKLIB_NVME_GetFWConfig(&access, drive, block) == 1) v.config.assign(block, block + sizeof block);
        std::memset(block, 0, sizeof block);
        if (DISKLIB_NVME_VSC_GetMPInfo(&access, drive, block) == 1) v.mp_text = Text(block + mpinfo::kNewVersion, 8);
        std::memset(block, 0, sizeof block);
        if (DISKLIB_NVME_GetLogPage(&access, drive, 0x03, block, 512) == 1) v.next_slot = (block[0] >> 4) & 7;
    }
    os::CloseHandle(drive);
    if (access.hScsiPort != INVALID_HANDLE_VALUE) os::CloseHandle(access.hScsiPort);
    return v;
}

// ---- one run --------------------------------------------------------------------------------

struct RunResult {
    bool worker_ran = false;
    int result = 0;
    std::string outcome;  // "success", "fail <code>", "refused"
    sim::CountdownStatus countdown;
    std::vector<DecodedRequest> requests;
    DriveView drive;
    DriveView after_cycle;  // the same drive once it has been power-cycled after the run
    std::vector<std::string> problems;
};

const char* WayName(sim::FaultAction way) {
    switch (way) {
        case sim::FaultAction::kWin32Error: return "ioctl-failure";
        case sim::FaultAction::kCheckCondition: return "check-condition";
        case sim::FaultAction::kAtaError: return "ata-error";
        case sim::FaultAction::kGarble: return "garble";
        case sim::FaultAction::kVanish: return "vanish";
    }
    return "?";
}

class FaultSweep : public UpdateFixture, public ::testing::WithParamInterface<Scenario> {
protected:
    // A fresh tool on a fresh machine, RUN pressed with the countdown armed
    // (nth 0: counting only), the result handled, the drive read, the dialog closed.
    RunResult RunOnce(int nth, sim::FaultAction way, bool for_good) {
        const Scenario& s = GetParam();
        RunResult out;
        Install(MachineFor(s));
        UsePackage(PackageFor(s));
        if (!Start()) {
            out.problems.push_back("the dialog did not come up");
            return out;
        }
        if (HostComboItems(kIdDriveList).size() != 1) out.problems.push_back("the drive is not listed");
        HostResetBadCloseCount();
        HostClearMessageBoxes();
        sim::ClearRequests();
        int results_before = UpdateResultCount();

        sim::ArmCountdown(nth, way, for_good);
        int pressed = HostPressButton(kIdRun);
        sim::DisarmCountdown();
        out.countdown = sim::GetCountdownStatus();
        if (pressed != kHostDone) out.problems.push_back("RUN did not come back idle: " + std::to_string(pressed));
        out.requests = DecodeRequests(sim::Requests(), s.sata);

        // Exactly one result, or a refusal with its one message.
        int results = UpdateResultCount() - results_before;
        std::vector<HostMessageBox> boxes = HostMessageBoxes();
        out.worker_ran = results > 0;
        if (results > 1) out.problems.push_back("more than one result: " + std::to_string(results));
        if (out.worker_ran) {
            out.result = LastUpdateResult();
            out.outcome = out.result == 1 ? "success" : "fail " + std::to_string(out.result);
            size_t expected_boxes = out.result == 1 ? 0 : 1;
            if (boxes.size() != expected_boxes) out.problems.push_back("message boxes: " + std::to_string(boxes.size()));
            if (out.result != 1 && !boxes.empty() && boxes[0].text != u"Update FW Fail !")
                out.problems.push_back("failure message text");
        } else {
            out.outcome = "refused";
            if (boxes.size() != 1) out.problems.push_back("refused with " + std::to_string(boxes.size()) + " messages");
        }
        if (!HostControlEnabled(kIdRun) || !HostControlEnabled(kIdDriveList))
            out.problems.push_back("controls left disabled");
        if (GetAppState()->hWorkerThread != nullptr) out.problems.push_back("worker marker left set");
        if (sim::OpenHandleCount() != 0) out.problems.push_back("device handles open: " + std::to_string(sim::OpenHandleCount()));
        if (sim::OpenDeviceInfoSetCount() != 0) out.problems.push_back("device sets open");
        if (HostMemoryBlocks() != 0) out.problems.push_back("memory blocks held: " + std::to_string(HostMemoryBlocks()));
        if (HostLiveThreads() != 0 || HostOpenHandleCount(kHostThread) != 0) out.problems.push_back("thread left");
        // The dialog is still open: the work folder stays held until the exit.
        const int work_folder_held = GetAppState()->hWorkDir != nullptr ? 1 : 0;
        if (HostOpenHandleCount(kHostFile) != work_folder_held || HostOpenHandleCount(kHostFind) != 0)
            out.problems.push_back("file handles open");
        if (HostBadCloseCount() != 0) out.problems.push_back("handle closed twice");

        // A drive that vanished is put back before it is looked at.
        const char* name = s.sata ? "disk4" : "disk0";
        if (way == sim::FaultAction::kVanish) sim::PlugDrive(name);
        out.drive = ReadDrive(s);
        if (HostCloseDialog() != kHostDone) out.problems.push_back("the dialog did not close");
        INT_PTR ended = -1;
        if (!HostDialogEnded(&ended) || ended != 0) out.problems.push_back("the dialog did not end");
        if (HostJoinDialogThread() != 0) out.problems.push_back("the tool's exit code");
        if (sim::OpenHandleCount() != 0 || HostOpenHandleCount(kHostFile) != 0)
            out.problems.push_back("handles open after exit");

        // What the drive runs once it is power-cycled: a commit the tool
        // made but did not see through shows here.
        if (!s.sata && (s.attachment == Attachment::kAsmedia || s.attachment == Attachment::kJmicron))
            sim::TriggerPowerCycle(name);
        else
            sim::TriggerActivation(name);
        HostClockAdvance(10000);
        out.after_cycle = ReadDrive(s);
        return out;
    }

    // The drive's state in the words of a machine file.
    std::string StateOf(const DriveView& v, std::vector<std::string>* problems) {
        const Scenario& s = GetParam();
        if (!v.found) {
            problems->push_back("drive not found after the run");
            return "absent";
        }
        bool known_block = false;
        for (const auto& b : blocks_) known_block = known_block || b == v.config;
        if (!known_block) problems->push_back("configuration block is none the update produces");
        std::string old_fr = s.sata ? kSataOldFr : kNvmeOldFr, new_fr = s.sata ? kSataNewFr : kNvmeNewFr;
        std::string new_text = s.sata ? kSataNewVersion : kNvmeNewVersion;
        std::string text = (s.sata || s.config_path) ? Text(v.config.data() + image::kConfigVersion, 8) : v.mp_text;
        std::string old_text = old_text_;
        std::string fw = v.fr == old_fr ? "old firmware" : v.fr == new_fr ? "new firmware" : "firmware " + v.fr;
        if (v.fr != old_fr && v.fr != new_fr) problems->push_back("firmware revision " + v.fr);
        std::string state = fw;
        if (text == old_text) {
            if (v.fr == new_fr && old_text != new_text) state += " with the old version text";
        } else if (text == new_text) {
            if (v.fr == old_fr) state += " with the new version text";
        } else {
            state += " with version text '" + text + "'";
            problems->push_back("version text " + text);
        }
        // The plain path writes the version into the MP block; old firmware
        // with the new text there is what writing it first leaves behind.
        if (!s.sata && v.fr == old_fr && text == new_text && text != old_text && !s.before)
            problems->push_back("new version text on the old firmware without writing it first");
        return state;
    }

    // Nothing irreversible after a failed step, and only the image's bytes sent.
    void CheckSequence(const RunResult& r, std::vector<std::string>* problems) {
        std::map<uint64_t, std::vector<uint8_t>> pieces;  // since the last commit
        bool piece_failed = false;
        const DecodedRequest* last_config_read = nullptr;
        const DecodedRequest* last_mp_read = nullptr;
        for (const DecodedRequest& q : r.requests) {
            switch (q.kind) {
                case ReqKind::kDownload:
                    if (!q.data_phase) break;  // completions of pieces are not examined, on purpose
                    if (q.failed) piece_failed = true;
                    if (q.phase == 1) break;
                    if (!q.failed || !q.data.empty()) {
                        auto want = image_.find(q.offset);
                        if (want == image_.end() || want->second != q.data)
                            problems->push_back("piece at " + std::to_string(q.offset) + " is not the image's");
                    }
                    if (!q.failed) pieces[q.offset] = q.data;
                    break;
                case ReqKind::kCommit: {
                    if (q.phase > 1) break;  // judged once, at the command
                    if (piece_failed) problems->push_back("commit after a failed download piece");
                    std::vector<uint8_t> sent;
                    for (const auto& p : pieces) {
                        if (p.first != sent.size()) break;
                        sent.insert(sent.end(), p.second.begin(), p.second.end());
                    }
                    if (sent != image_bytes_) problems->push_back("commit of an incomplete image");
                    pieces.clear();
                    piece_failed = false;
                    break;
                }
                case ReqKind::kConfigRead:
                    if (q.data_phase && q.phase != 1) last_config_read = &q;
                    break;
                case ReqKind::kMpRead:
                    if (q.data_phase && q.phase != 1) last_mp_read = &q;
                    break;
                case ReqKind::kConfigWrite:
                case ReqKind::kMpWrite: {
                    if (q.phase != 1 && q.phase != 0) break;  // judged once, at the command
                    const DecodedRequest* read = q.kind == ReqKind::kConfigWrite ? last_config_read : last_mp_read;
                    bool blank = read && (std::all_of(read->data.begin(), read->data.end(), [](uint8_t b) { return b == 0; }) ||
                                          std::all_of(read->data.begin(), read->data.end(), [](uint8_t b) { return b == 0xFF; }));
                    if (!read || read->failed || blank || read->data.empty())
                        problems->push_back(std::string(KindName(q.kind)) + " after a failed, zeroed or erased read");
                    break;
                }
                default: break;
            }
        }
    }

    // The verdict the run's evidence gives (the tool's result, the
    // write-class requests it sent, the drive and its slots afterwards), held
    // against the drive's state; and the unattended exit code against the verdict.
    std::string JudgeVerdict(const RunResult& r, const std::string& state, const std::string& after,
                             std::vector<std::string>* problems) {
        const Scenario& s = GetParam();
        RunEvidence e = {};
        e.refused = r.outcome == "refused";
        e.started = r.worker_ran;
        e.result = r.result;
        for (const DecodedRequest& q : r.requests)
            if ((q.phase == 0 || q.phase == 1) &&
                (q.kind == ReqKind::kDownload || q.kind == ReqKind::kCommit || q.kind == ReqKind::kConfigWrite ||
                 q.kind == ReqKind::kMpWrite || q.kind == ReqKind::kPower))
                ++e.writes;
        e.drive_after = r.drive.found;
        e.is_nvme = !s.sata;
        e.bridge = !s.sata && (s.attachment == Attachment::kAsmedia || s.attachment == Attachment::kJmicron ||
                               s.attachment == Attachment::kRealtek);
        std::u16string new_fr = U16(s.sata ? kSataNewFr : kNvmeNewFr), fr = U16(r.drive.fr);
        WCopy(e.new_revision, 64, new_fr.c_str());
        WCopy(e.revision_after, 64, fr.c_str());
        e.slots_after = r.drive.next_slot >= 0;
        e.next_reset_slot = r.drive.next_slot > 0 ? r.drive.next_slot : 0;
        Verdict v = DecideVerdict(&e);
        int code = ExitCodeFor(v, e.writes);
        auto starts = [](const std::string& text, const char* head) { return text.rfind(head, 0) == 0; };
        bool agrees = true;
        int expected_code = -1;
        switch (v) {
            case kVerdictRunningNew: agrees = starts(state, "new firmware"), expected_code = 0; break;
            case kVerdictPendingReset:
                agrees = starts(state, "old firmware") && starts(after, "new firmware"), expected_code = 10;
                break;
            case kVerdictRefused: agrees = starts(state, "old firmware"), expected_code = 20; break;
            case kVerdictNotApplied: agrees = starts(state, "old firmware"), expected_code = e.writes ? 40 : 20; break;
            case kVerdictFailedBeforeWrite: agrees = starts(state, "old firmware"), expected_code = 30; break;
            case kVerdictFailedAfterWrite: agrees = r.drive.found, expected_code = 40; break;
            case kVerdictDriveMissing: agrees = !r.drive.found, expected_code = 50; break;
        }
        std::string name = std::string(VerdictName(v), VerdictName(v) + WLen(VerdictName(v)));
        if (!agrees) problems->push_back("verdict " + name + " but the drive is: " + state);
        if (code != expected_code) problems->push_back("verdict " + name + " exits " + std::to_string(code));
        return name + " " + std::to_string(code);
    }

    void Sweep() {
        const Scenario& s = GetParam();
        auto started = std::chrono::steady_clock::now();
        // The clean run: what N is, the bytes of the image the drive gets, the blocks it may end with.
        RunResult clean = RunOnce(0, sim::FaultAction::kWin32Error, false);
        ASSERT_TRUE(clean.problems.empty()) << clean.problems[0];
        ASSERT_EQ(clean.outcome, "success");
        const int n_requests = clean.countdown.counted;
        ASSERT_EQ(static_cast<size_t>(n_requests), clean.requests.size());
        ASSERT_GT(n_requests, 0);
        for (const DecodedRequest& q : clean.requests) {
            if (q.kind == ReqKind::kDownload && q.data_phase && q.phase != 1) image_[q.offset] = q.data;
            if (q.kind == ReqKind::kConfigRead && q.data_phase && q.phase != 1 && !q.data.empty()) blocks_.push_back(q.data);
        }
        for (const auto& p : image_) {
            ASSERT_EQ(p.first, image_bytes_.size()) << "the clean run's pieces are not contiguous";
            image_bytes_.insert(image_bytes_.end(), p.second.begin(), p.second.end());
        }
        ASSERT_FALSE(image_bytes_.empty());
        blocks_.push_back(clean.drive.config);
        // The state before any run: read on a fresh machine.
        {
            Install(MachineFor(s));
            DriveView before = ReadDrive(s);
            blocks_.push_back(before.config);
            old_text_ = (s.sata || s.config_path) ? Text(before.config.data() + image::kConfigVersion, 8) : before.mp_text;
            sim::ResetMachine();
        }
        std::vector<std::string> clean_problems;
        std::string clean_state = StateOf(clean.drive, &clean_problems);
        std::string clean_after = StateOf(clean.after_cycle, &clean_problems);
        CheckSequence(clean, &clean_problems);
        ASSERT_TRUE(clean_problems.empty()) << clean_problems[0];
        ASSERT_EQ(clean_state, "new firmware");
        ASSERT_EQ(clean_after, "new firmware");
        std::string clean_verdict = JudgeVerdict(clean, clean_state, clean_after, &clean_problems);
        ASSERT_TRUE(clean_problems.empty()) << clean_problems[0];
        ASSERT_EQ(clean_verdict, "running-new 0");
        Record(0, "-", "none", "clean", false, clean, clean_state, clean_after, {}, "", clean_verdict);

        std::map<std::string, int> outcomes;
        int runs = 0, with_problems = 0, garbled_runs = 0, garbled_success = 0, garbled_foreign_block = 0;
        for (int n = 1; n <= n_requests; ++n) {
            const DecodedRequest& target = clean.requests[n - 1];
            std::vector<sim::FaultAction> ways = {sim::FaultAction::kWin32Error};
            if (target.label.compare(0, 8, "0004D014") == 0) ways.push_back(sim::FaultAction::kCheckCondition);
            bool ata = target.label.compare(0, 8, "0004D030") == 0 ||
                       (s.sata && target.label.find(" cdb A1") != std::string::npos);
            if (ata) ways.push_back(sim::FaultAction::kAtaError);
            // The drive gone right here; a block read answered with plausible garbage.
            ways.push_back(sim::FaultAction::kVanish);
            bool block_read = (target.kind == ReqKind::kConfigRead || target.kind == ReqKind::kMpRead) &&
                              target.data_phase && target.phase != 1;
            if (block_read) ways.push_back(sim::FaultAction::kGarble);
            for (sim::FaultAction way : ways) {
                const bool once_only = way == sim::FaultAction::kVanish || way == sim::FaultAction::kGarble;
                for (bool for_good : {false, true}) {
                    if (for_good && once_only) continue;
                    RunResult r = RunOnce(n, way, for_good);
                    std::vector<std::string> problems = r.problems;
                    bool fired = r.countdown.first_failed == n;
                    if (!fired && r.countdown.failed != 0)
                        problems.push_back("the countdown failed request " + std::to_string(r.countdown.first_failed));
                    // Garbage the drive answered with is not a failure the tool can
                    // see: what it does with it is recorded, the run's hygiene is judged.
                    std::vector<std::string> observed;
                    std::vector<std::string>& judged = way == sim::FaultAction::kGarble ? observed : problems;
                    std::string state = StateOf(r.drive, &judged);
                    std::string after = StateOf(r.after_cycle, &judged);
                    CheckSequence(r, &judged);
                    std::string verdict = JudgeVerdict(r, state, after, &judged);
                    if (!s.sata && r.outcome == "success" && (state != "new firmware" || after != "new firmware"))
                        judged.push_back("success without the new firmware and version running");
                    // A failed piece, commit or write is success only where its
                    // failure is ignored on purpose: a bridge's completion phase.
                    bool must_fail = target.kind == ReqKind::kDownload || target.kind == ReqKind::kCommit ||
                                     target.kind == ReqKind::kConfigWrite || target.kind == ReqKind::kMpWrite;
                    if (!s.sata && fired && must_fail && target.phase != 3 && r.outcome == "success")
                        problems.push_back("success after a failed " + std::string(KindName(target.kind)));
                    if (r.outcome == "refused") {
                        for (const DecodedRequest& q : r.requests)
                            if (q.kind != ReqKind::kOther && q.kind != ReqKind::kConfigRead && q.kind != ReqKind::kMpRead)
                                problems.push_back("refused run sent " + q.label);
                        if (state != "old firmware") problems.push_back("refused run changed the drive");
                    }
                    ++runs;
                    ++outcomes[r.outcome + " / " + state + (after != state ? " / after a power cycle: " + after : "")];
                    if (!problems.empty()) {
                        ++with_problems;
                        ADD_FAILURE() << s.name << " n=" << n << " (" << target.label << ") " << WayName(way)
                                      << (for_good ? " for good" : " once") << ": " << r.outcome << ", " << state
                                      << ": " << problems[0] << (problems.size() > 1 ? " (and more)" : "");
                    }
                    // A SATA drive that refuses a piece or the configuration
                    // write says so, on either way in: success means the new
                    // firmware runs, now and after a power cycle.
                    if (s.sata && r.outcome == "success" &&
                        (state.compare(0, 12, "old firmware") == 0 || after.compare(0, 12, "old firmware") == 0))
                        judged.push_back("success while the old firmware runs");
                    std::string note;
                    for (const std::string& o : observed) note += (note.empty() ? "garbled: " : "; ") + o;
                    if (way == sim::FaultAction::kGarble) {
                        ++garbled_runs;
                        garbled_success += r.outcome == "success";
                        garbled_foreign_block +=
                            std::find(observed.begin(), observed.end(),
                                      "configuration block is none the update produces") != observed.end();
                    }
                    Record(n, target.label, WayName(way), for_good ? "for-good" : "once", fired, r, state, after, problems,
                           note, verdict);
                }
            }
        }
        double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        std::string summary = s.name + ": N=" + std::to_string(n_requests) + ", " +
                              std::to_string(runs) + " faulted runs, " + std::to_string(with_problems) +
                              " with problems, " + std::to_string(garbled_runs) + " garbled (" +
                              std::to_string(garbled_success) + " of them ended in success, " +
                              std::to_string(garbled_foreign_block) +
                              " left a configuration block no sound update writes), " +
                              std::to_string(static_cast<int>(seconds * 1000)) + " ms;";
        for (const auto& o : outcomes) summary += " [" + o.first + "] " + std::to_string(o.second) + ";";
        std::lock_guard<std::mutex> lock(g_rows_mutex);
        g_summary.push_back(summary);
    }

    void Record(int n, const std::string& request, const char* way, const char* mode, bool fired,
                const RunResult& r, const std::string& state, const std::string& after,
                const std::vector<std::string>& problems, const std::string& note, const std::string& verdict) {
        Row row;
        row.scenario = GetParam().name;
        row.n = n;
        row.request = request;
        row.way = way;
        row.mode = mode;
        row.fired = fired;
        row.outcome = r.outcome;
        row.state = state;
        row.after_cycle = after;
        row.note = note;
        row.verdict = verdict;
        for (const std::string& p : problems) row.problems += (row.problems.empty() ? "" : "; ") + p;
        std::lock_guard<std::mutex> lock(g_rows_mutex);
        g_rows.push_back(row);
    }

    void TearDown() override {
        sim::DisarmCountdown();
        UpdateFixture::TearDown();
    }

    std::map<uint64_t, std::vector<uint8_t>> image_;  // offset → bytes, from the clean run
    std::vector<uint8_t> image_bytes_;
    std::vector<std::vector<uint8_t>> blocks_;  // configuration blocks a sound run may leave
    std::string old_text_;
};

TEST_P(FaultSweep, EveryRequestFailedInTurn) { Sweep(); }

std::vector<Scenario> Scenarios() {
    struct Att {
        Attachment a;
        const char* name;
    };
    std::vector<Scenario> out;
    const Att nvme[] = {{Attachment::kNativeNvme, "Native"},
                        {Attachment::kRst, "Rst"},
                        {Attachment::kAsmedia, "Asmedia"},
                        {Attachment::kJmicron, "Jmicron"},
                        {Attachment::kRealtek, "Realtek"}};
    for (const Att& a : nvme)
        for (bool config : {false, true})
            for (bool before : {false, true}) {
                out.push_back({std::string("Nvme") + a.name + (config ? "Config" : "Plain") + (before ? "Before" : "After"),
                               false, a.a, config, before});
            }
    const Att sata[] = {{Attachment::kSataPort, "SataPort"},
                        {Attachment::kUsbSata, "SataUsbBridge"},
                        {Attachment::kScsiAdapter, "SataScsiAdapter"}};
    for (const Att& a : sata) {
        out.push_back({a.name, true, a.a, true, false});
    }
    return out;
}

INSTANTIATE_TEST_SUITE_P(Updates, FaultSweep, ::testing::ValuesIn(Scenarios()),
                         [](const ::testing::TestParamInfo<Scenario>& info) { return info.param.name; });

}  // namespace
