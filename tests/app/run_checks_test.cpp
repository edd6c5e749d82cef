// The run button's checks and refusals, the result message with PowerCtrl,
// and the drive list's labels and selection rules, through the dialog.
#include <gtest/gtest.h>

#include "app/dialog_ids.h"
#include "app/drive_list.h"
#include "app/admission.h"
#include "app/eligibility.h"
#include "app/update_worker.h"
#include "core/app_state.h"
#include "platform/host/host_control.h"
#include "platform/sim/sim_machine.h"
#include "tests/app/update_fixture.h"

namespace {

using sim::Attachment;

class RunChecks : public UpdateFixture {
protected:
    void StartWith(const TestPackage& package, bool debug, void (*tweak)(sim::DriveDesc&) = nullptr) {
        sim::MachineDesc machine;
        sim::DriveDesc& d = sim::AddNvmeDrive(machine, 0, Attachment::kNativeNvme);
        if (tweak) tweak(d);
        Install(machine);
        UsePackage(package);
        ASSERT_NE(Start(debug ? "/debug" : ""), nullptr);
    }
    // RUN pressed; the boxes it showed, and whether a worker ran.
    std::vector<HostMessageBox> Press(bool* worker_ran) {
        HostClearMessageBoxes();
        HostDebugClear();
        int results = UpdateResultCount();
        EXPECT_EQ(HostPressButton(kIdRun), kHostDone);
        *worker_ran = UpdateResultCount() != results;
        return HostMessageBoxes();
    }
    void ExpectRefusal(const TestPackage& package, const std::u16string& reason,
                       void (*tweak)(sim::DriveDesc&) = nullptr) {
        for (bool debug : {false, true}) {
            SCOPED_TRACE(debug ? "debug" : "normal");
            StartWith(package, debug, tweak);
            bool ran = true;
            std::vector<HostMessageBox> boxes = Press(&ran);
            EXPECT_FALSE(ran);
            ASSERT_EQ(boxes.size(), 1u);
            EXPECT_EQ(boxes[0].text, debug ? reason : u"Do not need to update.");
            EXPECT_EQ(boxes[0].caption, u"Quillon Test");
            EXPECT_EQ(boxes[0].style, MB_OK);
            if (debug)
                EXPECT_TRUE(Logged(reason));
            else
                EXPECT_TRUE(HostDebugLines().empty());
            EXPECT_TRUE(HostControlEnabled(kIdRun));
            EXPECT_TRUE(HostControlEnabled(kIdDriveList));
            Close();
        }
    }
};

TEST_F(RunChecks, RevisionNotOnTheList) {
    TestPackage p = DefaultTestPackage();
    p.Set("FWVersion", "|VX5A0101|VX5A0102|");
    ExpectRefusal(p, u"Limit FW Versoin : |VX5A0101|VX5A0102| (Disk Version : |VX5A0100|)");
}

TEST_F(RunChecks, NoImageForTheNand) {
    TestPackage p = DefaultTestPackage();
    p.nandmap = {{"2CC30832EA_2", "VX500_N48R.bin"}};
    ExpectRefusal(p, u"No this fw, Lun=1, NAND=89 C4 08 32 A6 00");
}

TEST_F(RunChecks, InternalVersionDiffers) {
    TestPackage p = DefaultTestPackage();
    p.Set("iInternalFWVersionCheckPart", "4");
    ExpectRefusal(p, u"Limit Drv FW Version : 1A2B3C4D, BinFileVer : 1A2B3C5E, Compare 4 Part");
}

TEST_F(RunChecks, FtlBuildNumberDiffers) {
    TestPackage p = DefaultTestPackage();
    std::vector<uint8_t> image = MakeTestImage(12, "1A2B3C5E", 0x00054321);
    p.files = {{"VX500_B17A.bin", image}};
    ExpectRefusal(p, u"Limit iFtlBuildNum : 0x00012345, 0x00054321");
}

TEST_F(RunChecks, LongListRefusalIsCutInsideItsBuffer) {
    TestPackage p = DefaultTestPackage();
    p.Set("FWVersion", "|" + std::string(250, 'Z') + "|");
    StartWith(p, true);
    bool ran = true;
    std::vector<HostMessageBox> boxes = Press(&ran);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text.size(), 259u);
    EXPECT_EQ(boxes[0].text.compare(0, 21, u"Limit FW Versoin : |Z"), 0);
    Close();
}

