// Unattended runs, their exit codes and reports, and the dry run, through the
// whole tool on the simulated machine.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "app/app_main.h"
#include "app/dialog_ids.h"
#include "platform/host/host_control.h"
#include "platform/sim/sim_machine.h"
#include "platform/storage_layouts.h"
#include "res/version.h"
#include "tests/app/update_fixture.h"

namespace {

using sim::Attachment;
using nlohmann::json;

class RunReportE2E : public UpdateFixture {
protected:
    // The tool with this command line, left to itself; its exit code.
    int RunAlone(const std::string& words) {
        HostClearMessageBoxes();
        sim::ClearRequests();
        std::string line = words + " \"/report:" + ReportPath() + "\"";
        HostStartDialogThread([line]() { return AppMain(line.c_str()); });
        // Waiting for idle is what lets the virtual clock run the update.
        HostWaitForDialog();
        HostWaitIdle();
        return HostJoinDialogThread();
    }
    std::string ReportPath() { return tmp_.root + "/run report.json"; }
    json Report() {
        std::ifstream in(ReportPath());
        std::stringstream text;
        text << in.rdbuf();
        EXPECT_TRUE(std::ifstream(ReportPath() + ".txt").good()) << "the plain-text twin";
        return json::parse(text.str(), nullptr, false);
    }
    // The plain-text twin as label -> value, one line each ("Label: value").
    std::map<std::string, std::string> TwinLines() {
        std::ifstream in(ReportPath() + ".txt");
        std::map<std::string, std::string> lines;
        std::string line;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            const size_t colon = line.find(": ");
            if (colon != std::string::npos && line[0] != ' ') lines.emplace(line.substr(0, colon), line.substr(colon + 2));
        }
        return lines;
    }
    int Count(uint32_t ioctl) {
        int n = 0;
        for (const sim::RequestRecord& r : sim::Requests()) n += r.ioctl == ioctl;
        return n;
    }
};

TEST_F(RunReportE2E, GoodNativeRunExitsZeroWithSlotsBeforeAndAfter) {
    sim::MachineDesc machine;
    sim::AddNvmeDrive(machine, 0, Attachment::kNativeNvme);
    Install(machine);
    UsePackage(DefaultTestPackage());
    EXPECT_EQ(RunAlone("/unattended /drive:0"), 0);
    EXPECT_TRUE(HostMessageBoxes().empty()) << "the tool answers its own boxes";
    json r = Report();
    ASSERT_FALSE(r.is_discarded());
    EXPECT_EQ(r["report_version"], 1);
    EXPECT_EQ(r["verdict"], "running-new");
    EXPECT_EQ(r["exit_code"], 0);
    EXPECT_EQ(r["result_code"], 1);
    EXPECT_EQ(r["drive"]["attachment"], "native");
    EXPECT_EQ(r["before"]["slots"]["active"], 1);
    EXPECT_EQ(r["after"]["slots"]["next_reset"], 0);
    EXPECT_EQ(r["after"]["slots"]["revisions"][0], "1A2B3C5E");
    EXPECT_NE(r["before"]["slots"]["revisions"][0], "1A2B3C5E");
    EXPECT_EQ(r["package"]["images"][0]["version"], "1A2B3C5E");
    EXPECT_FALSE(r["log"].empty()) << "the log is kept without /debug";
    EXPECT_TRUE(HostDebugLines().empty()) << "and the debugger stream stays silent";
    EXPECT_GE(r["stages"].size(), 5u);
}

TEST_F(RunReportE2E, RealtekWithoutResetIsPendingPowerCycle) {
    sim::MachineDesc machine;
    sim::DriveDesc& d = sim::AddNvmeDrive(machine, 1, Attachment::kRealtek);
    d.on_activate.leaves = false;  // the commit waits for a reset that never comes
    Install(machine);
    UsePackage(DefaultTestPackage());
    EXPECT_EQ(RunAlone("/unattended /drive:1"), 10);
    json r = Report();
    EXPECT_EQ(r["verdict"], "pending-reset");
    EXPECT_EQ(r["pending_reset"], "power-cycle");
    EXPECT_EQ(r["result_code"], -4) << "the tool's own code stays as it is";
    EXPECT_EQ(r["after"]["slots"]["next_reset"], 1);
}

