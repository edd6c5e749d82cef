// Stand-in until the SATA drive model lands (see nvme_drive_stub.cpp).
#include "platform/sim/sim_drive.h"

namespace sim {

SimDrive* NewSataDrive(const DriveSpec&, DriveHost*) { return nullptr; }

}  // namespace sim
