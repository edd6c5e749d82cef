// The simulated Windows storage machine: what it is made of and how tests
// and quillon-sim set it up and look at it afterwards.
//
// A machine is plain data (MachineDesc). It comes from a JSON file
// (LoadMachineFile, the format is in docs/simulator.md) or is built in C++
// with the Add* helpers below, and is then installed as the machine behind
// os::CreateFileW("\\.\..."), os::DeviceIoControl, os::SetupDi* and
// os::CM_*. Everything the tool asks of it is recorded (Requests) and every
// handle and device information set it hands out is counted, so a test can
// check what was sent and that nothing leaked.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/os_types.h"

namespace sim {

// ---- drives -------------------------------------------------------------------

enum class DriveKind : uint8_t { kNvme, kSata };

// How the drive is attached; it decides the storage bus type, the parent
// device and its driver service, and which requests reach the drive.
enum class Attachment : uint8_t {
    kNativeNvme,   // PCI Express, inbox NVMe driver (BusTypeNvme)
    kRst,          // behind the RAID driver (BusTypeRAID, or BusTypeNvme when bus_type says so)
    kAsmedia,      // NVMe-to-USB bridges (BusTypeUsb)
    kJmicron,
    kRealtek,
    kSataPort,     // native SATA port, AHCI (BusTypeSata)
    kUsbSata,      // USB-to-SATA bridge (BusTypeUsb)
    kScsiAdapter,  // SCSI-class adapter (BusTypeScsi / Sas / iScsi)
};

// Where the drive-information block of the controller family comes from.
enum class DrvInfoSource : uint8_t { kLogPage, kVendorCommand, kNone };

// The controller family's vendor data. The drive models build the
// drive-information, MP-information / geometry and configuration blocks
// from it.
struct VendorDesc {
    bool family = true;   // false: a drive of another maker, no vendor commands at all
    int command_set = 0;  // 0 the first vendor command set, 1 the second
    DrvInfoSource drvinfo = DrvInfoSource::kLogPage;
    uint16_t soc_id = 0;
    uint8_t nand_id[6] = {};
    std::string internal_version;  // 8 ASCII characters in the drive-information block
    uint32_t ftl_build = 0;
    // NAND geometry (MP-information block, SATA geometry block).
    uint16_t pages_per_block = 0;
    uint8_t channels = 0;
    uint8_t chip_enables = 0;
    uint8_t luns = 0;
    uint8_t planes = 0;
    // MP-information layout marker at byte 280 (1768 long layout; SATA
    // drives mark a valid geometry block with 4096), and the long layout's
    // own SoC id and version text (10 ASCII characters).
    uint16_t mp_marker = 0;
    uint16_t mp_soc_id = 0;
    std::string mp_version;
    // Firmware configuration block: 4096 bytes, or empty for the model's
    // default block carrying config_version.
    std::vector<uint8_t> config_block;
    std::string config_version;
    // The whole MP-information block (SATA: geometry block), 4096 bytes, in
    // place of the one built from the fields above; empty: built. The first
    // 144 bytes are still the ones the tool last wrote there.
    std::vector<uint8_t> mp_block;
};

// What the drive does when it leaves the machine (firmware activated, bridge
// power-cycled): gone for gone_seconds of virtual time, then back under
// physical drive number return_number (-1: the same number), unless
// returns is false. moves: it comes back at another port (moved_* below).
struct ReturnDesc {
    bool leaves = false;  // false: the event does not make the drive leave
    double gone_seconds = 0;
    bool returns = true;
    int return_number = -1;
    bool moves = false;
    std::string moved_usb_location;  // USB drives: new location text at the same hub
    int moved_controller_bus = -1;   // PCI drives: new bus number of the controller
    int moved_path_id = -1;          // SCSI drives: new PathId
};

// The NVMe firmware slots (log page 03h, FRMW of Identify Controller):
// count slots, the one running at start, and what each holds ("" for the
// active slot: the drive's firmware revision).
struct FirmwareSlotsDesc {
    int count = 1;
    int active = 1;
    std::vector<std::string> revisions;
};

// A drive that leaves by itself in the middle of whatever the tool is doing:
// right after its requests-th request (counted from the machine's start, on
// any of its handles), or once seconds of virtual time have passed since the
// machine was installed; then as how says (gone_seconds, returns, moves_to).
struct LeaveAfterDesc {
    int requests = 0;    // 0: not by count
    double seconds = 0;  // 0: not by time
    ReturnDesc how;
};

// Place in the USB tree: the device node the disk hangs off (the bridge),
// plugged into a hub of MachineDesc::hubs.
struct UsbPlacement {
    std::string device_id;  // device instance ID ("USB\VID_174C&PID_2362\...")
    std::string hub_id;     // instance ID of the hub it is plugged into
    std::string location;   // "Port_#0005.Hub_#0001"; empty: no location property
    std::string service = "USBSTOR";
};

// Place on PCI: the storage controller and the bridge above it.
struct PciPlacement {
    std::string controller_id;  // empty: made up from the bus number
    std::string bridge_id;
    int controller_bus = 0;     // -1: no SPDRP_BUSNUMBER property
    int bridge_bus = 0;
    bool has_link = true;       // the four PCI Express link properties
    uint32_t link_speed = 3, link_width = 4, max_link_speed = 3, max_link_width = 4;
};

struct ScsiPlacement {
    int port = -1;  // "\\.\scsi%d:"; -1: the machine gives every adapter its own
    int path = 0;
    int target = 0;
    int lun = 0;
};

struct DriveDesc {
    std::string name;  // stable name (faults, volumes, tests); default "disk<number>"
    int number = 0;    // physical drive number at start
    DriveKind kind = DriveKind::kNvme;
    Attachment attachment = Attachment::kNativeNvme;
    uint32_t bus_type = 0;  // 0: the attachment's usual STORAGE_BUS_TYPE
    bool present = true;    // false: described but not attached at start

