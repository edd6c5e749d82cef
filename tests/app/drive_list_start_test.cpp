// Through the headless dialog: the drive list at start-up, a Realtek bridge
// that keeps the old firmware, the build-number check of a drive without
// vendor information, and an image that goes away before the worker reads it.
#include <gtest/gtest.h>

#include "app/dialog_ids.h"
#include "app/update_worker.h"
#include "core/app_state.h"
#include "platform/host/host_control.h"
#include "platform/host/host_objects.h"
#include "platform/os.h"
#include "platform/sim/sim_machine.h"
#include "platform/wtext.h"
#include "tests/app/update_fixture.h"

namespace {

using sim::Attachment;

const char* kHc = "PCI\\VEN_8086&DEV_A36D\\3&11583659&0&A0";
const char* kRoot = "USB\\ROOT_HUB30\\4&1111&0&0";

class DriveListStart : public UpdateFixture {
protected:
    // A USB drive whose port identity comes out as 0: its location text does
    // not parse and its root hub is not among the listed hubs, so nothing is
    // added to the path.
    static sim::DriveDesc& AddPortZeroDrive(sim::MachineDesc& m, int number, Attachment attachment,
                                            const std::string& serial, const std::string& location) {
        sim::DriveDesc& d = sim::AddNvmeDrive(m, number, attachment);
        sim::PlugUsb(d, kRoot, 1, 1);
        d.usb.location = location;
        d.serial = serial;
        return d;
    }
    static sim::MachineDesc UsbMachine() {
        sim::MachineDesc m;
        sim::AddHostController(m, kHc, 0);
        sim::AddRootHub(m, kRoot, 0).listed = false;
        return m;
    }
};

TEST_F(DriveListStart, DriveAtPortZeroIsPreselectedTheLastOfThem) {
    sim::MachineDesc m = UsbMachine();
    sim::AddNvmeDrive(m, 0, Attachment::kNativeNvme).serial = "NATIVE";
    AddPortZeroDrive(m, 1, Attachment::kAsmedia, "ZEROFIRST", "");                 // no location at all
    AddPortZeroDrive(m, 2, Attachment::kJmicron, "ZEROSECOND", "Port #2, Hub #1");  // does not parse
    sim::AddNvmeDrive(m, 3, Attachment::kRst).serial = "RAID";
    Install(m);
    UsePackage(DefaultTestPackage());
    ASSERT_NE(Start(), nullptr);
    AppState* state = GetAppState();
    ASSERT_EQ(ListTexts().size(), 4u);
    ASSERT_EQ(state->iDiskCount, 4u);
    // Records are in drive-number order; only the two USB drives sit at port 0.
    EXPECT_GE(state->DiskList[0].iPort, 9000000000000000000ll);
    EXPECT_EQ(state->DiskList[1].iPort, 0);
    EXPECT_EQ(state->DiskList[2].iPort, 0);
    EXPECT_GE(state->DiskList[3].iPort, 9000000000000000000ll);
    // The selection still holds zeros when the list is first filled, so the
    // last drive at port 0 is the one chosen, not the first entry. (Choosing
    // it re-reads the slot by port, and the first disk found at port 0 is
    // drive 1: two drives at one identity cannot be told apart.)
    EXPECT_EQ(HostComboSelection(kIdDriveList), 2);
    EXPECT_EQ(state->SelectedDisk.iPort, 0);
    EXPECT_EQ(state->SelectedDisk.iCmdType, 0);
    EXPECT_TRUE(HostControlEnabled(kIdRun));
    Close();
}

TEST_F(DriveListStart, WithoutADriveAtPortZeroTheFirstEntryIsPreselected) {
    sim::MachineDesc m = UsbMachine();
    sim::AddNvmeDrive(m, 0, Attachment::kNativeNvme).serial = "NATIVE";
    sim::DriveDesc& usb = sim::AddNvmeDrive(m, 1, Attachment::kAsmedia);
    sim::AddRootHub(m, "USB\\ROOT_HUB30\\5&2222&0&0", 0);
    sim::PlugUsb(usb, "USB\\ROOT_HUB30\\5&2222&0&0", 4, 1);
    usb.serial = "USBFOUR";
    Install(m);
    UsePackage(DefaultTestPackage());
    ASSERT_NE(Start(), nullptr);
    AppState* state = GetAppState();
    ASSERT_EQ(ListTexts().size(), 2u);
    EXPECT_EQ(state->DiskList[1].iPort, 104);
    EXPECT_EQ(HostComboSelection(kIdDriveList), 0);
    EXPECT_EQ(std::u16string(state->SelectedDisk.szSerial).rfind(u"NATIVE", 0), 0u);
    EXPECT_EQ(HostControlText(kIdInterface), u"PCIE Gen3 Signaling Speed (8.0 Gbps) x 4");
    Close();
}

TEST_F(DriveListStart, NothingListedLeavesRunDisabledAndTheLinesEmpty) {
    sim::MachineDesc m;
    sim::DriveDesc& other = sim::AddNvmeDrive(m, 0, Attachment::kNativeNvme);
    other.model = "GENERIC NVME 256GB";
    other.vendor.family = false;
    Install(m);
    UsePackage(DefaultTestPackage());
    ASSERT_NE(Start(), nullptr);
    EXPECT_TRUE(ListTexts().empty());
    EXPECT_EQ(HostComboSelection(kIdDriveList), -1);
    EXPECT_FALSE(HostControlEnabled(kIdRun));
    for (int id : {kIdModel, kIdSerial, kIdInterface, kIdFirmware, kIdCapacity}) EXPECT_EQ(HostControlText(id), u"");
    Close();
}

// The worker gives a Realtek bridge no power cycle. A drive that does not
// reset on the commit by itself keeps running its old firmware, so the
// version check after the update fails with -4; the machine file makes such
// a drive reset with "on_activate" (the update tests use that).
TEST_F(DriveListStart, RealtekDriveThatDoesNotResetOnCommitEndsMinusFour) {
    sim::MachineDesc m;
    sim::DriveDesc& d = sim::AddNvmeDrive(m, 0, Attachment::kRealtek);
    ASSERT_FALSE(d.on_activate.leaves);  // the builder's default for a Realtek bridge
    ASSERT_FALSE(d.on_power_cycle.leaves);
    Install(m);
    UsePackage(DefaultTestPackage());
    ASSERT_NE(Start("/debug"), nullptr);
    EXPECT_EQ(HostControlText(kIdInterface), u"Realtek Bridge NVME to USB-1");
    int results = UpdateResultCount();
    HostClearMessageBoxes();
    HostDebugClear();
    ASSERT_EQ(HostPressButton(kIdRun), kHostDone);
    EXPECT_EQ(UpdateResultCount(), results + 1);
    EXPECT_EQ(LastUpdateResult(), -4);
    EXPECT_TRUE(Logged(u"Quillon Fail, DrvVer=1A2B3C4D, BinVer=1A2B3C5E"));
    EXPECT_LT(LogIndex(u"IO_USB_ASM_PowerCtrl"), 0);
    EXPECT_LT(LogIndex(u"IO_USB_JMI_PowerCtrl"), 0);
    ASSERT_EQ(HostMessageBoxes().size(), 1u);
    EXPECT_EQ(HostMessageBoxes()[0].text, u"Update FW Fail !");
    EXPECT_TRUE(sim::DrivePresent("disk0"));
    EXPECT_EQ(HostControlText(kIdFirmware), u"VX5A0100");
    EXPECT_TRUE(HostControlEnabled(kIdRun));
    EXPECT_TRUE(HostControlEnabled(kIdDriveList));
    EXPECT_EQ(GetAppState()->hWorkerThread, nullptr);
    EXPECT_EQ(sim::OpenHandleCount(), 0);
    EXPECT_EQ(sim::OpenDeviceInfoSetCount(), 0);
    EXPECT_EQ(HostMemoryBlocks(), 0);
    Close();
}

// A drive without vendor information never reaches the build-number step:
// neither the refusal nor the "removed" line, whatever the image says.
TEST_F(DriveListStart, FtlCheckNeverReachedWithoutVendorInformation) {
    for (const char* removed : {"0", "1"}) {
        SCOPED_TRACE(removed);
        sim::MachineDesc m;
        sim::DriveDesc& d = sim::AddNvmeDrive(m, 0, Attachment::kNativeNvme);
        d.vendor.drvinfo = sim::DrvInfoSource::kNone;
        d.vendor.mp_marker = 1768;
        d.vendor.mp_soc_id = 0x5236;
        d.vendor.mp_version = "1A2B3C4D";
        Install(m);
        TestPackage p = DefaultTestPackage();
        p.files = {{"VX500_B17A.bin", MakeTestImage(12, "1A2B3C5E", 0x00054321)}};
        p.Set("bRemoveFtlBuildNumCheck", removed);
        UsePackage(p);
        ASSERT_NE(Start("/debug"), nullptr);
        ASSERT_EQ(GetAppState()->SelectedDisk.bDrvInfoValid, 0);
        int results = UpdateResultCount();
        HostDebugClear();
        ASSERT_EQ(HostPressButton(kIdRun), kHostDone);
        EXPECT_EQ(UpdateResultCount(), results + 1);  // the worker ran
        EXPECT_LT(LogIndex(u"Limit iFtlBuildNum"), 0);
        EXPECT_LT(LogIndex(u"Remove FTL Build Num Check"), 0);
        Close();
    }
}

// The image is checked by the run button and read again by the worker; if it
// has gone in between (here while the confirmation box is up), the worker
// ends with 0 before any drive command and holds no memory.
TEST_F(DriveListStart, ImageGoneBeforeTheWorkerReadsItSendsNothing) {
    sim::MachineDesc m;
    sim::AddNvmeDrive(m, 0, Attachment::kNativeNvme);
    Install(m);
    TestPackage p = DefaultTestPackage();
    p.Set("BeforeMessage", "Update?");
    UsePackage(p);
    ASSERT_NE(Start("/debug"), nullptr);
    WCH image[260];
    FormatW(image, 260, u"%s\\VX500_B17A.bin", GetAppState()->szWorkDir);
    ASSERT_NE(os::GetFileAttributesW(image), INVALID_FILE_ATTRIBUTES);
    HostObservers observers;
    bool deleted = false;
    observers.message_box = [&](const HostMessageBox& box) {
        if (box.text != u"Update?") return;
        deleted = os::DeleteFileW(image) != FALSE;
        sim::ClearRequests();  // what the checks sent is done; the worker comes next
    };
    HostSetObservers(observers);
    int results = UpdateResultCount();
    HostDebugClear();
    ASSERT_EQ(HostPressButton(kIdRun), kHostDone);
    EXPECT_TRUE(deleted);
    EXPECT_EQ(UpdateResultCount(), results + 1);
    EXPECT_EQ(LastUpdateResult(), 0);
    EXPECT_LT(LogIndex(u"DISKLIB_NVME_DownloadFW"), 0);
    EXPECT_LT(LogIndex(u"DISKLIB_NVME_GetFWConfig"), 0);
    EXPECT_LT(LogIndex(u"DISKLIB_NVME_FWActive"), 0);
    EXPECT_TRUE(sim::Requests().empty());  // not one request reached the drive
    EXPECT_EQ(HostMemoryBlocks(), 0);
    EXPECT_TRUE(HostControlEnabled(kIdRun));
    EXPECT_EQ(sim::OpenHandleCount(), 0);
    Close();
}

}  // namespace
