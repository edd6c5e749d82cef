// Fuzzes drive identification against a simulated drive whose answers come
// from the fuzzer: the drive model answers as usual, and the harness, placed
// between the machine and the model, alters every answer that carries data
// back (Identify data, log pages, vendor blocks, bridge replies, INQUIRY)
// as the input says, or fails the request. Then the enumeration runs, and a
// search for the first drive by its port.
//   input: byte 0 the attachment, byte 1 options (see Options below); then
//   one record per answer, in the order the drive gives them:
//     flags: bit 7 fail the request, bit 6 zero the data first, bits 0-1 the
//     number of patches; each patch: offset (2 bytes, little-endian, taken
//     modulo the data length), count, count bytes.
//   When the input runs out, the answers are the model's own.
#include <cstring>
#include <vector>

#include "core/app_state.h"
#include "fuzz/fuzz_util.h"
#include "nvme/identify.h"
#include "platform/host/host_control.h"
#include "platform/sim/sim_drive.h"
#include "platform/sim/sim_machine.h"
#include "platform/storage_layouts.h"
#include "platform/wtext.h"
#include "sata/sata_identify.h"

namespace {

struct Stream {
    const uint8_t* data = nullptr;
    size_t size = 0;
    size_t at = 0;
    bool More() const { return at < size; }
    uint8_t Byte() { return at < size ? data[at++] : 0; }
};
Stream g_stream;

// What the next answer becomes. True: fail the request instead.
bool Alter(uint8_t* data, size_t length) {
    if (!g_stream.More()) return false;
    const uint8_t flags = g_stream.Byte();
    if (flags & 0x80) return true;
    if (!data || length == 0) return false;
    if (flags & 0x40) memset(data, 0, length);
    for (int p = 0; p < (flags & 3); ++p) {
        size_t offset = g_stream.Byte();
        offset |= size_t(g_stream.Byte()) << 8;
        offset %= length;
        const size_t count = g_stream.Byte();
        for (size_t i = 0; i < count && g_stream.More(); ++i) {
            const uint8_t b = g_stream.Byte();
            if (offset + i < length) data[offset + i] = b;
        }
    }
    return false;
}

sim::Outcome Answer(sim::Outcome outcome, uint8_t* data, size_t length) {
    if (outcome.win32_error != 0) return outcome;
    if (Alter(data, length)) return sim::Win32Failure(31);  // ERROR_GEN_FAILURE
    return outcome;
}

// The model with the fuzzer between it and the machine.
class FuzzedDrive : public sim::SimDrive {
public:
    explicit FuzzedDrive(sim::SimDrive* model) : model_(model) {}
    ~FuzzedDrive() override { delete model_; }
    sim::Outcome Scsi(sim::ScsiCommand& c) override {
        sim::Outcome o = model_->Scsi(c);
        if (c.data_in != kScsiIoctlDataIn) return o;
        return Answer(o, c.data, c.length > o.residue ? c.length - o.residue : 0);
    }
    sim::Outcome Ata(sim::AtaCommand& c) override {
        sim::Outcome o = model_->Ata(c);
        if (!(c.flags & kAtaFlagsDataIn)) return o;
        return Answer(o, c.data, c.length);
    }
    sim::Outcome Query(sim::ProtocolQuery& q) override { return Answer(model_->Query(q), q.data, q.length); }
    sim::Outcome Command(sim::ProtocolCommand& c) override {
        sim::Outcome o = model_->Command(c);
        if (!c.from_device_length) return o;
        return Answer(o, c.from_device, c.from_device_length);
    }
    sim::Outcome Download(sim::FirmwareDownload& r) override { return model_->Download(r); }
    sim::Outcome Activate(sim::FirmwareActivate& r) override { return model_->Activate(r); }
    sim::Outcome Miniport(sim::MiniportRequest& r) override {
        sim::Outcome o = model_->Miniport(r);
        if (!r.out) return o;
        return Answer(o, r.out, r.out_capacity);
    }
    void PowerOn() override { model_->PowerOn(); }

private:
    sim::SimDrive* model_;
};

sim::SimDrive* MakeModel(const sim::DriveDesc& desc, sim::DriveHost* host) {
    sim::SimDrive* model =
        desc.kind == sim::DriveKind::kNvme ? sim::NewNvmeDrive(desc, host) : sim::NewSataDrive(desc, host);
    return model ? new FuzzedDrive(model) : nullptr;
}

const sim::Attachment kAttachments[] = {sim::Attachment::kNativeNvme, sim::Attachment::kRst,
                                        sim::Attachment::kAsmedia,    sim::Attachment::kJmicron,
                                        sim::Attachment::kRealtek,    sim::Attachment::kSataPort,
                                        sim::Attachment::kUsbSata,    sim::Attachment::kScsiAdapter};
constexpr int kFirstSata = 5;

bool IsSata(uint8_t attachment) { return attachment % 8 >= kFirstSata; }

// Attachment (byte 0, modulo 8): five NVMe ones, then three SATA ones.
// Options (byte 1): bits 0-1 where the drive-information block comes from,
// bit 2 the second vendor command set, bit 3 the long MP-information layout
// (SATA: no geometry block), bit 4 4096-byte sectors, bit 5 a drive of
// another maker, bit 6 the RST drive reports BusTypeNvme, bit 7 a second
// drive on the machine.
sim::MachineDesc Machine(uint8_t attachment, uint8_t options) {
    sim::MachineDesc m;
    const bool sata = IsSata(attachment);
    sim::DriveDesc& d = sata ? sim::AddSataDrive(m, 0, kAttachments[attachment % 8])
                             : sim::AddNvmeDrive(m, 0, kAttachments[attachment % 8]);
    d.name = "fuzzed";
    const sim::DrvInfoSource sources[] = {sim::DrvInfoSource::kLogPage, sim::DrvInfoSource::kVendorCommand,
                                          sim::DrvInfoSource::kNone, sim::DrvInfoSource::kLogPage};
    d.vendor.drvinfo = sources[options & 3];
    d.vendor.command_set = (options >> 2) & 1;
    if ((options & 8) && sata) {
        d.vendor.mp_marker = 0;
    } else if (options & 8) {
        d.vendor.mp_marker = 1768;
        d.vendor.mp_soc_id = 0x1203;
        d.vendor.mp_version = "VX5A0100AB";
    }
    if (options & 0x10) {
        d.sector_size = 4096;
        d.blocks /= 8;
    }
    if (options & 0x20) d.vendor.family = false;
    if ((options & 0x40) && d.attachment == sim::Attachment::kRst) d.bus_type = 17;  // BusTypeNvme
    sim::AddVolume(m, 'C', "fuzzed");
    if (options & 0x80) {
        sim::DriveDesc& second = sata ? sim::AddSataDrive(m, 1, sim::Attachment::kSataPort)
                                      : sim::AddNvmeDrive(m, 1, sim::Attachment::kNativeNvme);
        second.name = "second";
        sim::AddVolume(m, 'D', "second");
    }
    return m;
}

void CheckRecord(const DiskInfo& disk, bool sata) {
    fuzz::Check(fuzz::Terminated(disk.szDevicePath, 64), "device path not terminated");
    fuzz::Check(fuzz::Terminated(disk.szModel, 64), "model not terminated");
    fuzz::Check(fuzz::Terminated(disk.szFWRevision, 64), "revision not terminated");
    fuzz::Check(fuzz::Terminated(disk.szSerial, 64), "serial not terminated");
    fuzz::Check(fuzz::Terminated(disk.szVolumes, 64), "volumes not terminated");
    fuzz::Check(fuzz::Terminated(disk.szDrvFWVersion, 64), "internal version not terminated");
    const int t = disk.iCmdType;
    if (sata)
        fuzz::Check(t == 16 || t == 17 || t == 18, "a listed SATA drive without a command path");
    else
        fuzz::Check(t == 0 || t == 1 || t == 2 || t == 3 || t == 4, "a listed drive without a transport");
    fuzz::Check(disk.iCapacityGB >= 16, "a listed drive below 16 GB");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    sim::SetModelFactory(MakeModel);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    std::string error;
    if (!sim::InstallMachine(Machine(data[0], data[1]), &error)) fuzz::Fail(error.c_str());
    g_stream = Stream{data + 2, size - 2, 0};
    GetAppState()->bDebug = 1;

    const bool sata = IsSata(data[0]);
    static DiskInfo list[26];
    const uint32_t count = sata ? EnumSataDisks(list, 26) : EnumNvmeDisks(list, 26);
    fuzz::Check(count <= 2, "more drives listed than the machine has");
    for (uint32_t i = 0; i < count; ++i) CheckRecord(list[i], sata);
    if (count > 0) {
        // After an update the worker finds the drive again by its port.
        DiskInfo again = list[0];
        if ((sata ? GetSataDiskInfoByPortID(&again, 1) : GetDiskInfoByPortID(&again, 1)) == 1)
            CheckRecord(again, sata);
    }
    fuzz::Check(sim::OpenHandleCount() == 0, "a drive handle left open");
    fuzz::Check(sim::OpenDeviceInfoSetCount() == 0, "a device information set left open");
    HostDebugClear();
    return 0;
}
