// The dialog table (res/dialog_controls.h) spells the Windows styles and ids
// as plain numbers so that the resource compiler and the Linux dialog can
// share it; here they are held against winuser.h, commctrl.h and the ids the
// code uses (app/dialog_ids.h). Nothing here generates code.
#include "app/dialog_ids.h"
#include "platform/os_types.h"
#include "res/dialog_template.h"

namespace {

static_assert(QN_WS_POPUP == WS_POPUP && QN_WS_CHILD == WS_CHILD && QN_WS_VISIBLE == WS_VISIBLE &&
                  QN_WS_CAPTION == WS_CAPTION && QN_WS_BORDER == WS_BORDER && QN_WS_VSCROLL == WS_VSCROLL &&
                  QN_WS_SYSMENU == WS_SYSMENU && QN_WS_GROUP == WS_GROUP && QN_WS_TABSTOP == WS_TABSTOP,
              "window styles");
static_assert(QN_DS_SETFONT == DS_SETFONT && QN_DS_MODALFRAME == DS_MODALFRAME && QN_DS_CENTER == DS_CENTER,
              "dialog styles");
static_assert(QN_CBS_DROPDOWNLIST == CBS_DROPDOWNLIST && QN_BS_DEFPUSHBUTTON == BS_DEFPUSHBUTTON &&
                  QN_SS_LEFT == SS_LEFT && QN_SS_ICON == SS_ICON && QN_SS_ETCHEDHORZ == SS_ETCHEDHORZ,
              "control styles");
static_assert(QN_DIALOG_STYLE == 0x80C808C0u, "dialog style word");
static_assert(QN_DIALOG_FONT_CHARSET == CHINESEBIG5_CHARSET, "font character set");

static_assert(QN_DIALOG_MAIN == kIdMainDialog && QN_ICON_APP == kIdProgramIcon, "resource ids");
static_assert(QN_IDC_DRIVE_LIST == kIdDriveList && QN_IDC_MODEL == kIdModel && QN_IDC_SERIAL == kIdSerial &&
                  QN_IDC_INTERFACE == kIdInterface && QN_IDC_FIRMWARE == kIdFirmware &&
                  QN_IDC_CAPACITY == kIdCapacity && QN_IDC_STATUS == kIdStatus && QN_IDC_PROGRESS == kIdProgress &&
                  QN_IDC_ICON == kIdIcon && QN_IDC_RUN == IDOK && QN_IDC_STATIC == -1,
              "control ids");

}  // namespace
