// The drive side of the simulated machine.
//
// The machine answers the requests about where a disk sits (device number,
// SCSI address, device descriptor, SetupDi and CM) itself. Requests that
// talk to the drive are first checked the way Windows checks them (sizes,
// structure versions, offsets) and then handed, decoded, to the drive
// model of the disk, which speaks the drive's protocol:
//
//   IOCTL_SCSI_PASS_THROUGH_DIRECT         → Scsi      (bridge CDBs, SAT, INQUIRY)
//   IOCTL_ATA_PASS_THROUGH_DIRECT          → Ata       (native SATA ports only)
//   IOCTL_STORAGE_QUERY_PROPERTY 49 / 50   → Query     (native NVMe)
//   IOCTL_STORAGE_PROTOCOL_COMMAND         → Command   (native NVMe)
//   IOCTL_STORAGE_FIRMWARE_DOWNLOAD        → Download
//   IOCTL_STORAGE_FIRMWARE_ACTIVATE        → Activate
//   IOCTL_SCSI_MINIPORT on "\\.\scsiN:"    → Miniport  (the drive at the PathId byte 29 names)
//
// A model never sees a malformed Windows structure; it sees the protocol
// payload and answers with data and an Outcome. Faults on IOCTL codes and
// CDB opcodes are applied by the machine before the model is called; faults
// on NVMe and ATA commands are asked for by the model through
// DriveHost::TakeFault once it has decoded the command.
//
// Models: NewNvmeDrive (platform/sim/nvme_*.cpp) and NewSataDrive
// (platform/sim/sata_*.cpp). A model lives as long as the installed machine;
// it keeps its state (firmware slots, configuration block) while the drive
// is away and comes back.
#pragma once

#include <cstdint>

#include "platform/os_types.h"
#include "platform/sim/sim_machine.h"

