// The machine's side of the request countdown (ArmCountdown in
// sim_machine.h). Called with the machine's lock held, from the request
// path only.
#pragma once

#include <cstdint>

#include "platform/sim/sim_drive.h"

namespace sim {

// A DeviceIoControl on a known handle begins: counts it and decides whether
// the countdown fails it. True when it fails the IOCTL itself (way
// kWin32Error), with the error in *error.
bool CountdownBegin(DWORD* error);
// Where the machine or a model applies a fault of this kind to the request
// in progress (TakeFaultFor): true with the outcome when the countdown fails
// it here. kCheckCondition applies to FaultMatch::kCdb, kAtaError to kAta.
// kVanish applies at the first fault point of any request (*vanish: the
// drive leaves there, the outcome carries ERROR_DEV_NOT_EXIST).
bool CountdownTake(FaultMatch match, Outcome* outcome, uint8_t* ata_error, bool* vanish);
// kGarble: true once for the request the countdown picks, with the seed
// and the mode for spoiling its data (answered as usual otherwise).
bool CountdownGarbleHere(GarbleMode* mode, uint32_t* seed);

}  // namespace sim
