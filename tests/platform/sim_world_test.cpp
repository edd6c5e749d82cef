// Drives that come and go while the tool works (hot unplug, leave_after),
// the machine file's knobs (ATA status, MP block) and what the request
// record keeps.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/host/host_control.h"
#include "platform/os.h"
#include "platform/sim/sim_machine.h"
#include "platform/storage_layouts.h"

namespace {

using sim::Attachment;
constexpr DWORD kErrorDevNotExist = 55;

HANDLE Open(const char16_t* path) {
    return os::CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL);
}

// IOCTL_STORAGE_GET_DEVICE_NUMBER: 0 when it worked, else the last error.
DWORD AskNumber(HANDLE h) {
    StorageDeviceNumber number = {};
    DWORD returned = 0;
    return os::DeviceIoControl(h, kIoctlStorageGetDeviceNumber, nullptr, 0, &number, sizeof number, &returned)
               ? 0
               : os::GetLastError();
}

// An ATA command on the native SATA port; the returned task file in *registers.
bool Ata(HANDLE h, uint8_t command, uint8_t features, uint8_t count, std::vector<uint8_t>* data, uint8_t* registers) {
    AtaPassThroughDirect aptd = {};
    aptd.Length = sizeof aptd;
    aptd.AtaFlags = kAtaFlagsDataIn;
    aptd.DataTransferLength = static_cast<uint32_t>(data->size());
    aptd.TimeOutValue = 10;
    aptd.DataBuffer = data->data();
    aptd.CurrentTaskFile[0] = features;
    aptd.CurrentTaskFile[1] = count;
    aptd.CurrentTaskFile[6] = command;
    DWORD returned = 0;
    if (!os::DeviceIoControl(h, kIoctlAtaPassThroughDirect, &aptd, sizeof aptd, &aptd, sizeof aptd, &returned))
        return false;
    std::memcpy(registers, aptd.CurrentTaskFile, 8);
    return true;
}

class SimWorld : public ::testing::Test {
protected:
    void SetUp() override { HostResetAll(); }
    void TearDown() override {
        EXPECT_EQ(0, sim::OpenHandleCount());
        sim::SetRequestObserver(nullptr);
        sim::KeepRequestPayloads(true);
        sim::ResetMachine();
        HostResetAll();
    }
    void Install(const sim::MachineDesc& m) {
        std::string error;
        ASSERT_TRUE(sim::InstallMachine(m, &error)) << error;
    }
};

TEST_F(SimWorld, UnpluggedDriveIsGoneUntilPluggedBack) {
    sim::MachineDesc m;
    sim::AddNvmeDrive(m, 0, Attachment::kNativeNvme);
    Install(m);
    HANDLE before = Open(u"\\\\.\\PhysicalDrive0");
    ASSERT_NE(INVALID_HANDLE_VALUE, before);
    EXPECT_EQ(0u, AskNumber(before));

    EXPECT_FALSE(sim::UnplugDrive("nosuch"));
    ASSERT_TRUE(sim::UnplugDrive("disk0"));
    EXPECT_EQ(kErrorDevNotExist, AskNumber(before));
    EXPECT_EQ(INVALID_HANDLE_VALUE, Open(u"\\\\.\\PhysicalDrive0"));
    // It does not come back by itself, however long one waits.
    HostClockAdvance(600000);
    EXPECT_FALSE(sim::DrivePresent("disk0"));

    ASSERT_TRUE(sim::PlugDrive("disk0"));
    EXPECT_EQ(0, sim::DriveNumber("disk0"));
    HANDLE after = Open(u"\\\\.\\PhysicalDrive0");
    ASSERT_NE(INVALID_HANDLE_VALUE, after);
    EXPECT_EQ(0u, AskNumber(after));
    EXPECT_EQ(kErrorDevNotExist, AskNumber(before));  // a handle from before stays stale
    os::CloseHandle(before);
    os::CloseHandle(after);
}

