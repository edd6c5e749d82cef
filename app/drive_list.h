// The drive list of the main dialog, the information lines of the chosen
// drive and the selection handler.
#pragma once

#include "core/disk_info.h"

// Enumerates, admits and lists the drives, keeping the previous choice
// selected. initial: the start-up fill (no previous choice to keep). Runs on
// the dialog's thread or, at the end of an update, on the worker's; a call
// that finds another refresh running returns at once.
void RefreshDriveList(HWND dialog, int initial);
// Model, serial, interface, firmware and capacity of the drive into the five lines.
void ShowDriveInfo(HWND dialog, const DiskInfo* disk);
// Adopts the selected entry as SelectedDisk, re-identifying it first.
void OnSelectDrive(HWND dialog);

// Index into DiskList of the selected entry, or -1 when there is no
// selection or the entry names no listed drive (the "- Disconnect" entry).
int SelectedDriveIndex(HWND dialog);

// Interface labels by link speed code; the empty text for codes without one.
const WCH* PcieLinkLabel(int32_t speed);
const WCH* SataLinkLabel(int32_t speed);
// "%s (RAW)" or "%s [%s]" with the model and the volume letters (260 units).
void FormListLabel(const DiskInfo* disk, WCH* out);
