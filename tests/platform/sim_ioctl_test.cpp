// The simulated machine's answers to CreateFileW and DeviceIoControl: what
// it opens, how strictly it checks requests, what it records, faults, and
// drives leaving and coming back.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/disk_info.h"
#include "platform/host/host_control.h"
#include "platform/os.h"
#include "platform/sim/sim_machine.h"
#include "platform/storage_layouts.h"

namespace {

using sim::Attachment;

constexpr DWORD kErrorInvalidFunction = 1;
constexpr DWORD kErrorBadLength = 24;
constexpr DWORD kErrorDevNotExist = 55;
constexpr DWORD kErrorRevisionMismatch = 1306;

HANDLE Open(const char16_t* path, DWORD access = GENERIC_READ | GENERIC_WRITE) {
    return os::CreateFileW(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
}

class SimIoctl : public ::testing::Test {
protected:
    void SetUp() override {
        sim::MachineDesc m;
        sim::AddNvmeDrive(m, 0, Attachment::kNativeNvme).scsi.port = 2;
        sim::DriveDesc& usb = sim::AddNvmeDrive(m, 3, Attachment::kAsmedia);
        usb.on_power_cycle.return_number = 7;
        sim::AddSataDrive(m, 1, Attachment::kSataPort).scsi.path = 2;
        sim::AddVolume(m, 'C', "disk0");
        sim::AddVolume(m, 'E', "disk3");
        std::string error;
        ASSERT_TRUE(sim::InstallMachine(m, &error)) << error;
    }
    void TearDown() override {
        EXPECT_EQ(0, sim::OpenHandleCount());
        EXPECT_EQ(0, sim::OpenDeviceInfoSetCount());
        sim::ResetMachine();
    }
    static BOOL Ioctl(HANDLE h, DWORD code, void* in, DWORD in_size, void* out, DWORD out_size, DWORD* error) {
        DWORD returned = 0;
        BOOL ok = os::DeviceIoControl(h, code, in, in_size, out, out_size, &returned);
        *error = ok ? 0 : os::GetLastError();
        return ok;
    }
    static uint32_t BusType(HANDLE h) {
        uint8_t query[12] = {};
        uint8_t out[40] = {};
        DWORD error;
        if (!Ioctl(h, kIoctlStorageQueryProperty, query, sizeof query, out, sizeof out, &error)) return 0;
        uint32_t bus;
        std::memcpy(&bus, out + 28, 4);
        return bus;
    }
};

TEST_F(SimIoctl, OpensDrivesVolumesPortsByTheirPaths) {
    const char16_t* good[] = {u"\\\\.\\PhysicalDrive0", u"\\\\.\\PHYSICALDRIVE3", u"\\\\.\\physicaldrive1",
                              u"\\\\.\\C:", u"\\\\.\\e:", u"\\\\.\\scsi2:"};
    for (const char16_t* path : good) {
        HANDLE h = Open(path);
        EXPECT_NE(INVALID_HANDLE_VALUE, h);
        EXPECT_TRUE(os::CloseHandle(h));
    }
    const char16_t* bad[] = {u"\\\\.\\PhysicalDrive2", u"\\\\.\\PhysicalDrive", u"\\\\.\\PhysicalDrive0x",
                             u"\\\\.\\PhysicalDrive-1", u"\\\\.\\D:", u"\\\\.\\scsi9:", u"\\\\.\\scsi2",
                             u"\\\\?\\scsi#disk&nothing#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}"};
    for (const char16_t* path : bad) {
        EXPECT_EQ(INVALID_HANDLE_VALUE, Open(path));
        EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), os::GetLastError());
    }
    // Devices cannot be created or truncated.
    EXPECT_EQ(INVALID_HANDLE_VALUE, os::CreateFileW(u"\\\\.\\PhysicalDrive0", GENERIC_READ, 0, CREATE_ALWAYS, 0));
}

