// Resource and control identifiers of the main dialog, named as the code
// uses them; the values come from the one table the resource script and
// the headless dialog read.
#pragma once

#include "res/dialog_controls.h"

enum : int {
    kIdMainDialog = QN_DIALOG_MAIN,
    kIdProgramIcon = QN_ICON_APP,
    kIdDriveList = QN_IDC_DRIVE_LIST,  // combo box of the drives that qualify
    kIdModel = QN_IDC_MODEL,
    kIdSerial = QN_IDC_SERIAL,
    kIdInterface = QN_IDC_INTERFACE,
    kIdFirmware = QN_IDC_FIRMWARE,
    kIdCapacity = QN_IDC_CAPACITY,
    kIdRun = QN_IDC_RUN,
    kIdStatus = QN_IDC_STATUS,  // status line: only ever cleared; its position sets the height
    kIdProgress = QN_IDC_PROGRESS,  // progress bar, range 0..100
    kIdIcon = QN_IDC_ICON,          // SS_ICON static
    kIdPackageResource = QN_PACKAGE_RESOURCE,
};