TEST_F(RunChecks, FtlCheckSkippedWhenRemovedOrWithoutVendorInformation) {
    TestPackage p = DefaultTestPackage();
    p.files = {{"VX500_B17A.bin", MakeTestImage(12, "1A2B3C5E", 0x00054321)}};
    p.Set("bRemoveFtlBuildNumCheck", "1");
    StartWith(p, true);
    bool ran = false;
    Press(&ran);
    EXPECT_TRUE(ran);
    EXPECT_TRUE(Logged(u"Remove FTL Build Num Check"));
    Close();
}

TEST_F(RunChecks, EmptyRevisionPassesOnlyAListWithAdjacentBars) {
    auto no_revision = [](sim::DriveDesc& d) { d.firmware = ""; };
    TestPackage p = DefaultTestPackage();
    p.Set("FWVersion", "|VX5A0100||");
    StartWith(p, true, no_revision);
    bool ran = false;
    Press(&ran);
    EXPECT_TRUE(ran);
    Close();
    p.Set("FWVersion", "|VX5A0100|");
    ExpectRefusal(p, u"Limit FW Versoin : |VX5A0100| (Disk Version : ||)", no_revision);
}

TEST_F(RunChecks, AnsweringNoStartsNothing) {
    TestPackage p = DefaultTestPackage();
    p.Set("BeforeMessage", "Update?<BR>Sure?");
    StartWith(p, false);
    HostScriptMessageBoxAnswer(IDNO);
    bool ran = true;
    std::vector<HostMessageBox> boxes = Press(&ran);
    EXPECT_FALSE(ran);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, u"Update?\r\nSure?");
    EXPECT_EQ(boxes[0].style, MB_YESNO | MB_ICONWARNING);
    EXPECT_TRUE(HostControlEnabled(kIdRun));
    EXPECT_TRUE(HostControlEnabled(kIdDriveList));
    Close();
}

// ---- the result ------------------------------------------------------------------------

struct PowerCase {
    int power_ctrl;
    bool box;
    UINT style;
    uint64_t exit_flags;  // 0: no shutdown
};

class ResultMessage : public RunChecks, public ::testing::WithParamInterface<PowerCase> {};

TEST_P(ResultMessage, AfterMessageByPowerCtrl) {
    const PowerCase& c = GetParam();
    TestPackage p = DefaultTestPackage();
    p.Set("AfterMessage", "Done.<BR>Restart.");
    p.Set("PowerCtrl", std::to_string(c.power_ctrl));
    StartWith(p, false);
    HostClearSystemCalls();
    bool ran = false;
    std::vector<HostMessageBox> boxes = Press(&ran);
    EXPECT_EQ(LastUpdateResult(), 1);
    if (!c.box) {
        EXPECT_TRUE(boxes.empty());
    } else {
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, u"Done.\r\nRestart.");
        EXPECT_EQ(boxes[0].style, c.style);
    }
    std::vector<HostSystemCall> calls = HostSystemCalls();
    std::vector<std::string> names;
    for (const HostSystemCall& call : calls) names.push_back(call.name);
    if (c.exit_flags) {
        ASSERT_EQ(names, (std::vector<std::string>{"OpenProcessToken", "LookupPrivilegeValueW",
                                                   "AdjustTokenPrivileges", "ExitWindowsEx"}));
        EXPECT_EQ(calls[0].value, TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY);
        EXPECT_EQ(calls[1].text, u"SeShutdownPrivilege");
        EXPECT_EQ(calls[1].text2, u"");
        EXPECT_EQ(calls[2].value, SE_PRIVILEGE_ENABLED);
        EXPECT_EQ(calls[3].value, c.exit_flags);
        EXPECT_EQ(calls[3].value2, 0u);
    } else {
        EXPECT_TRUE(names.empty());
    }
    EXPECT_TRUE(HostControlEnabled(kIdRun));
    EXPECT_TRUE(HostControlEnabled(kIdDriveList));
    Close();
}