TEST_F(SimIoctl, AnswersWhereADiskSits) {
    HANDLE nvme = Open(u"\\\\.\\PhysicalDrive0");
    HANDLE usb = Open(u"\\\\.\\PhysicalDrive3");
    HANDLE sata = Open(u"\\\\.\\PhysicalDrive1");
    HANDLE volume = Open(u"\\\\.\\E:");
    EXPECT_EQ(kBusNvme, BusType(nvme));
    EXPECT_EQ(kBusUsb, BusType(usb));
    EXPECT_EQ(kBusSata, BusType(sata));
    StorageDeviceNumber number = {};
    DWORD error;
    ASSERT_TRUE(Ioctl(volume, kIoctlStorageGetDeviceNumber, nullptr, 0, &number, sizeof number, &error));
    EXPECT_EQ(7u, number.DeviceType);
    EXPECT_EQ(3u, number.DeviceNumber);
    EXPECT_EQ(1u, number.PartitionNumber);
    ScsiAddress address = {};
    ASSERT_TRUE(Ioctl(nvme, kIoctlScsiGetAddress, &address, sizeof address, &address, sizeof address, &error));
    EXPECT_EQ(8u, address.Length);
    EXPECT_EQ(2, address.PortNumber);
    ASSERT_TRUE(Ioctl(sata, kIoctlScsiGetAddress, &address, sizeof address, &address, sizeof address, &error));
    EXPECT_EQ(2, address.PathId);
    for (HANDLE h : {nvme, usb, sata, volume}) os::CloseHandle(h);
}

TEST_F(SimIoctl, RecordsEveryRequestWithItsBytes) {
    HANDLE usb = Open(u"\\\\.\\PhysicalDrive3");
    sim::ClearRequests();
    ScsiPassThroughDirectWithSense block = {};
    uint8_t data[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    block.sptd.Length = sizeof(ScsiPassThroughDirect);
    block.sptd.CdbLength = 16;
    block.sptd.SenseInfoLength = 24;
    block.sptd.SenseInfoOffset = offsetof(ScsiPassThroughDirectWithSense, SenseBuffer);
    block.sptd.DataIn = kScsiIoctlDataOut;
    block.sptd.DataTransferLength = sizeof data;
    block.sptd.DataBuffer = data;
    block.sptd.Cdb[0] = 0xEA;
    DWORD error;
    Ioctl(usb, kIoctlScsiPassThroughDirect, &block, sizeof block, &block, sizeof block, &error);
    StorageDeviceNumber number = {};
    Ioctl(usb, kIoctlStorageGetDeviceNumber, nullptr, 0, &number, 11, &error);
    os::CloseHandle(usb);
    const std::vector<sim::RequestRecord>& r = sim::Requests();
    ASSERT_EQ(2u, r.size());
    EXPECT_EQ(u"\\\\.\\PhysicalDrive3", r[0].path);
    EXPECT_EQ("disk3", r[0].drive);
    EXPECT_EQ(kIoctlScsiPassThroughDirect, r[0].ioctl);
    ASSERT_EQ(sizeof block, r[0].in.size());
    EXPECT_EQ(0xEA, r[0].in[offsetof(ScsiPassThroughDirect, Cdb)]);
    EXPECT_EQ(std::vector<uint8_t>(data, data + 8), r[0].data_out);
    EXPECT_EQ(kIoctlStorageGetDeviceNumber, r[1].ioctl);
    EXPECT_FALSE(r[1].result);
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), r[1].error);
}

