// The dialog table (res/dialog_controls.h) spells the Windows styles as
// plain numbers so that the resource compiler and the Linux dialog can share
// it; here they are held against winuser.h. Nothing here generates code.
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

// The run button is the dialog's default button: Enter and the button both send IDOK.
static_assert(QN_IDC_RUN == IDOK, "run button id");

}  // namespace
