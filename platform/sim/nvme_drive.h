// The simulated NVMe drive: one controller model behind the attachment the
// machine file gives it (native storage stack, RST miniport, or one of the
// three USB bridges, whose SCSI envelopes are decoded in nvme_bridges.cpp).
#pragma once

#include <cstdint>

#include "platform/sim/nvme_controller.h"
#include "platform/sim/sim_drive.h"

namespace sim {

// What a bridge remembers between the phases of one command.
struct BridgeState {
    bool has_command = false;
    uint8_t command[64] = {};
    NvmeAnswer last;
    bool commit_answered = false;  // the last command was a commit; its completion is due
    bool power_request = false;  // JMicron: the command block asked for a power cycle
    uint8_t power_mode = 0;
};

class NvmeDrive : public SimDrive {
public:
    NvmeDrive(const DriveDesc& desc, DriveHost* host) : desc_(desc), host_(host), controller_(desc, host) {}
    Outcome Scsi(ScsiCommand& command) override;
    Outcome Query(ProtocolQuery& query) override;
    Outcome Command(ProtocolCommand& command) override;
    Outcome Download(FirmwareDownload& request) override;
    Outcome Activate(FirmwareActivate& request) override;
    Outcome Miniport(MiniportRequest& request) override;
    void PowerOn() override;

    // After a commit that waits for a reset, and after the native or RST
    // activation (commit + controller reset), and after a bridge power cycle.
    void AfterCommit(uint16_t status);
    void ResetByActivation();
    void PowerCycle();

    NvmeController& controller() { return controller_; }
    BridgeState& bridge() { return bridge_; }
    const DriveDesc& desc() const { return desc_; }

private:
    DriveDesc desc_;
    DriveHost* host_;
    NvmeController controller_;
    BridgeState bridge_;
};

// The bridges' SCSI side (nvme_bridges.cpp).
Outcome BridgeScsi(NvmeDrive& drive, ScsiCommand& command);

}  // namespace sim
