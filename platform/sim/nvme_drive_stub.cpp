// Stand-in until the NVMe drive model lands: drives without a model answer
// only what the machine itself knows (where they sit, what they are called).
// The NVMe model deletes this file when it defines NewNvmeDrive.
#include "platform/sim/sim_drive.h"

namespace sim {

SimDrive* NewNvmeDrive(const DriveSpec&, DriveHost*) { return nullptr; }

}  // namespace sim