TEST_F(SimWorld, DriveLeavesAfterItsNthRequestAndReturnsMoved) {
    sim::MachineDesc m;
    sim::DriveDesc& d = sim::AddSataDrive(m, 1, Attachment::kSataPort);
    d.scsi.path = 2;
    d.leave_after.requests = 3;
    d.leave_after.how.leaves = true;
    d.leave_after.how.gone_seconds = 4;
    d.leave_after.how.return_number = 6;
    d.leave_after.how.moves = true;
    d.leave_after.how.moved_path_id = 5;
    Install(m);
    HANDLE h = Open(u"\\\\.\\PhysicalDrive1");
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(0u, AskNumber(h)) << "request " << i + 1 << " is before the drive leaves";
    EXPECT_EQ(kErrorDevNotExist, AskNumber(h));
    EXPECT_FALSE(sim::DrivePresent("disk1"));
    HostClockAdvance(3999);
    EXPECT_FALSE(sim::DrivePresent("disk1"));
    HostClockAdvance(1);
    EXPECT_EQ(6, sim::DriveNumber("disk1"));
    os::CloseHandle(h);
    h = Open(u"\\\\.\\PhysicalDrive6");
    ScsiAddress address = {};
    DWORD returned = 0;
    ASSERT_TRUE(os::DeviceIoControl(h, kIoctlScsiGetAddress, nullptr, 0, &address, sizeof address, &returned));
    EXPECT_EQ(5, address.PathId);
    // Once only: it stays after coming back.
    for (int i = 0; i < 5; ++i) EXPECT_EQ(0u, AskNumber(h));
    os::CloseHandle(h);
}

TEST_F(SimWorld, DriveLeavesAtItsTimeAndStaysAway) {
    const char* json = R"({ "drives": [ { "name": "n", "number": 0, "attachment": "native",
                                          "leave_after": { "seconds": 5 } } ] })";
    sim::MachineDesc m;
    std::string error;
    ASSERT_TRUE(sim::ParseMachineJson(json, "m.json", &m, &error)) << error;
    Install(m);
    HostClockAdvance(4999);
    EXPECT_TRUE(sim::DrivePresent("n"));
    HostClockAdvance(1);
    EXPECT_FALSE(sim::DrivePresent("n"));
    HostClockAdvance(3600000);
    EXPECT_FALSE(sim::DrivePresent("n"));
}

TEST_F(SimWorld, MachineFileKnobsAreRead) {
    sim::MachineDesc m;
    std::string error;
    std::string block(8192, '0');
    block.replace(0, 4, "A55A");
    std::string json = R"({ "drives": [ { "name": "s", "number": 4, "attachment": "sata_port", "ata_status": "0x58",
        "on_activate": { "gone_seconds": 1, "moves_to": { "path_id": 3 } }, "leaves_on_commit": true,
        "vendor": { "mp_block": ")" + block + R"(" } },
      { "name": "u", "number": 5, "attachment": "scsi_adapter", "on_activate": { "gone_seconds": 1 } },
      { "name": "n", "number": 6, "attachment": "native", "on_activate": { "gone_seconds": 1 } } ] })";
    ASSERT_TRUE(sim::ParseMachineJson(json, "m.json", &m, &error)) << error;
    EXPECT_EQ(0x58, m.drives[0].ata_status);
    EXPECT_TRUE(m.drives[0].sata_leaves_on_commit);
    EXPECT_EQ(3, m.drives[0].on_activate.moved_path_id);
    ASSERT_EQ(4096u, m.drives[0].vendor.mp_block.size());
    EXPECT_EQ(0xA5, m.drives[0].vendor.mp_block[0]);
    // Without leaves_on_commit on_activate of a SATA drive only serves tests' triggers.
    EXPECT_FALSE(m.drives[1].sata_leaves_on_commit);
    EXPECT_FALSE(m.drives[2].sata_leaves_on_commit);
    EXPECT_EQ(-1, m.drives[1].ata_status);

    EXPECT_FALSE(sim::ParseMachineJson(
        R"({ "drives": [ { "number": 0, "attachment": "native", "leave_after": { "gone_seconds": 1 } } ] })", "m.json",
        &m, &error));
    EXPECT_EQ("m.json:1: \"leave_after\" needs one of \"requests\" (from 1) or \"seconds\" (above 0)", error);
    EXPECT_FALSE(sim::ParseMachineJson(
        R"({ "drives": [ { "number": 0, "attachment": "native", "leaves_on_commit": true } ] })", "m.json", &m, &error));
    EXPECT_EQ("m.json:1: \"leaves_on_commit\" needs a SATA drive with \"on_activate\"", error);
}

