// The device tree as a trace's device setup and configuration manager
// answers describe it: each device node's instance ID, parent, registry and
// device properties, the USB host controllers and hubs the tool enumerated,
// and which device node each interface path belongs to.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "tools/quillon-tool/trace_lines.h"

struct TraceDevices {
    std::map<int64_t, std::string> id;                                  // devinst → instance ID
    std::map<int64_t, int64_t> parent;                                  // devinst → parent devinst
    std::map<int64_t, std::map<int64_t, std::string>> registry;         // devinst → SPDRP_* → bytes
    std::map<int64_t, std::map<std::string, std::string>> properties;   // devinst → "{fmtid} pid" → bytes
    std::vector<int64_t> host_controllers;                              // in enumeration order
    std::vector<int64_t> hubs;
    std::map<std::string, int64_t> interface_devinst;                   // lowercase interface path → devinst
};

void ReadTraceDevices(const std::vector<TraceRecord>& records, TraceDevices* devices);

// The ID of a device node's parent ("" when unknown) and a property's value.
std::string ParentId(const TraceDevices& devices, int64_t devinst);
// SPDRP_BUSNUMBER as a number; false when the trace holds none.
bool BusNumber(const TraceDevices& devices, int64_t devinst, int64_t* bus);
// A text property (REG_SZ in UTF-16), as UTF-8 of its ASCII; "" when none.
std::string RegistryText(const TraceDevices& devices, int64_t devinst, int64_t property);
// A DWORD device property by its key's property id within the PCI device
// property set; false when the trace holds none.
bool PciDeviceProperty(const TraceDevices& devices, int64_t devinst, int pid, int64_t* value);