// Flip one byte of a request the machine parses: it must notice.
TEST_F(SimIoctl, NoticesASingleWrongByte) {
    HANDLE disk = Open(u"\\\\.\\PhysicalDrive3");
    uint8_t query[12] = {};
    uint8_t out[40];
    DWORD error;
    ASSERT_TRUE(Ioctl(disk, kIoctlStorageQueryProperty, query, sizeof query, out, sizeof out, &error));
    for (size_t i = 0; i < 8; ++i) {  // PropertyId and QueryType; the rest is free
        uint8_t bad[12] = {};
        bad[i] = 0xA5;
        EXPECT_FALSE(Ioctl(disk, kIoctlStorageQueryProperty, bad, sizeof bad, out, sizeof out, &error)) << i;
    }
    EXPECT_FALSE(Ioctl(disk, kIoctlStorageQueryProperty, query, 11, out, sizeof out, &error));
    EXPECT_EQ(kErrorBadLength, error);

    ScsiPassThroughDirectWithSense good = {};
    uint8_t data[36];
    good.sptd.Length = sizeof(ScsiPassThroughDirect);
    good.sptd.CdbLength = 6;
    good.sptd.SenseInfoLength = 32;
    good.sptd.SenseInfoOffset = offsetof(ScsiPassThroughDirectWithSense, SenseBuffer);
    good.sptd.DataIn = kScsiIoctlDataIn;
    good.sptd.DataTransferLength = sizeof data;
    good.sptd.DataBuffer = data;
    good.sptd.Cdb[0] = 0x12;
    ScsiPassThroughDirectWithSense block = good;
    ASSERT_TRUE(Ioctl(disk, kIoctlScsiPassThroughDirect, &block, sizeof block, &block, sizeof block, &error)) << error;
    struct Flip {
        size_t offset;
        uint8_t value;
        DWORD error;
    };
    const Flip flips[] = {
        {offsetof(ScsiPassThroughDirect, Length), 44, kErrorRevisionMismatch},  // the 32-bit size on a 64-bit machine
        {offsetof(ScsiPassThroughDirect, CdbLength), 17, ERROR_INVALID_PARAMETER},
        {offsetof(ScsiPassThroughDirect, CdbLength), 0, ERROR_INVALID_PARAMETER},
        {offsetof(ScsiPassThroughDirect, DataIn), 3, ERROR_INVALID_PARAMETER},
        {offsetof(ScsiPassThroughDirect, SenseInfoOffset), 48, ERROR_INVALID_PARAMETER},  // inside the structure
        {offsetof(ScsiPassThroughDirect, SenseInfoLength), 200, ERROR_INVALID_PARAMETER},  // beyond the output
    };
    for (const Flip& f : flips) {
        block = good;
        reinterpret_cast<uint8_t*>(&block)[f.offset] = f.value;
        EXPECT_FALSE(Ioctl(disk, kIoctlScsiPassThroughDirect, &block, sizeof block, &block, sizeof block, &error))
            << f.offset;
        EXPECT_EQ(f.error, error) << f.offset;
    }
    block = good;
    EXPECT_FALSE(Ioctl(disk, kIoctlScsiPassThroughDirect, &block, sizeof block, &block, sizeof(ScsiPassThroughDirect) - 1,
                       &error));
    os::CloseHandle(disk);
}