INSTANTIATE_TEST_SUITE_P(PowerCtrl, ResultMessage,
                         ::testing::Values(PowerCase{0, true, MB_OK, 0},
                                           PowerCase{1, true, MB_OKCANCEL | MB_ICONINFORMATION, EWX_POWEROFF},
                                           PowerCase{2, true, MB_OKCANCEL | MB_ICONINFORMATION, EWX_REBOOT},
                                           PowerCase{3, false, 0, 0}));

TEST_F(RunChecks, CancelOrAnEmptyAfterMessageShutsNothingDown) {
    TestPackage p = DefaultTestPackage();
    p.Set("PowerCtrl", "1");
    StartWith(p, false);
    bool ran = false;
    EXPECT_TRUE(Press(&ran).empty());  // empty AfterMessage: nothing shown
    EXPECT_TRUE(ran);
    Close();
    p.Set("AfterMessage", "Power off?");
    StartWith(p, false);
    HostClearSystemCalls();
    HostScriptMessageBoxAnswer(IDCANCEL);
    EXPECT_EQ(Press(&ran).size(), 1u);
    for (const HostSystemCall& call : HostSystemCalls()) EXPECT_NE(call.name, "ExitWindowsEx");
    Close();
}

// ---- the list ---------------------------------------------------------------------------

TEST_F(RunChecks, LabelsVolumesLinkAndUsbDigits) {
    sim::MachineDesc machine;
    sim::DriveDesc& native = sim::AddNvmeDrive(machine, 0, Attachment::kNativeNvme);
    native.pci.link_speed = 0;
    native.pci.link_width = 4;
    sim::DriveDesc& usb = sim::AddNvmeDrive(machine, 1, Attachment::kAsmedia);
    usb.model = "VELQORAX VX500 1TB";
    sim::PlugUsb(usb, usb.usb.hub_id, 3, 1);
    sim::AddVolume(machine, 'D', "disk0");
    sim::AddVolume(machine, 'C', "disk0");
    Install(machine);
    UsePackage(DefaultTestPackage());
    ASSERT_NE(Start(), nullptr);
    EXPECT_EQ(ListTexts(), (std::vector<std::u16string>{u"VELQORAX VX500 512GB [C: D: ]", u"VELQORAX VX500 1TB (RAW)"}));
    EXPECT_EQ(HostControlText(kIdInterface), u" x 4");
    EXPECT_EQ(HostControlText(kIdCapacity), u"512 GB");
    ASSERT_EQ(HostSelectListEntry(kIdDriveList, 1), kHostDone);
    EXPECT_EQ(HostControlText(kIdInterface), u"ASMedia Bridge NVME to USB-3");
    EXPECT_EQ(GetAppState()->SelectedDisk.iCmdType, 0);
    Close();
}

TEST_F(RunChecks, LinkSpeedWithoutALabelShowsNone) {
    EXPECT_EQ(std::u16string(PcieLinkLabel(6)), u"");
    EXPECT_EQ(std::u16string(PcieLinkLabel(-1)), u"");
    EXPECT_EQ(std::u16string(PcieLinkLabel(5)), u"PCIE Gen5 Signaling Speed (32.0 Gbps)");
    EXPECT_EQ(std::u16string(SataLinkLabel(4)), u"");
    EXPECT_EQ(std::u16string(SataLinkLabel(3)), u"Serial ATA Gen3 Signaling Speed (6.0 Gbps)");
}

