// What a DeviceIoControl request asks, read out of its input block before
// the call, and where the drive's data goes: the part of a trace record that
// the recorder writes and the player matches on.
//
// Pass-through blocks with a data pointer (SCSI and ATA "direct") differ
// between the 32- and 64-bit builds; their meaning (CDB, task files,
// lengths) and the bytes behind the pointer do not. The other requests carry
// their data inline and are the same bytes in both.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/os_types.h"

struct TraceRequest {
    const char* name;  // "IOCTL_SCSI_PASS_THROUGH_DIRECT", … or "?"
    bool has_pointer;  // the block holds a data pointer (its bytes are zeroed in the record)
    uint32_t pointer_offset;
    uint32_t pointer_size;
    // The bytes the tool sends to the drive: behind the pointer, or inline in
    // the block at inline_offset (left out of the recorded input).
    const uint8_t* data_out;
    uint32_t data_out_size;
    bool data_out_inline;
    uint32_t inline_offset;
    // Where the drive writes data for the tool, behind the pointer.
    uint8_t* data_in;
    uint32_t data_in_capacity;
    bool scsi;  // the answer has a SCSI status and sense bytes
    bool ata;   // the answer has task files
    char meaning[1200];  // a JSON object: {"what": …}
};

void DescribeRequest(DWORD code, const void* in, DWORD in_size, TraceRequest* request);

// What a pass-through answered, read from the output block.
struct TraceAnswer {
    bool has_status;
    uint8_t scsi_status;
    const uint8_t* sense;
    uint32_t sense_size;
    uint32_t transferred;  // DataTransferLength after the call (bounded by the request's)
    bool has_task_file;
    uint8_t task_file[16];  // current then previous
};

// out: the output block after the call (out_size bytes of it valid).
void ReadAnswer(const TraceRequest& request, DWORD code, const void* out, DWORD out_size, TraceAnswer* answer);

// The bytes of a block as a trace holds them: the data pointer zeroed and,
// for the input, an inline piece left out. A malloc'd copy (null when
// empty; free it) and its size in *kept.
uint8_t* RecordedBytes(const TraceRequest& request, const void* block, size_t size, bool input, size_t* kept);
