// The gate of the drive list: whether a drive is listed at all.
#pragma once

#include "core/disk_info.h"

// A value as the package's "|"-separated lists hold it: "|" + value + "|",
// the value cut at 63 units.
constexpr int kListNeedleSize = 70;
void EncloseInBars(const WCH* value, WCH* out);

// 1 when the drive's model is on model_list (entries enclosed in "|"; an
// empty list admits every model) and its controller passes soc_filter ("*",
// "VELQORAX" or "0x%04X" of the SoC id); else 0.
int AdmitDrive(const DiskInfo* disk, const WCH* model_list, const WCH* soc_filter);
