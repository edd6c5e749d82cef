// Faults aimed narrower than an opcode: a CDB prefix, a bridge tunnel's
// phase, an NVMe vendor sub-operation, the nth of an operation; answers
// garbled instead of failed; a drive vanishing on a request. Each case
// tells a request the field must hit from one it must leave alone.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/host/host_control.h"
#include "platform/os.h"
#include "platform/sim/sim_machine.h"
#include "platform/storage_layouts.h"

namespace {

HANDLE Open(const char16_t* path) {
    return os::CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL);
}

// A SCSI pass-through with this CDB and no data: whether the IOCTL itself worked.
bool Scsi(HANDLE h, std::vector<uint8_t> cdb) {
    ScsiPassThroughDirectWithSense block = {};
    block.sptd.Length = sizeof block.sptd;
    block.sptd.CdbLength = static_cast<uint8_t>(cdb.size());
    std::memcpy(block.sptd.Cdb, cdb.data(), cdb.size());
    block.sptd.DataIn = kScsiIoctlDataUnspecified;
    block.sptd.SenseInfoLength = sizeof block.SenseBuffer;
    block.sptd.SenseInfoOffset = offsetof(ScsiPassThroughDirectWithSense, SenseBuffer);
    block.sptd.TimeOutValue = 5;
    DWORD returned = 0;
    return os::DeviceIoControl(h, kIoctlScsiPassThroughDirect, &block, sizeof block, &block, sizeof block, &returned);
}

// An NVMe admin command on a native drive, no data: whether the IOCTL worked.
bool Admin(HANDLE h, uint8_t opcode, uint32_t cdw12) {
    std::vector<uint8_t> pc(kStorageProtocolCommandFixedSize + 64, 0);
    StorageProtocolCommand c = {};
    c.Version = kStorageProtocolStructureVersion;
    c.Length = sizeof c;
    c.ProtocolType = kProtocolTypeNvme;
    c.CommandLength = kStorageProtocolCommandLengthNvme;
    c.CommandSpecific = kStorageProtocolSpecificNvmeAdminCommand;
    std::memcpy(pc.data(), &c, kStorageProtocolCommandFixedSize);
    pc[kStorageProtocolCommandFixedSize] = opcode;
    std::memcpy(pc.data() + kStorageProtocolCommandFixedSize + 48, &cdw12, 4);
    DWORD returned = 0;
    return os::DeviceIoControl(h, kIoctlStorageProtocolCommand, pc.data(), static_cast<DWORD>(pc.size()), pc.data(),
                               static_cast<DWORD>(pc.size()), &returned);
}

// IDENTIFY DEVICE on the native SATA port; empty when the IOCTL failed.
std::vector<uint8_t> Identify(HANDLE h) {
    std::vector<uint8_t> data(512);
    AtaPassThroughDirect aptd = {};
    aptd.Length = sizeof aptd;
    aptd.AtaFlags = kAtaFlagsDataIn;
    aptd.DataTransferLength = 512;
    aptd.TimeOutValue = 10;
    aptd.DataBuffer = data.data();
    aptd.CurrentTaskFile[1] = 1;
    aptd.CurrentTaskFile[6] = 0xEC;
    DWORD returned = 0;
    if (!os::DeviceIoControl(h, kIoctlAtaPassThroughDirect, &aptd, sizeof aptd, &aptd, sizeof aptd, &returned))
        return {};
    return data;
}

bool AskNumber(HANDLE h) {
    StorageDeviceNumber number = {};
    DWORD returned = 0;
    return os::DeviceIoControl(h, kIoctlStorageGetDeviceNumber, nullptr, 0, &number, sizeof number, &returned);
}

