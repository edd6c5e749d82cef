// Inside the simulated machine: the device tree built from a MachineDesc,
// the drives as they are now, the request record and the counters. Shared
// by the files that answer CreateFileW, DeviceIoControl, SetupDi* and CM_*.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/sim/sim_drive.h"
#include "platform/sim/sim_machine.h"

namespace sim {

// The machine's lock. Recursive: a drive model called under it calls back
// into the machine. The Windows build of the machine (QuillonSim.exe) is
// made by a toolchain whose standard library has no std::recursive_mutex,
// so there it is a critical section, which is recursive too.
#if defined(_WIN32) && !defined(_GLIBCXX_HAS_GTHREADS)
class MachineMutex {
public:
    MachineMutex() { InitializeCriticalSection(&section_); }
    ~MachineMutex() { DeleteCriticalSection(&section_); }
    MachineMutex(const MachineMutex&) = delete;
    MachineMutex& operator=(const MachineMutex&) = delete;
    void lock() { EnterCriticalSection(&section_); }
    void unlock() { LeaveCriticalSection(&section_); }

private:
    CRITICAL_SECTION section_;
};
#else
using MachineMutex = std::recursive_mutex;
#endif
using MachineLock = std::lock_guard<MachineMutex>;

// Win32 errors and configuration manager results the machine answers with
// that the tool itself never names.
constexpr DWORD kErrorInvalidFunction = 1;
constexpr DWORD kErrorBadLength = 24;
constexpr DWORD kErrorDevNotExist = 55;
constexpr DWORD kErrorNoAccess = 998;
constexpr DWORD kErrorInvalidFlags = 1004;
constexpr DWORD kErrorRevisionMismatch = 1306;
constexpr DWORD kErrorInvalidUserBuffer = 1784;
constexpr CONFIGRET kCrInvalidPointer = 3;
constexpr CONFIGRET kCrInvalidFlag = 4;
constexpr CONFIGRET kCrInvalidDevnode = 5;
constexpr DWORD kRegSz = 1;
constexpr DWORD kRegDword = 4;

// Device interface classes a node can expose (one interface each).
enum : uint32_t {
    kIfDisk = 1u << 0,
    kIfUsbDevice = 1u << 1,
    kIfUsbHub = 1u << 2,
    kIfHostController = 1u << 3,
};

struct Node {
    std::u16string id;  // device instance ID
    DEVINST parent = 0;
    uint32_t interfaces = 0;
    std::u16string interface_path;  // "\\?\..." for the one interface it exposes
    std::u16string location;        // SPDRP_LOCATION_INFORMATION; empty: none
    bool has_bus = false;
    uint32_t bus = 0;               // SPDRP_BUSNUMBER
    std::u16string service;         // SPDRP_SERVICE; empty: none
    bool has_link = false;
    uint32_t link[4] = {};          // current speed, current width, max speed, max width
    int drive = -1;                 // present only while this drive is (disk and bridge nodes)
    bool root = false;              // the tree's root: in no set
};

struct MachineState;

// The machine side of a drive model's host.
class HostOfDrive : public DriveHost {
public:
    HostOfDrive(MachineState* machine, int drive) : machine_(machine), drive_(drive) {}
    bool TakeFault(FaultMatch match, uint32_t code, Outcome* outcome, uint8_t* ata_error) override;
    void NoteSubOperation(uint32_t sub) override;
    void Leave(bool power_cycle) override;
    uint64_t Now() override;

private:
    MachineState* machine_;
    int drive_;
};

struct DriveState {
    DriveDesc desc;
    bool present = true;
    int number = 0;
    uint32_t generation = 1;  // grows each time the drive leaves; older handles go stale
    bool returning = false;
    uint64_t return_at = 0;   // virtual milliseconds
    int return_number = -1;
    DEVINST disk = 0;
    DEVINST bridge = 0;       // USB device node of a USB drive, else 0
    DEVINST controller = 0;   // PCI controller of an NVMe / SATA drive, else 0
    std::map<uint64_t, int> counts;  // (match, code) → requests seen
    int requests_seen = 0;           // DeviceIoControl calls that reached it
    std::map<size_t, int> fault_counts;  // fault index → requests it matched (faults that count their own)
    bool left_by_itself = false;     // leave_after has fired
    std::unique_ptr<HostOfDrive> host;
    std::unique_ptr<SimDrive> model;
};

struct MachineState {
    MachineMutex mutex;
    uint32_t epoch = 0;  // grows with every InstallMachine
    MachineDesc desc;
    std::vector<Node> nodes;  // DEVINST n is nodes[n - 1]
    std::vector<DriveState> drives;
    std::vector<RequestRecord> requests;
    bool keep_payloads = true;
    RequestObserver request_observer = nullptr;
    int open_sets = 0;
    uint64_t installed_at = 0;  // virtual time of InstallMachine
    // What the request in progress is, for the narrower fault matches.
    const uint8_t* current_cdb = nullptr;  // SCSI pass-through: its CDB (16 bytes)
    int current_phase = 0;                 // bridge tunnel phase of that CDB
    int64_t current_sub = -1;              // NVMe vendor command: CDW12
    // A fault or the countdown asked to spoil the data this request brings back.
    bool garble_pending = false;
    GarbleMode garble_mode = GarbleMode::kFlipBits;
    uint32_t garble_seed = 0;
};

// The tunnel phase a CDB is for a drive's bridge (1 command, 2 data, 3 completion), 0 none.
int TunnelPhase(Attachment attachment, const uint8_t* cdb);
// Spoil bytes as a garble fault says, the same way for the same seed.
void Garble(uint8_t* data, size_t size, GarbleMode mode, uint32_t seed);

MachineState& Machine();
// Bring the machine up to the virtual clock: drives whose time away is over come back.
void CatchUp(MachineState& machine);
uint64_t VirtualNow();

Node* FindNode(MachineState& machine, DEVINST inst);
bool NodePresent(const MachineState& machine, const Node& node);
int FindDriveByName(const MachineState& machine, const std::string& name);
int FindDriveByNumber(const MachineState& machine, int number);  // present drives only
uint32_t BusTypeOf(const DriveDesc& desc);
std::string ServiceOf(const DriveDesc& desc);

// Count a request of this kind on a drive; true with the outcome when a
// fault applies (FaultAction::kAtaError sets *ata_error and leaves outcome clean).
bool TakeFaultFor(MachineState& machine, int drive, FaultMatch match, uint32_t code, Outcome* outcome,
                  uint8_t* ata_error);
void DriveLeaves(MachineState& machine, int drive, bool power_cycle);
// The drive leaves as how says (when how.leaves and it is present).
void DriveLeavesAs(MachineState& machine, int drive, const ReturnDesc& how);
// After a request reached a drive: its leave_after count may be up.
void CountDriveRequest(MachineState& machine, int drive);

// Build the tree and the drives of a machine description (assumed valid).
void BuildMachine(MachineState& machine, const MachineDesc& desc);
// Check what JSON cannot: names, numbers, parents. "" when sound.
std::string CheckMachine(const MachineDesc& desc);

std::u16string Widen(const std::string& text);
std::string Narrow(const std::u16string& text);
bool SameNoCase(const std::u16string& a, const std::u16string& b);

}  // namespace sim
