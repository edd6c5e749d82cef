// Every request that changes a drive (firmware download and activation,
// configuration and version writes, bridge power control) asks this gate
// first. It counts them for the run's evidence; in a dry run it lets none of
// them through and keeps what the download would have sent.
#pragma once

#include "platform/os_types.h"

// What a dry run found it would have sent.
struct WritePlan {
    int image_seen;        // the download was reached with an image
    uint32_t image_size;   // bytes, after patching
    uint32_t image_crc32;  // CRC-32 (IEEE) of those bytes
    uint32_t piece_size;   // each piece this long, the last one what remains
    uint32_t pieces;
    int config_write;      // a configuration block write was held back before it
    int version_write;     // a version write was held back before it
};

// A new run: nothing counted; dry_run 1 closes the gate.
void WriteGateReset(int dry_run);
int WriteGateDryRun();
// Asked right before the first request of a write: 1 send it (and it is
// counted), 0 a dry run (log the stop; send nothing). what names it.
int WriteGatePass(const WCH* what);
// Write-class requests passed since the reset.
int WriteGatePassed();
// The download's image and its piece size, noted when the gate stops it.
void WriteGateNoteImage(const uint8_t* image, uint32_t size, uint32_t piece_size);
// The configuration / version write held back.
void WriteGateNoteConfigWrite();
void WriteGateNoteVersionWrite();
const WritePlan* WriteGatePlan();
// Result of a write function the gate stopped.
constexpr int kDryRunStop = -9;