TEST_F(RunChecks, TwoRecordsAtOnePortTheLaterWins) {
    sim::MachineDesc machine;
    sim::AddNvmeDrive(machine, 0, Attachment::kNativeNvme).pci.controller_bus = 5;
    sim::DriveDesc& second = sim::AddNvmeDrive(machine, 1, Attachment::kNativeNvme);
    second.pci.controller_bus = 5;  // the same bus pair: the same port identity
    second.serial = "SECOND";
    Install(machine);
    UsePackage(DefaultTestPackage());
    ASSERT_NE(Start(), nullptr);
    EXPECT_EQ(HostComboSelection(kIdDriveList), 0);  // nothing at port 0: the first entry
    ASSERT_EQ(GetAppState()->DiskList[0].iPort, GetAppState()->DiskList[1].iPort);
    RefreshDriveList(HostDialogWindow(), 0);  // previous choice: the drive at that port
    EXPECT_EQ(HostComboSelection(kIdDriveList), 1);
    // Serial numbers keep their blanks.
    EXPECT_EQ(GetAppState()->SelectedDisk.szSerial, std::u16string(u"SECOND              "));
    Close();
}

TEST_F(RunChecks, DisconnectEntryIsNoDrive) {
    StartWith(DefaultTestPackage(), true);
    AppState* state = GetAppState();
    // A refresh during an update that no longer finds the chosen drive.
    state->SelectedDisk.iPort = 12345;
    state->hWorkerThread = reinterpret_cast<HANDLE>(1);
    RefreshDriveList(HostDialogWindow(), 0);
    state->hWorkerThread = nullptr;
    EXPECT_EQ(ListTexts(), (std::vector<std::u16string>{u"VELQORAX VX500 512GB (RAW)",
                                                       u"VELQORAX VX500 512GB (RAW) - Disconnect"}));
    EXPECT_EQ(HostComboSelection(kIdDriveList), 1);
    // Chosen afterwards: no re-identification (no time passes), no record,
    // and nothing left on screen of the drive that went away.
    os::SendDlgItemMessageW(HostDialogWindow(), kIdProgress, PBM_SETPOS, 70, 0);
    ASSERT_FALSE(HostControlText(kIdModel).empty());
    ULONGLONG before = HostClockNow();
    ASSERT_EQ(HostSelectListEntry(kIdDriveList, 1), kHostDone);
    EXPECT_EQ(HostClockNow(), before);
    EXPECT_EQ(state->SelectedDisk.szDevicePath[0], 0);
    for (int id : {kIdModel, kIdSerial, kIdInterface, kIdFirmware, kIdCapacity})
        EXPECT_EQ(HostControlText(id), u"") << id;
    EXPECT_EQ(HostProgressPosition(kIdProgress), 0);
    sim::ClearRequests();
    bool ran = true;
    std::vector<HostMessageBox> boxes = Press(&ran);
    EXPECT_FALSE(ran);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, u"No drive selected.");
    EXPECT_TRUE(sim::Requests().empty());  // nothing sent to any drive
    Close();
}

TEST_F(RunChecks, AdmitDriveFilters) {
    DiskInfo disk = {};
    std::u16string model = u"VELQORAX VX500 512GB";
    model.copy(disk.szModel, model.size());
    disk.iSocId = 0x5236;
    EXPECT_EQ(AdmitDrive(&disk, u"", u"*"), 1);
    EXPECT_EQ(AdmitDrive(&disk, u"|velqorax vx500 512gb|", u"*"), 1);
    EXPECT_EQ(AdmitDrive(&disk, u"|VELQORAX VX500|", u"*"), 0);
    EXPECT_EQ(AdmitDrive(&disk, u"", u""), 0);
    EXPECT_EQ(AdmitDrive(&disk, u"", u"VELQORAX"), 1);
    EXPECT_EQ(AdmitDrive(&disk, u"", u"velqorax"), 0);
    EXPECT_EQ(AdmitDrive(&disk, u"", u"0x5236"), 1);
    EXPECT_EQ(AdmitDrive(&disk, u"", u"0X5236"), 0);
    EXPECT_EQ(AdmitDrive(&disk, u"", u"0x5236 "), 0);
    disk.iSocId = 0xABCD;
    EXPECT_EQ(AdmitDrive(&disk, u"", u"0xabcd"), 0);
    EXPECT_EQ(AdmitDrive(&disk, u"", u"0xABCD"), 1);
    disk.iSocId = 0;
    EXPECT_EQ(AdmitDrive(&disk, u"", u"VELQORAX"), 0);
    EXPECT_EQ(AdmitDrive(&disk, u"", u"0x0000"), 1);
}

}  // namespace