class SimAimedFaults : public ::testing::Test {
protected:
    void SetUp() override { HostResetAll(); }
    void TearDown() override {
        sim::DisarmCountdown();
        EXPECT_EQ(0, sim::OpenHandleCount());
        sim::ResetMachine();
    }
    // A machine of one drive (named "d", physical drive 1) and the faults of a JSON list.
    void Install(const char* attachment, const std::string& faults) {
        const bool usb = std::string(attachment) == "asmedia";
        std::string text = std::string(R"({ "host_controllers": [ { "id": "PCI\\HC\\1", "bus": 0 } ],
            "hubs": [ { "id": "USB\\ROOT_HUB30\\1", "parent": "PCI\\HC\\1" } ],
            "drives": [ { "name": "d", "number": 1, "attachment": ")") +
                           attachment + "\"" +
                           (usb ? R"(, "usb": { "hub": "USB\\ROOT_HUB30\\1", "location": "Port_#0002.Hub_#0001" })" : "") +
                           R"( } ], "faults": )" + faults + " }";
        sim::MachineDesc m;
        std::string error;
        ASSERT_TRUE(sim::ParseMachineJson(text, "m.json", &m, &error)) << error;
        ASSERT_TRUE(sim::InstallMachine(m, &error)) << error;
        h_ = Open(u"\\\\.\\PhysicalDrive1");
        ASSERT_NE(INVALID_HANDLE_VALUE, h_);
    }
    void Close() { os::CloseHandle(h_); }
    HANDLE h_ = INVALID_HANDLE_VALUE;
};

TEST_F(SimAimedFaults, CdbPrefixHitsOnlyCdbsThatBeginWithIt) {
    Install("asmedia", R"([ { "drive": "d", "cdb_prefix": "E6 06", "every": true } ])");
    EXPECT_TRUE(Scsi(h_, {0xE6, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_FALSE(Scsi(h_, {0xE6, 0x06, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_TRUE(Scsi(h_, {0x12, 0, 0, 0, 36, 0}));
    Close();
}

TEST_F(SimAimedFaults, PhaseHitsOnlyThatPhaseOfTheTunnel) {
    Install("asmedia", R"([ { "drive": "d", "phase": 2, "nth": 2 } ])");
    const std::vector<uint8_t> command = {0xEA, 0x5A, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    const std::vector<uint8_t> data = {0xEA, 0x5A, 0x81, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    const std::vector<uint8_t> done = {0xEA, 0x5A, 0x82, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    for (int round = 1; round <= 3; ++round) {
        EXPECT_TRUE(Scsi(h_, command)) << round;
        EXPECT_EQ(round != 2, Scsi(h_, data)) << "the second data phase, counted among data phases only: " << round;
        EXPECT_TRUE(Scsi(h_, done)) << round;
    }
    Close();
}

TEST_F(SimAimedFaults, SubOperationHitsOnlyThatVendorCommand) {
    Install("native", R"([ { "drive": "d", "nvme": "0xFE", "sub": "0x63", "every": true } ])");
    EXPECT_TRUE(Admin(h_, 0xFE, 0x82));
    EXPECT_FALSE(Admin(h_, 0xFE, 0x63));
    EXPECT_TRUE(Admin(h_, 0xFD, 0x63));
    EXPECT_TRUE(Admin(h_, 0xFE, 0x82));
    Close();
}

TEST_F(SimAimedFaults, NthCountsFromTheOperationsStart) {
    Install("native", R"([ { "drive": "d", "ioctl": "0x002D1080", "nth": 2, "count_from": "operation" } ])");
    EXPECT_TRUE(AskNumber(h_));
    EXPECT_FALSE(AskNumber(h_));
    EXPECT_TRUE(AskNumber(h_));
    sim::BeginOperation();
    EXPECT_TRUE(AskNumber(h_));
    EXPECT_FALSE(AskNumber(h_)) << "counted again from the operation's start";
    EXPECT_TRUE(AskNumber(h_));
    Close();
}

TEST_F(SimAimedFaults, GarbleAnswersWithSpoiltDataTheSameWayEachTime) {
    Install("sata_port", "[]");
    const std::vector<uint8_t> clean = Identify(h_);
    ASSERT_EQ(512u, clean.size());
    Close();
    std::vector<std::vector<uint8_t>> spoilt;
    for (const char* mode : {"flip", "zero", "signature", "flip"}) {
        Install("sata_port", std::string(R"([ { "drive": "d", "ata": "0xEC", "fail": "garble", "seed": 7, "garble": ")") +
                                 mode + "\" } ]");
        std::vector<uint8_t> got = Identify(h_);
        ASSERT_EQ(512u, got.size()) << mode << ": a garbled answer still succeeds";
        EXPECT_NE(clean, got) << mode;
        EXPECT_EQ(clean, Identify(h_)) << mode << ": only the nth";
        EXPECT_EQ(got, sim::Requests()[0].data_in) << "the record shows what the tool got";
        spoilt.push_back(got);
        Close();
    }
    EXPECT_EQ(spoilt[0], spoilt[3]) << "same seed, same bytes";
    EXPECT_EQ(std::vector<uint8_t>(clean.begin() + 4, clean.end()), std::vector<uint8_t>(spoilt[2].begin() + 4, spoilt[2].end()));
    size_t zeros = 0;
    for (uint8_t b : spoilt[1]) zeros += b == 0;
    EXPECT_EQ(512u, zeros);
}

TEST_F(SimAimedFaults, VanishFaultAndCountdownTakeTheDriveAway) {
    Install("native", R"([ { "drive": "d", "ioctl": "0x002D1080", "nth": 2, "fail": "vanish" } ])");
    EXPECT_TRUE(AskNumber(h_));
    EXPECT_FALSE(AskNumber(h_));
    EXPECT_EQ(55u, os::GetLastError());
    HostClockAdvance(600000);
    EXPECT_FALSE(sim::DrivePresent("d"));
    ASSERT_TRUE(sim::PlugDrive("d"));
    Close();

    Install("sata_port", "[]");
    sim::ArmCountdown(2, sim::FaultAction::kVanish, false);
    EXPECT_TRUE(AskNumber(h_));
    EXPECT_FALSE(AskNumber(h_));
    EXPECT_EQ(55u, os::GetLastError());
    EXPECT_FALSE(sim::DrivePresent("d"));
    EXPECT_EQ(2, sim::GetCountdownStatus().first_failed);
    Close();

    Install("sata_port", "[]");
    const std::vector<uint8_t> clean = Identify(h_);
    sim::ArmCountdown(2, sim::FaultAction::kGarble, false);
    EXPECT_EQ(clean, Identify(h_));
    std::vector<uint8_t> got = Identify(h_);
    EXPECT_EQ(512u, got.size());
    EXPECT_NE(clean, got);
    EXPECT_EQ(clean, Identify(h_));
    EXPECT_EQ(1, sim::GetCountdownStatus().failed);
    Close();
}

}  // namespace