// Both files come from one table of fields: each line of the twin carries
// the value its JSON field holds, and the version is the program's own.
TEST_F(RunReportE2E, TheTextTwinSaysWhatTheJsonSays) {
    sim::MachineDesc machine;
    sim::DriveDesc& d = sim::AddNvmeDrive(machine, 1, Attachment::kRealtek);
    d.on_activate.leaves = false;
    Install(machine);
    UsePackage(DefaultTestPackage());
    EXPECT_EQ(RunAlone("/unattended /drive:1"), 10);
    json r = Report();
    std::map<std::string, std::string> t = TwinLines();
    EXPECT_EQ(r["tool_version"], QN_VERSION_TEXT);
    EXPECT_EQ(t["Tool version"], QN_VERSION_TEXT);
    EXPECT_EQ(t["Report version"], std::to_string(r["report_version"].get<int>()));
    EXPECT_EQ(t["Package"], r["package"]["title"]);
    EXPECT_EQ(t["Image version"], r["package"]["images"][0]["version"]);
    EXPECT_EQ(t["Drive"], r["drive"]["model"]);
    EXPECT_EQ(t["Serial"], r["drive"]["serial"]);
    EXPECT_EQ(t["Attachment"], "realtek");
    EXPECT_EQ(t["Port"], std::to_string(r["drive"]["port"].get<int64_t>()));
    EXPECT_EQ(t["Physical drive before"], std::to_string(r["drive"]["physical_drive_before"].get<int>()));
    EXPECT_EQ(t["Physical drive after"], std::to_string(r["drive"]["physical_drive_after"].get<int>()));
    EXPECT_EQ(t["Revision before"], r["before"]["revision"]);
    EXPECT_EQ(t["Revision after"], r["after"]["revision"]);
    EXPECT_EQ(t["Slots after"], "active " + std::to_string(r["after"]["slots"]["active"].get<int>()) + ", next reset " +
                                    std::to_string(r["after"]["slots"]["next_reset"].get<int>()) + ", slot 1 " +
                                    r["after"]["slots"]["revisions"][0].get<std::string>());
    EXPECT_EQ(t["Verdict"], r["verdict"]);
    EXPECT_EQ(t["Waiting for"], r["pending_reset"]);
    EXPECT_EQ(t["Result code"], std::to_string(r["result_code"].get<int>()));
    EXPECT_EQ(t["Exit code"], "10");
    EXPECT_EQ(t.count("Refused by"), 0u) << "an empty field has no line";
    EXPECT_EQ(t.count("After"), 0u) << "the drive was found afterwards";
}

TEST_F(RunReportE2E, NativeDriveNeverReturningIsMissing) {
    sim::MachineDesc machine;
    sim::DriveDesc& d = sim::AddNvmeDrive(machine, 0, Attachment::kNativeNvme);
    d.on_activate.leaves = true;
    d.on_activate.returns = false;
    Install(machine);
    UsePackage(DefaultTestPackage());
    EXPECT_EQ(RunAlone("/unattended /drive:0"), 50);
    json r = Report();
    EXPECT_EQ(r["verdict"], "drive-missing");
    EXPECT_EQ(r["after"]["present"], false);
    EXPECT_TRUE(r["drive"]["physical_drive_after"].is_null());
    std::map<std::string, std::string> t = TwinLines();
    EXPECT_EQ(t["After"], "the drive was not found at its port");
    EXPECT_EQ(t.count("Physical drive after"), 0u);
    EXPECT_EQ(t.count("Revision after"), 0u);
    EXPECT_EQ(t["Revision before"], r["before"]["revision"]);
}

