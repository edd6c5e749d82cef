// The five NVMe transports and the bridge probe. Each operation is one or
// more synchronous DeviceIoControl requests on the drive handle (RST: on the
// SCSI port handle) and returns 1 when the request was carried out, -4 when a
// request failed (or a bridge answered CHECK CONDITION where that is tested).
// The NVMe completion status is never examined here.
//
// Every transport also offers its request builders as pure functions, so the
// bytes it sends can be checked without a drive.
#pragma once

#include <cstdint>

#include "nvme/nvme_command.h"
#include "storage/scsi_block.h"

// ---- the three-request tunnel of the JMicron and Realtek bridges ------------
constexpr uint32_t kTunnelStagingSize = 512;
struct BridgeTunnel {
    void (*build_staging)(uint8_t* staging, const NvmeCommand* command);
    void (*build_command)(ScsiBlock* block, uint8_t* staging);
    void (*build_data)(ScsiBlock* block, int direction, void* buffer, uint32_t length);
    void (*build_completion)(ScsiBlock* block, uint8_t* staging);
};
// How the third request counts: not at all, by its SCSI status only (a
// failed request passes), or by both.
enum CompletionRule { kCompletionIgnored, kCompletionStatusJudged, kCompletionJudged };
int RunBridgeTunnel(HANDLE drive, const BridgeTunnel* tunnel, int direction, const NvmeCommand* command,
                    void* buffer, uint32_t length, CompletionRule completion);

// ---- ASMedia (iCmdType 0) -------------------------------------------------
int AsmIdentify(HANDLE drive, int direction, NvmeCommand* command, void* buffer, uint32_t length);
int AsmCommand(HANDLE drive, int direction, NvmeCommand* command, void* buffer, uint32_t length);
int AsmFwDownload(HANDLE drive, uint32_t offset, const void* data, uint32_t length);

void AsmBuildIdentify(ScsiBlock* block, int direction, const NvmeCommand* command, void* buffer, uint32_t length);
void AsmBuildCommandPhase(ScsiBlock* block, int direction, NvmeCommand* command);
void AsmBuildDataPhase(ScsiBlock* block, int direction, void* buffer, uint32_t length);
void AsmBuildCompletionPhase(ScsiBlock* block, int direction, NvmeCommand* command);

// ---- JMicron (iCmdType 1) -------------------------------------------------
constexpr uint32_t kJmiStagingSize = kTunnelStagingSize;
int JmiCommand(HANDLE drive, int direction, NvmeCommand* command, void* buffer, uint32_t length);
int JmiFwDownload(HANDLE drive, uint32_t offset, const void* data, uint32_t length);

void JmiBuildStaging(uint8_t staging[kJmiStagingSize], const NvmeCommand* command);
void JmiBuildCommandPhase(ScsiBlock* block, uint8_t staging[kJmiStagingSize]);
void JmiBuildDataPhase(ScsiBlock* block, int direction, void* buffer, uint32_t length);
void JmiBuildResponsePhase(ScsiBlock* block, uint8_t staging[kJmiStagingSize]);

// ---- Realtek (iCmdType 4) -------------------------------------------------
constexpr uint32_t kRtkStagingSize = kTunnelStagingSize;
int RtkCommand(HANDLE drive, int direction, NvmeCommand* command, void* buffer, uint32_t length);
int RtkFwDownload(HANDLE drive, uint32_t offset, const void* data, uint32_t length);

void RtkBuildStaging(uint8_t staging[kRtkStagingSize], const NvmeCommand* command);
void RtkBuildCommandPhase(ScsiBlock* block, uint8_t staging[kRtkStagingSize]);
void RtkBuildDataPhase(ScsiBlock* block, int direction, void* buffer, uint32_t length);
void RtkBuildCompletionPhase(ScsiBlock* block, uint8_t staging[kRtkStagingSize]);

// ---- native NVMe through the storage stack (iCmdType 2) -------------------
constexpr uint32_t kNativeQueryHeader = 48;     // property query + protocol data
constexpr uint32_t kNativeCommandHeader = 144;  // StorageProtocolCommand + the command
constexpr uint32_t kNativeFwBufferSize = 4136;  // download structure + one 4096-byte chunk
constexpr uint32_t kMaxTransfer = 4096;

int NativeIdentify(HANDLE drive, uint32_t cns, uint32_t nsid, void* buffer, uint32_t length);
int NativeGetLogPage(HANDLE drive, uint32_t log_page_id, void* buffer, uint32_t length);
int NativeVendorCommand(HANDLE drive, int direction, uint8_t opcode, uint32_t cdw12, uint32_t cdw13, uint32_t cdw14,
                        uint32_t cdw15, void* buffer, uint32_t length);
int NativeFwDownload(HANDLE drive, uint32_t offset, const void* data, uint32_t length);
int NativeFwActivate(HANDLE drive, uint32_t slot, uint32_t action);

// request: kNativeQueryHeader + length bytes.
void NativeBuildIdentifyQuery(uint8_t* request, uint32_t cns, uint32_t nsid, uint32_t length);
void NativeBuildLogPageQuery(uint8_t* request, uint32_t log_page_id, uint32_t length);
// request: kNativeCommandHeader + length bytes; a write's data is copied in.
void NativeBuildVendorCommand(uint8_t* request, int direction, uint8_t opcode, uint32_t cdw12, uint32_t cdw13,
                              uint32_t cdw14, uint32_t cdw15, const void* data, uint32_t length);
// request: kNativeFwBufferSize bytes; returns the number of bytes to send.
uint32_t NativeBuildFwDownload(uint8_t* request, uint32_t offset, const void* data, uint32_t length);
void NativeBuildFwActivate(StorageHwFirmwareActivate* request, uint32_t slot, uint32_t action);

// ---- Intel RST driver (iCmdType 3) ----------------------------------------
constexpr uint32_t kRstPassThroughExtra = 167;  // header 164 + 3 trailing zero bytes
constexpr uint32_t kRstPassThroughData = 164;
constexpr uint32_t kRstFwDownloadData = 88;
constexpr uint32_t kRstFwActivateSize = 4184;

int RstNvmePassThrough(HANDLE port, uint32_t path_id, NvmeCommand* command, void* buffer, uint32_t length);
int RstFwDownload(HANDLE port, uint32_t path_id, uint32_t offset, const void* data, uint32_t length);
int RstFwActivate(HANDLE port, uint32_t path_id);

// request: length + kRstPassThroughExtra bytes.
void RstBuildPassThrough(uint8_t* request, uint32_t path_id, const NvmeCommand* command, const void* data,
                         uint32_t length);
// request: length + kRstFwDownloadData bytes.
void RstBuildFwDownload(uint8_t* request, uint32_t path_id, uint32_t offset, const void* data, uint32_t length);
// request: kRstFwActivateSize bytes.
void RstBuildFwActivate(uint8_t* request, uint32_t path_id);

// ---- the bridge probe -------------------------------------------------------
// Command type of a USB disk: 0 ASMedia, 1 JMicron, 4 Realtek, 255 none.
int DetectUsbBridge(HANDLE drive);
constexpr uint32_t kInquiryLength = 38;
void BuildInquiry(ScsiBlock* block, void* buffer);
// What the INQUIRY data alone says: 0, 1, 4, or 255 when an Identify probe must decide.
int BridgeFromInquiry(const uint8_t* inquiry, uint32_t size);
