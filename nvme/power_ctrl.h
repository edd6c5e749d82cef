// Power control of an NVMe-to-USB bridge after a firmware activation: the
// bridge cuts and restores the drive's power, which resets the controller.
#pragma once

#include <cstdint>

#include "storage/scsi_block.h"

// ASMedia (iCmdType 0); the worker passes mode 1. 1 success, -4 failure.
int IO_USB_ASM_PowerCtrl(HANDLE drive, uint8_t mode);
// JMicron (iCmdType 1); the worker passes mode 5. 1 success, -4 failure.
int IO_USB_JMI_PowerCtrl(HANDLE drive, uint8_t mode);

// The requests, built without sending (data: 512 bytes for the JMicron steps).
void BuildAsmPowerRequest(ScsiBlock* block, uint8_t mode);
void BuildJmiPowerStep(ScsiBlock* block, int step, uint8_t* data, uint8_t mode);
constexpr uint32_t kJmiPowerBlockSize = 512;
