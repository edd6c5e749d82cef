#include "tools/quillon-sim/sim_timeline.h"

#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "app/dialog_ids.h"
#include "app/update_worker.h"
#include "platform/host/host_control.h"
#include "platform/sim/sim_machine.h"
#include "tools/quillon-sim/sim_report.h"
#include "tools/quillon-sim/sim_script.h"

namespace {

// Results and shutdown calls are picked up from the dialog's thread (when
// RUN comes back) and from the script's thread (after a step): one at a time.
std::mutex g_mutex;
int g_results_seen = 0;
size_t g_calls_seen = 0;
int g_updates_ended = 0;
int g_updates_failed = 0;
// The box the dialog showed for the result being handled, and whether one was.
std::string g_result_box;
bool g_result_box_shown = false;

const char* AnswerName(int answer) {
    switch (answer) {
        case IDOK: return "ok";
        case IDCANCEL: return "cancel";
        case IDYES: return "yes";
        case IDNO: return "no";
        default: return "other";
    }
}

std::string Hex32(unsigned value) {
    char text[16];
    snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

std::string HexBytes(const uint8_t* bytes, size_t size) { return JsonHex(std::vector<unsigned char>(bytes, bytes + size)); }

void RecordRequest(const sim::RequestRecord& r) {
    std::string fields = ",\"path\": " + JsonString(Utf8(r.path)) + ", \"ioctl\": \"" + Hex32(r.ioctl) +
                         "\", \"input\": " + JsonHex(r.in) + ", \"data_out\": " + JsonHex(r.data_out) +
                         ", \"data_in\": " + JsonHex(r.data_in) + ", \"return\": " + std::to_string(r.result) +
                         ", \"last_error\": " + std::to_string(r.error) + ", \"drive\": " + JsonString(r.drive) +
                         ", \"output\": " + JsonHex(r.out) + ", \"returned\": " + std::to_string(r.returned);
    if (r.scsi)
        fields += ", \"scsi_status\": " + std::to_string(r.scsi_status) + ", \"sense\": " + JsonHex(r.sense);
    if (r.ata) fields += ", \"registers\": " + HexBytes(r.ata_registers, 8);
    TranscriptEventAt(r.tick, "request", fields);
}

const char* ShutdownName(unsigned long long flags) {
    if (flags & 8) return "power off";
    if (flags & 2) return "restart";
    return "other";
}

// Called with g_mutex held.
void TakeResultsAndShutdowns() {
    if (UpdateResultCount() != g_results_seen) {
        g_results_seen = UpdateResultCount();
        int code = LastUpdateResult();
        ++g_updates_ended;
        if (code != 1) ++g_updates_failed;
        TranscriptEvent("result", ",\"code\": " + std::to_string(code));
        if (g_result_box_shown) {
            printf("result: %d (%s)\n", code, g_result_box.c_str());
        } else {
            printf("result: %d\n", code);
        }
        g_result_box_shown = false;
    }
    std::vector<HostSystemCall> calls = HostSystemCalls();
    for (; g_calls_seen < calls.size(); ++g_calls_seen) {
        if (calls[g_calls_seen].name != "ExitWindowsEx") continue;
        unsigned long long flags = calls[g_calls_seen].value;
        TranscriptEvent("shutdown", ",\"flags\": " + std::to_string(flags));
        printf("shutdown: %s (flags %llu)\n", ShutdownName(flags), flags);
    }
    fflush(stdout);
}

}  // namespace

void WatchTheTool(bool debug, bool requests) {
    g_results_seen = UpdateResultCount();
    g_calls_seen = HostSystemCalls().size();
    if (debug) {
        HostDebugSetForward([](const WCH* text) {
            printf("debug: %s\n", Utf8(text).c_str());
            TranscriptEvent("log", ",\"text\": " + JsonString(Utf8(text)));
        });
    }
    HostObservers observers;
    observers.message_box = [](const HostMessageBox& box) {
        printf("%s -> %s\n", DescribeMessageBox(box).c_str(), AnswerName(box.answer));
        TranscriptEvent("msgbox", ",\"caption\": " + JsonString(Utf8(box.caption)) + ", \"text\": " +
                                      JsonString(Utf8(box.text)) + ", \"style\": " + std::to_string(box.style) +
                                      ", \"answer\": " + std::to_string(box.answer));
        std::lock_guard<std::mutex> lock(g_mutex);
        // The dialog counts a result before it shows that result's box.
        if (UpdateResultCount() != g_results_seen && !g_result_box_shown) {
            g_result_box = Utf8(box.text);
            for (size_t i = 0; (i = g_result_box.find_first_of("\r\n", i)) != std::string::npos;)
                g_result_box.replace(i, 1, " ");
            g_result_box_shown = true;
        }
    };
    observers.progress = [](int, int position) {
        TranscriptEvent("progress", ",\"position\": " + std::to_string(position));
    };
    // The dialog gives RUN back as the last thing it does with a result.
    observers.enabled = [](int id, bool enabled) {
        if (id != kIdRun || !enabled) return;
        std::lock_guard<std::mutex> lock(g_mutex);
        TakeResultsAndShutdowns();
    };
    HostSetObservers(observers);
    sim::KeepRequestPayloads(requests);
    sim::SetRequestObserver(requests ? RecordRequest : nullptr);
}

void RecordDialog() {
    std::string entries = "[";
    for (const HostComboItem& item : HostComboItems(kIdDriveList)) {
        if (entries.size() > 1) entries += ", ";
        entries += JsonString(Utf8(item.text));
    }
    entries += "]";
    TranscriptEvent("list", ",\"entries\": " + entries +
                                ", \"selected\": " + std::to_string(HostComboSelection(kIdDriveList)) +
                                ", \"run_enabled\": " + (HostControlEnabled(kIdRun) ? "true" : "false") +
                                ", \"list_enabled\": " + (HostControlEnabled(kIdDriveList) ? "true" : "false"));
    std::string lines = "[";
    for (int id : {kIdModel, kIdSerial, kIdInterface, kIdFirmware, kIdCapacity}) {
        if (lines.size() > 1) lines += ", ";
        lines += JsonString(Utf8(HostControlText(id)));
    }
    TranscriptEvent("info", ",\"lines\": " + lines + "]");
}

void RecordAfterStep() {
    std::lock_guard<std::mutex> lock(g_mutex);
    TakeResultsAndShutdowns();
}

int UpdatesEnded() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_updates_ended;
}

int UpdatesFailed() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_updates_failed;
}