TEST_F(RunReportE2E, RefusalExitsTwentyWithTheCheck) {
    sim::MachineDesc machine;
    sim::AddNvmeDrive(machine, 0, Attachment::kNativeNvme);
    Install(machine);
    TestPackage package = DefaultTestPackage();
    package.Set("FWVersion", "|ZZZZ0000|");
    UsePackage(package);
    EXPECT_EQ(RunAlone("/unattended /drive:0"), 20);
    json r = Report();
    EXPECT_EQ(r["verdict"], "refused");
    EXPECT_NE(r["refused_by"].get<std::string>().find("Limit FW Versoin"), std::string::npos);
    EXPECT_TRUE(r["result_code"].is_null());
    EXPECT_EQ(Count(kIoctlStorageFirmwareDownload), 0);
}

TEST_F(RunReportE2E, SelectorAndCommandLineMistakes) {
    sim::MachineDesc machine;
    sim::AddNvmeDrive(machine, 0, Attachment::kNativeNvme);
    Install(machine);
    UsePackage(DefaultTestPackage());
    EXPECT_EQ(RunAlone("/unattended /drive:NOSUCHSERIAL"), 3);
    EXPECT_TRUE(Report()["verdict"].is_null());
    EXPECT_EQ(Count(kIoctlStorageFirmwareDownload), 0);
    EXPECT_EQ(RunAlone("/unattended"), 2);
    EXPECT_EQ(RunAlone("/drive:0"), 2);
}

TEST_F(RunReportE2E, DryRunSendsNoWriteAndPlansWhatTheRealRunSends) {
    sim::MachineDesc machine;
    sim::AddNvmeDrive(machine, 0, Attachment::kNativeNvme);
    Install(machine);
    UsePackage(DefaultTestPackage());
    EXPECT_EQ(RunAlone("/unattended /drive:0 /dryrun"), 20);
    EXPECT_EQ(Count(kIoctlStorageFirmwareDownload), 0);
    EXPECT_EQ(Count(kIoctlStorageFirmwareActivate), 0);
    for (const sim::RequestRecord& q : sim::Requests())
        EXPECT_TRUE(q.data_out.empty() || q.ioctl != kIoctlStorageProtocolCommand) << "a pass-through with data out";
    json plan = Report();
    EXPECT_EQ(plan["verdict"], "not-applied");
    EXPECT_EQ(plan["dry_run"], true);
    ASSERT_TRUE(plan["plan"].is_object());
    EXPECT_EQ(plan["plan"]["commit"]["slot"], 1);
    EXPECT_EQ(plan["before"]["revision"], plan["after"]["revision"]);
    const json& pieces = plan["plan"]["pieces"];
    ASSERT_FALSE(pieces.empty());

    // The real run: exactly the planned pieces, offset by offset.
    EXPECT_EQ(RunAlone("/unattended /drive:0"), 0);
    std::vector<std::pair<uint64_t, uint64_t>> sent;
    for (const sim::RequestRecord& q : sim::Requests()) {
        if (q.ioctl != kIoctlStorageFirmwareDownload || q.in.size() < 32) continue;
        // STORAGE_HW_FIRMWARE_DOWNLOAD: Offset at 16, BufferSize at 24.
        uint64_t offset = 0, size = 0;
        for (int i = 7; i >= 0; --i) offset = (offset << 8) | q.in[16 + i];
        for (int i = 7; i >= 0; --i) size = (size << 8) | q.in[24 + i];
        sent.push_back({offset, size});
    }
    ASSERT_EQ(sent.size(), pieces.size());
    for (size_t i = 0; i < sent.size(); ++i) {
        EXPECT_EQ(sent[i].first, pieces[i]["offset"].get<uint64_t>());
        EXPECT_EQ(sent[i].second, pieces[i]["size"].get<uint64_t>());
    }
}

}  // namespace