TEST_F(SimIoctl, ChecksProtocolAndFirmwareStructures) {
    HANDLE disk = Open(u"\\\\.\\PhysicalDrive0");
    DWORD error;
    std::vector<uint8_t> pc(sizeof(StorageProtocolCommand) + 64 + 512, 0);
    StorageProtocolCommand* c = reinterpret_cast<StorageProtocolCommand*>(pc.data());
    c->Version = 2;
    c->Length = sizeof(StorageProtocolCommand);
    c->ProtocolType = kProtocolTypeNvme;
    c->CommandLength = 64;
    EXPECT_FALSE(Ioctl(disk, kIoctlStorageProtocolCommand, pc.data(), static_cast<DWORD>(pc.size()), pc.data(),
                       static_cast<DWORD>(pc.size()), &error));
    EXPECT_EQ(kErrorRevisionMismatch, error);
    c->Version = 1;
    c->CommandLength = 63;
    EXPECT_FALSE(Ioctl(disk, kIoctlStorageProtocolCommand, pc.data(), static_cast<DWORD>(pc.size()), pc.data(),
                       static_cast<DWORD>(pc.size()), &error));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), error);

    std::vector<uint8_t> fw(40 + 4096, 0);
    StorageHwFirmwareDownload* d = reinterpret_cast<StorageHwFirmwareDownload*>(fw.data());
    d->Version = 40;
    d->Size = 40 + 4096;
    d->BufferSize = 4094;  // not whole dwords
    EXPECT_FALSE(Ioctl(disk, kIoctlStorageFirmwareDownload, fw.data(), static_cast<DWORD>(fw.size()), nullptr, 0, &error));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), error);
    d->BufferSize = 8192;  // more than the request carries
    EXPECT_FALSE(Ioctl(disk, kIoctlStorageFirmwareDownload, fw.data(), static_cast<DWORD>(fw.size()), nullptr, 0, &error));
    StorageHwFirmwareActivate a = {16, 15, 1, 1, {}};
    EXPECT_FALSE(Ioctl(disk, kIoctlStorageFirmwareActivate, &a, sizeof a, nullptr, 0, &error));
    // Requests a disk of this attachment does not carry.
    HANDLE usb = Open(u"\\\\.\\PhysicalDrive3");
    a.Size = 16;
    EXPECT_FALSE(Ioctl(usb, kIoctlStorageFirmwareActivate, &a, sizeof a, nullptr, 0, &error));
    EXPECT_EQ(kErrorInvalidFunction, error);
    AtaPassThroughDirect ata = {};
    ata.Length = sizeof ata;
    EXPECT_FALSE(Ioctl(usb, kIoctlAtaPassThroughDirect, &ata, sizeof ata, &ata, sizeof ata, &error));
    EXPECT_EQ(kErrorInvalidFunction, error);
    os::CloseHandle(usb);
    os::CloseHandle(disk);
}

TEST_F(SimIoctl, HandlesWithoutWriteAccessCannotPassThrough) {
    HANDLE disk = Open(u"\\\\.\\PhysicalDrive3", GENERIC_READ);
    ScsiPassThroughDirectWithSense block = {};
    DWORD error;
    EXPECT_FALSE(Ioctl(disk, kIoctlScsiPassThroughDirect, &block, sizeof block, &block, sizeof block, &error));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), error);
    StorageDeviceNumber number = {};
    EXPECT_TRUE(Ioctl(disk, kIoctlStorageGetDeviceNumber, nullptr, 0, &number, sizeof number, &error));
    os::CloseHandle(disk);
    EXPECT_FALSE(Ioctl(disk, kIoctlStorageGetDeviceNumber, nullptr, 0, &number, sizeof number, &error));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), error);
}

TEST_F(SimIoctl, FaultsHitTheNthRequestOnceOrFromThenOn) {
    sim::MachineDesc m;
    sim::AddSataDrive(m, 0, Attachment::kSataPort);
    sim::AddFault(m, "disk0", sim::FaultMatch::kIoctl, kIoctlScsiGetAddress, 2).win32_error = ERROR_IO_DEVICE;
    sim::AddFault(m, "disk0", sim::FaultMatch::kIoctl, kIoctlStorageGetDeviceNumber, 3).every = true;
    sim::FaultDesc& cc = sim::AddFault(m, "disk0", sim::FaultMatch::kCdb, 0x12, 1);
    cc.action = sim::FaultAction::kCheckCondition;
    ASSERT_TRUE(sim::InstallMachine(m));
    HANDLE disk = Open(u"\\\\.\\PhysicalDrive0");
    DWORD error;
    ScsiAddress address = {};
    std::vector<bool> got;
    for (int i = 0; i < 4; ++i)
        got.push_back(Ioctl(disk, kIoctlScsiGetAddress, &address, sizeof address, &address, sizeof address, &error));
    EXPECT_EQ((std::vector<bool>{true, false, true, true}), got);
    got.clear();
    StorageDeviceNumber number = {};
    for (int i = 0; i < 5; ++i)
        got.push_back(Ioctl(disk, kIoctlStorageGetDeviceNumber, nullptr, 0, &number, sizeof number, &error));
    EXPECT_EQ((std::vector<bool>{true, true, false, false, false}), got);

    ScsiPassThroughDirectWithSense block = {};
    uint8_t data[36];
    block.sptd.Length = sizeof(ScsiPassThroughDirect);
    block.sptd.CdbLength = 6;
    block.sptd.SenseInfoLength = 32;
    block.sptd.SenseInfoOffset = offsetof(ScsiPassThroughDirectWithSense, SenseBuffer);
    block.sptd.DataIn = kScsiIoctlDataIn;
    block.sptd.DataTransferLength = sizeof data;
    block.sptd.DataBuffer = data;
    block.sptd.Cdb[0] = 0x12;
    ASSERT_TRUE(Ioctl(disk, kIoctlScsiPassThroughDirect, &block, sizeof block, &block, sizeof block, &error));
    EXPECT_EQ(2, block.sptd.ScsiStatus);
    EXPECT_EQ(18, block.sptd.SenseInfoLength);
    EXPECT_EQ(0x70, block.SenseBuffer[0]);
    EXPECT_EQ(0x05, block.SenseBuffer[2]);
    EXPECT_EQ(0x24, block.SenseBuffer[12]);
    os::CloseHandle(disk);
}

