// Pins the bus numbers of the drive record to the SDK's STORAGE_BUS_TYPE:
// the record keeps the number the device descriptor returns, and the lists
// and checks compare it with these names. Nothing here generates code.
#include "core/disk_info.h"
#include "platform/os_types.h"

namespace {

// Our bus numbers (core/disk_info.h) are a plain enum; compare as numbers.
constexpr bool SameNumber(uint32_t ours, uint32_t theirs) { return ours == theirs; }
static_assert(SameNumber(kBusUnknown, BusTypeUnknown), "BusTypeUnknown");
static_assert(SameNumber(kBusScsi, BusTypeScsi), "BusTypeScsi");
static_assert(SameNumber(kBusAtapi, BusTypeAtapi), "BusTypeAtapi");
static_assert(SameNumber(kBusAta, BusTypeAta), "BusTypeAta");
static_assert(SameNumber(kBusUsb, BusTypeUsb), "BusTypeUsb");
static_assert(SameNumber(kBusRaid, BusTypeRAID), "BusTypeRAID");
static_assert(SameNumber(kBusIscsi, BusTypeiScsi), "BusTypeiScsi");
static_assert(SameNumber(kBusSas, BusTypeSas), "BusTypeSas");
static_assert(SameNumber(kBusSata, BusTypeSata), "BusTypeSata");
static_assert(SameNumber(kBusNvme, BusTypeNvme), "BusTypeNvme");

}  // namespace
