#include "storage/scsi_block.h"

#include <cstring>

#include "storage/device_io.h"

void BuildScsiBlock(ScsiBlock* block, const uint8_t cdb[16], uint8_t data_in, void* data, uint32_t length,
                    uint8_t sense_length, uint32_t timeout_s) {
    std::memset(block, 0, sizeof *block);
    block->sptd.Length = sizeof(ScsiPassThroughDirect);
    block->sptd.CdbLength = 16;
    block->sptd.SenseInfoLength = sense_length;
    block->sptd.DataIn = data_in;
    block->sptd.DataTransferLength = length;
    block->sptd.TimeOutValue = timeout_s;
    block->sptd.DataBuffer = data;
    block->sptd.SenseInfoOffset = offsetof(ScsiBlock, SenseBuffer);
    std::memcpy(block->sptd.Cdb, cdb, 16);
}

int SendScsiBlock(HANDLE drive, ScsiBlock* block) {
    DWORD returned = 0;
    BOOL ok = DeviceIo(drive, kIoctlScsiPassThroughDirect, block, sizeof *block, block, sizeof *block, &returned);
    return ok ? 1 : -4;
}