TEST_F(SimIoctl, DriveLeavesAndComesBackOnTheVirtualClock) {
    HostClockSetAutoAdvance(false);
    HANDLE before = Open(u"\\\\.\\PhysicalDrive3");
    HANDLE volume = Open(u"\\\\.\\E:");
    sim::TriggerPowerCycle("disk3");
    DWORD error;
    StorageDeviceNumber number = {};
    EXPECT_FALSE(Ioctl(before, kIoctlStorageGetDeviceNumber, nullptr, 0, &number, sizeof number, &error));
    EXPECT_EQ(kErrorDevNotExist, error);
    EXPECT_EQ(INVALID_HANDLE_VALUE, Open(u"\\\\.\\PhysicalDrive3"));
    EXPECT_EQ(INVALID_HANDLE_VALUE, Open(u"\\\\.\\E:"));
    EXPECT_FALSE(sim::DrivePresent("disk3"));
    HostClockAdvance(4000);
    EXPECT_EQ(7, sim::DriveNumber("disk3"));
    EXPECT_EQ(INVALID_HANDLE_VALUE, Open(u"\\\\.\\PhysicalDrive3"));
    // The old handles stay dead; new ones see the new number.
    EXPECT_FALSE(Ioctl(before, kIoctlStorageGetDeviceNumber, nullptr, 0, &number, sizeof number, &error));
    EXPECT_FALSE(Ioctl(volume, kIoctlStorageGetDeviceNumber, nullptr, 0, &number, sizeof number, &error));
    HANDLE after = Open(u"\\\\.\\E:");
    ASSERT_TRUE(Ioctl(after, kIoctlStorageGetDeviceNumber, nullptr, 0, &number, sizeof number, &error));
    EXPECT_EQ(7u, number.DeviceNumber);
    for (HANDLE h : {before, volume, after}) os::CloseHandle(h);
    HostClockSetAutoAdvance(true);
}

TEST_F(SimIoctl, ANewMachineInvalidatesOldHandles) {
    HANDLE disk = Open(u"\\\\.\\PhysicalDrive0");
    EXPECT_EQ(1, sim::OpenHandleCount());
    sim::MachineDesc m;
    sim::AddNvmeDrive(m, 0, Attachment::kNativeNvme);
    ASSERT_TRUE(sim::InstallMachine(m));
    EXPECT_EQ(0, sim::OpenHandleCount());
    DWORD error;
    StorageDeviceNumber number = {};
    EXPECT_FALSE(Ioctl(disk, kIoctlStorageGetDeviceNumber, nullptr, 0, &number, sizeof number, &error));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), error);
    os::CloseHandle(disk);
}

}  // namespace
