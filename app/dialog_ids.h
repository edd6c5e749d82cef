// Resource and control identifiers of the main dialog as the code uses them.
#pragma once

enum : int {
    kIdMainDialog = 102,     // dialog template
    kIdProgramIcon = 105,    // icon group
    kIdDriveList = 500,      // combo box of the drives that qualify
    kIdModel = 501,
    kIdSerial = 502,
    kIdInterface = 503,
    kIdFirmware = 504,
    kIdCapacity = 505,
    kIdStatus = 510,         // status line: only ever cleared; its position sets the height
    kIdProgress = 1003,      // progress bar, range 0..100
    kIdIcon = 1004,          // SS_ICON static
};
