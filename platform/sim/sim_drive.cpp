// Defaults of the drive interface: a request the drive does not know ends
// the way Windows ends an IOCTL the device does not implement.
#include "platform/sim/sim_drive.h"

#include <cstring>

namespace sim {

namespace {
constexpr DWORD kErrorInvalidFunction = 1;
}

Outcome Win32Failure(DWORD error) {
    Outcome outcome;
    outcome.win32_error = error;
    return outcome;
}

Outcome CheckCondition(uint8_t sense_key, uint8_t asc, uint8_t ascq) {
    Outcome outcome;
    outcome.scsi_status = 2;
    std::memset(outcome.sense, 0, sizeof outcome.sense);
    outcome.sense[0] = 0x70;  // current error, fixed format
    outcome.sense[2] = sense_key & 0x0F;
    outcome.sense[7] = 10;  // additional sense length: up to byte 17
    outcome.sense[12] = asc;
    outcome.sense[13] = ascq;
    outcome.sense_length = 18;
    return outcome;
}

Outcome SimDrive::Scsi(ScsiCommand&) { return Win32Failure(kErrorInvalidFunction); }
Outcome SimDrive::Ata(AtaCommand&) { return Win32Failure(kErrorInvalidFunction); }
Outcome SimDrive::Query(ProtocolQuery&) { return Win32Failure(kErrorInvalidFunction); }
Outcome SimDrive::Command(ProtocolCommand&) { return Win32Failure(kErrorInvalidFunction); }
Outcome SimDrive::Download(FirmwareDownload&) { return Win32Failure(kErrorInvalidFunction); }
Outcome SimDrive::Activate(FirmwareActivate&) { return Win32Failure(kErrorInvalidFunction); }
Outcome SimDrive::Miniport(MiniportRequest&) { return Win32Failure(kErrorInvalidFunction); }

}  // namespace sim
