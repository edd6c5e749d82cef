// The trace file: JSON lines, a header then one record per device call or
// dialog event (docs/traces.md, "The file"). Everything that writes or reads
// traces spells kinds and fields with these names.
#pragma once

#include <cstdint>

namespace tracefmt {

constexpr const char kFormat[] = "quillon-trace";
constexpr int kFormatVersion = 1;

// Data-out payloads up to this size are always kept as bytes; longer ones
// (image pieces) only as length and SHA-256 unless the trace is full.
constexpr uint32_t kKeptDataOutBytes = 512;

// ---- record kinds ----------------------------------------------------------
constexpr const char kHeader[] = "header";
constexpr const char kPackage[] = "package";
constexpr const char kOpen[] = "open";
constexpr const char kIoctl[] = "ioctl";
constexpr const char kClassDevs[] = "classdevs";
constexpr const char kEnumDevice[] = "enum_device";
constexpr const char kEnumInterface[] = "enum_interface";
constexpr const char kInterfaceDetail[] = "interface_detail";
constexpr const char kRegistryProperty[] = "registry_property";
constexpr const char kDeviceProperty[] = "device_property";
constexpr const char kDestroySet[] = "destroy_set";
constexpr const char kCmParent[] = "cm_parent";
constexpr const char kCmDeviceId[] = "cm_device_id";
constexpr const char kSleep[] = "sleep";
constexpr const char kDialog[] = "dialog";

// ---- fields every record has -------------------------------------------------
constexpr const char kKind[] = "kind";
constexpr const char kNumber[] = "n";
constexpr const char kTime[] = "t";

// ---- header --------------------------------------------------------------------
constexpr const char kFormatField[] = "format";
constexpr const char kFormatVersionField[] = "format_version";
constexpr const char kToolVersion[] = "tool_version";
constexpr const char kArch[] = "arch";  // "i686" or "x86_64"
constexpr const char kWindows[] = "windows";  // "10.0.19045" or "simulated"
constexpr const char kCommandLine[] = "command_line";
constexpr const char kFull[] = "full";

// ---- package ---------------------------------------------------------------------
constexpr const char kTitle[] = "title";

// ---- open --------------------------------------------------------------------------
constexpr const char kPath[] = "path";
constexpr const char kAccess[] = "access";
constexpr const char kShare[] = "share";
constexpr const char kDisposition[] = "disposition";
constexpr const char kFlags[] = "flags";
constexpr const char kHandle[] = "handle";  // the open's id, 1, 2, … (0: failed)
constexpr const char kError[] = "error";

// ---- ioctl ---------------------------------------------------------------------------
constexpr const char kRequest[] = "req";  // 1 for the run's first DeviceIoControl
constexpr const char kCode[] = "code";    // "0x0004D014"
constexpr const char kName[] = "name";    // "IOCTL_SCSI_PASS_THROUGH_DIRECT", "?"
constexpr const char kInSize[] = "in_size";
constexpr const char kOutSize[] = "out_size";
constexpr const char kMeaning[] = "meaning";
constexpr const char kIn[] = "in";
constexpr const char kDataOut[] = "data_out";  // {"length", "sha256"[, "bytes"]}
constexpr const char kOk[] = "ok";
constexpr const char kReturned[] = "returned";
constexpr const char kOut[] = "out";
constexpr const char kDataIn[] = "data_in";
constexpr const char kScsiStatus[] = "scsi_status";
constexpr const char kSense[] = "sense";
constexpr const char kTaskFile[] = "task_file";  // current then previous, 16 bytes

// data_out
constexpr const char kLength[] = "length";
constexpr const char kSha256[] = "sha256";
constexpr const char kBytes[] = "bytes";

// meaning
constexpr const char kWhat[] = "what";
constexpr const char kWhatScsi[] = "scsi";
constexpr const char kWhatAta[] = "ata";
constexpr const char kWhatNvme[] = "nvme";
constexpr const char kWhatProperty[] = "property";
constexpr const char kWhatFwDownload[] = "fw_download";
constexpr const char kWhatFwActivate[] = "fw_activate";
constexpr const char kWhatMiniport[] = "miniport";
constexpr const char kWhatOther[] = "other";
constexpr const char kCdb[] = "cdb";
constexpr const char kDirection[] = "direction";  // "in", "out", "none"
constexpr const char kTimeout[] = "timeout";
constexpr const char kCurrent[] = "current";
constexpr const char kPrevious[] = "previous";
constexpr const char kCommand[] = "command";  // the 64-byte NVMe command
constexpr const char kToDevice[] = "to_device";
constexpr const char kFromDevice[] = "from_device";
constexpr const char kProperty[] = "property";
constexpr const char kQuery[] = "query";
constexpr const char kProtocol[] = "protocol";
constexpr const char kOffset[] = "offset";
constexpr const char kSize[] = "size";
constexpr const char kSlot[] = "slot";
constexpr const char kSignature[] = "signature";
constexpr const char kControlCode[] = "control_code";
constexpr const char kFunction[] = "function";

// ---- device setup and the configuration manager ---------------------------------------
constexpr const char kGuid[] = "guid";
constexpr const char kEnumerator[] = "enumerator";
constexpr const char kSet[] = "set";  // the information set's id, 1, 2, … (0: failed)
constexpr const char kIndex[] = "index";
constexpr const char kDevInst[] = "devinst";
constexpr const char kClassGuid[] = "class_guid";
constexpr const char kIface[] = "iface";  // the interface's id, 1, 2, …
constexpr const char kIfaceGuid[] = "iface_guid";
constexpr const char kIfaceFlags[] = "iface_flags";
constexpr const char kRequired[] = "required";
constexpr const char kType[] = "type";
constexpr const char kKey[] = "key";  // "{fmtid} pid"
constexpr const char kCr[] = "cr";
constexpr const char kParent[] = "parent";
constexpr const char kCapacity[] = "capacity";
constexpr const char kId[] = "id";

// ---- sleep, dialog ------------------------------------------------------------------
constexpr const char kMs[] = "ms";
constexpr const char kEvent[] = "event";

}  // namespace tracefmt