TEST_F(SimWorld, AtaStatusOverrideAndMpBlockReachTheTool) {
    sim::MachineDesc m;
    sim::DriveDesc& plain = sim::AddSataDrive(m, 1, Attachment::kSataPort);
    plain.scsi.path = 1;
    sim::DriveDesc& odd = sim::AddSataDrive(m, 2, Attachment::kSataPort);
    odd.scsi.path = 2;
    odd.ata_status = 0x58;  // DRDY | DRQ: the drive says it still has data
    odd.vendor.mp_block.assign(4096, 0);
    for (size_t i = 0; i < 4096; ++i) odd.vendor.mp_block[i] = static_cast<uint8_t>(i * 7);
    Install(m);
    HANDLE a = Open(u"\\\\.\\PhysicalDrive1");
    HANDLE b = Open(u"\\\\.\\PhysicalDrive2");
    std::vector<uint8_t> identify(512);
    uint8_t registers[8];
    ASSERT_TRUE(Ata(a, 0xEC, 0, 1, &identify, registers));
    EXPECT_EQ(0x50, registers[6]);
    ASSERT_TRUE(Ata(b, 0xEC, 0, 1, &identify, registers));
    EXPECT_EQ(0x58, registers[6]);
    const sim::RequestRecord& r = sim::Requests().back();
    EXPECT_TRUE(r.ata);
    EXPECT_EQ(0x58, r.ata_registers[6]);
    EXPECT_FALSE(r.scsi);

    std::vector<uint8_t> geometry(4096);
    ASSERT_TRUE(Ata(b, 0xC3, 4, 8, &geometry, registers));
    EXPECT_EQ(odd.vendor.mp_block, geometry);
    ASSERT_TRUE(Ata(a, 0xC3, 4, 8, &geometry, registers));
    EXPECT_NE(odd.vendor.mp_block, geometry);
    os::CloseHandle(a);
    os::CloseHandle(b);
}

std::vector<sim::RequestRecord> g_seen;
void Remember(const sim::RequestRecord& r) { g_seen.push_back(r); }

TEST_F(SimWorld, RecordKeepsPayloadsOnlyWhenAskedButAlwaysTheOutcome) {
    sim::MachineDesc m;
    sim::AddSataDrive(m, 1, Attachment::kUsbSata);
    Install(m);
    g_seen.clear();
    sim::SetRequestObserver(Remember);
    HANDLE h = Open(u"\\\\.\\PhysicalDrive1");
    ScsiPassThroughDirectWithSense block = {};
    block.sptd.Length = sizeof block.sptd;
    block.sptd.CdbLength = 6;
    block.sptd.Cdb[0] = 0x3B;  // WRITE BUFFER: not something the bridge knows
    block.sptd.DataIn = kScsiIoctlDataUnspecified;
    block.sptd.SenseInfoLength = sizeof block.SenseBuffer;
    block.sptd.SenseInfoOffset = offsetof(ScsiPassThroughDirectWithSense, SenseBuffer);
    block.sptd.TimeOutValue = 5;
    DWORD returned = 0;
    HostClockAdvance(1234);
    ASSERT_TRUE(os::DeviceIoControl(h, kIoctlScsiPassThroughDirect, &block, sizeof block, &block, sizeof block,
                                    &returned));
    sim::KeepRequestPayloads(false);
    ASSERT_TRUE(os::DeviceIoControl(h, kIoctlScsiPassThroughDirect, &block, sizeof block, &block, sizeof block,
                                    &returned));
    os::CloseHandle(h);

    const std::vector<sim::RequestRecord>& all = sim::Requests();
    ASSERT_EQ(2u, all.size());
    ASSERT_EQ(2u, g_seen.size());
    for (const sim::RequestRecord& r : g_seen) {
        EXPECT_TRUE(r.scsi);
        EXPECT_EQ(2, r.scsi_status);  // CHECK CONDITION
        ASSERT_GE(r.sense.size(), 14u);
        EXPECT_EQ(0x05, r.sense[2] & 0x0F);
        EXPECT_EQ(0x20, r.sense[12]);
        EXPECT_EQ(returned, r.returned);
        EXPECT_EQ(kHostClockStart + 1234, r.tick);
    }
    EXPECT_EQ(sizeof block, all[0].in.size());
    EXPECT_EQ(returned, all[0].out.size());
    EXPECT_TRUE(all[1].in.empty());
    EXPECT_TRUE(all[1].out.empty());
}

}  // namespace
