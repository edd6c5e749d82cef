// The drives of a trace as their answers describe them: number, bus type,
// SCSI address, NVMe or ATA identity, capacity, the controller family's
// vendor blocks, and the way in (which bridge tunnel the tool used), read
// from the DeviceIoControl records of each drive's handles.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/quillon-tool/trace_lines.h"

// Where a drive-information block came from: this decides the vendor command
// set and the source the simulated drive answers it from.
enum class DrvInfoFrom { kNone, kLogPage, kSecondSetCommand, kFirstSetCommand, kAtaCommand };

struct TraceDrive {
    int number = -1;
    std::string path;            // the first path seen for it
    std::string interface_path;  // its disk interface ("\\?\..."), once its number was read there
    uint32_t bus_type = 0;     // STORAGE_BUS_TYPE from the device descriptor; 0 unknown
    bool has_scsi = false;
    int port = 0, path_id = 0, target = 0, lun = 0;
    bool nvme = false, ata = false;  // which identity answered
    std::string model, serial, firmware;
    uint16_t pci_vendor = 0, pci_subsystem_vendor = 0;
    int slot_count = 0;        // NVMe FRMW: firmware slots, 0 unknown
    uint64_t blocks = 0;
    uint32_t sector_size = 0;
    int sata_link_gen = -1;
    std::string bridge;        // "asmedia", "jmicron", "realtek" when a tunnel was used
    bool has_inquiry = false;  // a USB bridge's INQUIRY answer: vendor, product, bytes 36-37
    std::string inquiry_vendor, inquiry_product;
    int inquiry_tag = 0;
    DrvInfoFrom drvinfo_from = DrvInfoFrom::kNone;
    std::string drvinfo, mp, config, slots;  // the blocks as answered ("" not seen)
};

struct TraceVolume {
    char letter = 'C';
    int number = -1;
    int partition = 0;
};

void ReadTraceDrives(const std::vector<TraceRecord>& records, std::vector<TraceDrive>* drives,
                     std::vector<TraceVolume>* volumes);