    // Identity and capacity.
    std::string model, serial, firmware;
    uint64_t blocks = 0;
    uint32_t sector_size = 512;
    uint16_t pci_vendor = 0, pci_subsystem_vendor = 0;
    uint8_t sata_link_gen = 3;  // SATA: IDENTIFY word 77 bits 3:1
    VendorDesc vendor;
    // Bridge answers to INQUIRY (USB attachments): vendor and product texts;
    // inquiry_tag is the 16-bit value at bytes 36-37 (-1: the bridge's own).
    std::string inquiry_vendor, inquiry_product;
    int inquiry_tag = -1;
    bool activation_applies = true;  // false: the new firmware never runs
    FirmwareSlotsDesc firmware_slots;  // NVMe only

    // Where it sits.
    std::string parent_service;  // "" → the attachment's ("stornvme", "iaStorAC", "USBSTOR", "storahci", ...)
    std::string disk_id;         // disk device instance ID; "" → made up
    UsbPlacement usb;
    PciPlacement pci;
    ScsiPlacement scsi;

    ReturnDesc on_activate;     // after a firmware activation
    ReturnDesc on_power_cycle;  // after a bridge power cycle
    // SATA drives stay at their port once a downloaded image runs; true
    // makes them leave as on_activate says right after the last piece.
    bool sata_leaves_on_commit = false;
    LeaveAfterDesc leave_after;
    // Native SATA port: the status register every ATA pass-through returns,
    // in place of the drive's own (DRDY 0x50, or 0x51 with ERR); -1: the drive's.
    int ata_status = -1;
};

// ---- the USB tree ---------------------------------------------------------------

// Host controllers, in the order the host controller set lists them.
struct HostControllerDesc {
    std::string id;  // device instance ID ("PCI\VEN_8086&DEV_A36D\3&11583659&0&A0")
    int bus = 0;
};

// A hub. Root hubs name their host controller as parent; the tool tells a
// root hub by "ROOT_HUB" as the 5th to 12th characters of its ID.
struct HubDesc {
    std::string id;
    std::string parent_id;  // a hub or a host controller
    std::string location;   // SPDRP_LOCATION_INFORMATION; empty: none
    bool listed = true;     // false: present in the tree but not in the hub set
};

struct VolumeDesc {
    char letter = 'C';
    std::string drive;  // DriveDesc::name
    int partition = 1;
};

// ---- faults -------------------------------------------------------------------------

enum class FaultMatch : uint8_t { kIoctl, kCdb, kNvme, kAta };
enum class FaultAction : uint8_t { kWin32Error, kCheckCondition, kAtaError, kGarble, kVanish };
// How a garbled answer is spoilt: a few bits flipped, a 512-byte block
// zeroed, or the first four bytes (where the blocks carry their marks) changed.
enum class GarbleMode : uint8_t { kFlipBits, kZeroBlock, kWrongSignature };

// Fail the nth request (1-based, counted per drive) of the given kind and
// code: an IOCTL code, a CDB opcode (byte 0), an NVMe admin opcode, an ATA
// command. every: that one and every later one; else that one only.
struct FaultDesc {
    std::string drive;  // DriveDesc::name
    FaultMatch match = FaultMatch::kIoctl;
    uint32_t code = 0;
    int nth = 1;
    bool every = false;
    FaultAction action = FaultAction::kWin32Error;
    DWORD win32_error = 31;  // ERROR_GEN_FAILURE
    uint8_t sense_key = 0x05, asc = 0x24, ascq = 0x00;
    uint8_t ata_error = 0x04;  // ABRT
    // Narrower matches (all that are set must hold):
    std::vector<uint8_t> cdb_prefix;  // kCdb: the CDB begins with these bytes (code is then not compared)
    int phase = 0;                    // kCdb: 1 command, 2 data, 3 completion of a bridge tunnel; 0 any
    int64_t sub = -1;                 // kNvme: the vendor sub-operation (CDW12); -1 any
    // nth counts from the latest BeginOperation (quillon-sim: each RUN)
    // instead of from the machine's start.
    bool from_operation = false;
    // kGarble: the request succeeds and the data it brings back is spoilt,
    // the same way for the same seed.
    GarbleMode garble = GarbleMode::kFlipBits;
    uint32_t seed = 1;
};
// Where an operation begins (quillon-sim: each RUN): faults with
// from_operation count their nth from here.
void BeginOperation();

// ---- a countdown over every request (fault sweeps) ------------------------------------

// Fail the nth DeviceIoControl counted from now (1-based; every request on any
// handle of the machine counts, whatever its drive, IOCTL or command) in one
// way; with for_good that request and every later one the way applies to.
//   kWin32Error:     the IOCTL itself fails with ERROR_GEN_FAILURE (31)
//   kCheckCondition: a SCSI pass-through ends with CHECK CONDITION, sense 0B/00/00
//   kAtaError:       an ATA command ends with status ERR, error ABRT: on ATA
//                    pass-through in the registers, inside SCSI/ATA translation
//                    as the CHECK CONDITION the drive's translation gives
//   kGarble:         the request is answered and its data coming back is
//                    spoilt (the nth picks the mode: flipped bits, a zeroed
//                    block, a wrong signature; seeded by nth)
//   kVanish:         the request's drive leaves right there (the request fails
//                    with ERROR_DEV_NOT_EXIST) and stays away until PlugDrive
// A request the way does not apply to (a CHECK CONDITION for an IOCTL that is
// not a pass-through, an ATA error for an NVMe command) is answered normally,
// even when it is the nth. The machine's own faults still count and apply.
// Arm it after InstallMachine (installing a machine disarms it); nth 0 only counts.
void ArmCountdown(int nth, FaultAction way, bool for_good);
void DisarmCountdown();
struct CountdownStatus {
    int counted = 0;       // requests seen since armed
    int failed = 0;        // requests the countdown failed
    int first_failed = 0;  // number of the first one (1-based), 0: none yet
};
CountdownStatus GetCountdownStatus();

struct MachineDesc {
    std::vector<HostControllerDesc> host_controllers;
    std::vector<HubDesc> hubs;
    std::vector<DriveDesc> drives;
    std::vector<VolumeDesc> volumes;
    std::vector<FaultDesc> faults;
};

// ---- building one in C++ ----------------------------------------------------------------

// A drive with sensible defaults for its attachment: identity of the
// controller family, 512 GB, its own controller / bridge / port. USB drives
// need a hub: pass it (AddRootHub / AddHub) or the drive gets a root hub of
// its own on the first host controller.
DriveDesc& AddNvmeDrive(MachineDesc& machine, int number, Attachment attachment);
DriveDesc& AddSataDrive(MachineDesc& machine, int number, Attachment attachment);
HostControllerDesc& AddHostController(MachineDesc& machine, const std::string& id, int bus);
// A root hub on host controller index (0-based) and a hub on a parent hub's port.
HubDesc& AddRootHub(MachineDesc& machine, const std::string& id, size_t host_controller);
HubDesc& AddHub(MachineDesc& machine, const std::string& id, const std::string& parent_id, int port, int hub_number);
// Plug a USB drive into port of hub: sets usb.hub_id and usb.location ("Port_#%04d.Hub_#%04d").
void PlugUsb(DriveDesc& drive, const std::string& hub_id, int port, int hub_number);
void AddVolume(MachineDesc& machine, char letter, const std::string& drive);
FaultDesc& AddFault(MachineDesc& machine, const std::string& drive, FaultMatch match, uint32_t code, int nth);
// "Port_#%04d.Hub_#%04d"
std::string LocationText(int port, int hub_number);

// ---- loading one from JSON ------------------------------------------------------------

// Parse a machine description. On a mistake: false, and error says where and
// what, as "<name>:<line>: <message>".
bool ParseMachineJson(const std::string& text, const std::string& name, MachineDesc* machine, std::string* error);
bool LoadMachineFile(const std::string& path, MachineDesc* machine, std::string* error);
// The machine quillon-sim and the demo start with (also platform/sim/machines/default.json).
const char* DefaultMachineJson();
MachineDesc DefaultMachine();

// ---- running it -------------------------------------------------------------------------

// Make this the machine behind the os:: device functions. Handles and sets
// of a previous machine become invalid; the request record and the counters
// start afresh. Without an installed machine the machine is empty. A machine
// that does not hold together (a hub whose parent is missing, two drives
// with one number, ...) is refused: false, error says why, and the machine
// is empty.
bool InstallMachine(const MachineDesc& machine, std::string* error = nullptr);
void ResetMachine();  // back to the empty machine
// For programs (quillon-sim): install the machine of a JSON file, or the
// default machine when path is empty. false with "<file>:<line>: <message>".
bool StartMachine(const std::string& path, std::string* error);

// One DeviceIoControl, as the machine saw it.
struct RequestRecord {
    std::u16string path;  // the path the handle was opened with
    std::string drive;    // DriveDesc::name, "" for ports and unknown handles
    DWORD ioctl = 0;
    std::vector<uint8_t> in;        // input buffer bytes
    std::vector<uint8_t> data_out;  // bytes behind a pointer going to the drive (pass-through DataBuffer)
    std::vector<uint8_t> data_in;   // bytes behind a pointer coming back, after the request
    std::vector<uint8_t> out;       // output buffer bytes after the request (returned bytes)
    BOOL result = FALSE;
    DWORD error = 0;  // last error when result is FALSE
    // Kept whether or not payloads are (KeepRequestPayloads).
    uint64_t tick = 0;   // virtual time when the request was made
    DWORD returned = 0;  // the byte count DeviceIoControl handed back
    // SCSI pass-through that reached the drive: the status and the sense bytes returned.
    bool scsi = false;
    uint8_t scsi_status = 0;
    std::vector<uint8_t> sense;
    // ATA pass-through that reached the drive: the task file as it came back
    // (error, count, LBA low / mid / high, device, status, reserved).
    bool ata = false;
    uint8_t ata_registers[8] = {};
};
const std::vector<RequestRecord>& Requests();
void ClearRequests();
// Whether records keep the byte payloads (in, data_out, data_in, out). On
// by default; a long run that only needs the timeline turns it off so a
// large image is not held twice more in the record.
void KeepRequestPayloads(bool keep);
// Called with each request's record as it ends, on the thread that made it,
// under the machine's lock (the observer must not call back into the
// machine). nullptr: none. quillon-sim writes its timeline with it.
using RequestObserver = void (*)(const RequestRecord& record);
void SetRequestObserver(RequestObserver observer);

// Leak accounting: simulator handles and device information sets open now.
int OpenHandleCount();
int OpenDeviceInfoSetCount();

// Drives as the machine sees them now (after the virtual clock moved).
bool DrivePresent(const std::string& name);
int DriveNumber(const std::string& name);  // -1 when absent
// Let a drive leave as if its firmware were activated / its bridge power-cycled.
void TriggerActivation(const std::string& name);
void TriggerPowerCycle(const std::string& name);
// Hot unplug: the drive leaves now and stays away (its handles go stale)
// until PlugDrive brings it back where it was; plugging it in powers it on.
// false when no drive has that name.
bool UnplugDrive(const std::string& name);
bool PlugDrive(const std::string& name);

}  // namespace sim