namespace sim {

// How a request to a drive ended.
struct Outcome {
    // Non-zero: DeviceIoControl returns FALSE with this last error and
    // nothing else below counts.
    DWORD win32_error = 0;
    // SCSI pass-through: the status (0 GOOD, 2 CHECK CONDITION) and sense data.
    uint8_t scsi_status = 0;
    uint8_t sense[18] = {};
    uint8_t sense_length = 0;
    // Data bytes of the request NOT moved (SCSI residue); the machine writes
    // back DataTransferLength = requested length - residue. 0: all moved.
    uint32_t residue = 0;
};

// Helpers for models.
Outcome Win32Failure(DWORD error);
Outcome CheckCondition(uint8_t sense_key, uint8_t asc, uint8_t ascq);  // fixed-format sense, 18 bytes

// IOCTL_SCSI_PASS_THROUGH_DIRECT, decoded.
struct ScsiCommand {
    uint8_t cdb[16];
    uint8_t cdb_length;
    uint8_t data_in;  // kScsiIoctlDataOut / In / Unspecified
    uint8_t* data;    // DataBuffer (nullptr when length is 0)
    uint32_t length;  // DataTransferLength
    uint32_t timeout;
    uint8_t sense_capacity;  // SenseInfoLength the caller made room for
};

// IOCTL_ATA_PASS_THROUGH_DIRECT, decoded. The model writes the returned
// status (task_file[6]) and error (task_file[0]) registers; the machine
// starts them at DRDY (0x50) and 0.
struct AtaCommand {
    uint16_t flags;  // kAtaFlags*
    uint8_t previous[8];
    uint8_t task_file[8];  // out: what the drive returns (the machine presets status and error)
    uint8_t request[8];    // the request's CurrentTaskFile, as sent
    uint8_t* data;
    uint32_t length;
    uint32_t timeout;
};

// IOCTL_STORAGE_QUERY_PROPERTY with a protocol-specific property.
struct ProtocolQuery {
    uint32_t property_id;  // 49 adapter, 50 device
    uint32_t protocol_type;
    uint32_t data_type;  // kNvmeDataTypeIdentify / LogPage
    uint32_t request_value;
    uint32_t request_sub_value;
    uint8_t* data;  // ProtocolDataLength bytes, zeroed by the machine
    uint32_t length;
    uint32_t fixed_return;  // out: FixedProtocolReturnData
};

// IOCTL_STORAGE_PROTOCOL_COMMAND, decoded.
struct ProtocolCommand {
    uint32_t protocol_type;
    uint32_t flags;
    uint32_t command_specific;
    uint8_t command[64];  // the NVMe command
    const uint8_t* to_device;
    uint32_t to_device_length;
    uint8_t* from_device;
    uint32_t from_device_length;
    uint32_t return_status;  // out
    uint32_t error_code;     // out
    uint32_t fixed_return;   // out
};

// IOCTL_STORAGE_FIRMWARE_DOWNLOAD / _ACTIVATE, decoded.
struct FirmwareDownload {
    uint32_t flags;
    uint8_t slot;
    uint64_t offset;
    const uint8_t* image;
    uint64_t length;
};
struct FirmwareActivate {
    uint32_t flags;
    uint8_t slot;
};

// IOCTL_SCSI_MINIPORT, decoded: the SRB_IO_CONTROL header and the payload
// after it. The model writes its reply into out (the caller's output buffer
// behind the header), sets out_length to the payload bytes it returns and
// return_code to the header's ReturnCode.
struct MiniportRequest {
    char signature[8];
    uint32_t timeout;
    uint32_t control_code;
    const uint8_t* in;  // payload, in_length bytes
    uint32_t in_length;
    uint8_t* out;  // nullptr when the caller gave no output beyond the header
    uint32_t out_capacity;
    uint32_t out_length;
    uint32_t return_code;
};

// What a model may ask of the machine.
class DriveHost {
public:
    virtual ~DriveHost() = default;
    // Count one NVMe admin command (FaultMatch::kNvme) or ATA command
    // (kAta) of this drive; true when a fault applies to it, with the
    // Outcome to answer with (an IOCTL failure, a CHECK CONDITION) and, for
    // ATA errors, the error register in *ata_error.
    virtual bool TakeFault(FaultMatch match, uint32_t code, Outcome* outcome, uint8_t* ata_error) = 0;
    // The NVMe command about to be counted carries this vendor sub-operation
    // (CDW12); faults with a "sub" compare it.
    virtual void NoteSubOperation(uint32_t) {}
    // The firmware was activated / the bridge power-cycled: the drive leaves
    // as its ReturnDesc says. When it comes back the machine calls PowerOn.
    virtual void Leave(bool power_cycle) = 0;
    // Virtual time in milliseconds (os::GetTickCount64).
    virtual uint64_t Now() = 0;
};

// One drive's protocol. Every default answers "invalid function", which is
// what Windows gives for a request the device does not know.
class SimDrive {
public:
    virtual ~SimDrive() = default;
    virtual Outcome Scsi(ScsiCommand& command);
    virtual Outcome Ata(AtaCommand& command);
    virtual Outcome Query(ProtocolQuery& query);
    virtual Outcome Command(ProtocolCommand& command);
    virtual Outcome Download(FirmwareDownload& request);
    virtual Outcome Activate(FirmwareActivate& request);
    virtual Outcome Miniport(MiniportRequest& request);
    // Called when the drive comes back after leaving (the new firmware may run now).
    virtual void PowerOn() {}
};

// Models, one per drive kind; host outlives the model.
SimDrive* NewNvmeDrive(const DriveDesc& desc, DriveHost* host);
SimDrive* NewSataDrive(const DriveDesc& desc, DriveHost* host);

// A harness may stand between the machine and the models (the
// identification fuzzer alters their answers): when set, InstallMachine
// makes every drive's model with this function, which may call the
// factories above and wrap what they return. nullptr: the models alone.
using ModelFactory = SimDrive* (*)(const DriveDesc& desc, DriveHost* host);
void SetModelFactory(ModelFactory factory);

}  // namespace sim
