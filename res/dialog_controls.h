/* The main dialog (resource 102): its frame and its controls, in template
   order. Read by the resource compiler (res/quillon.rc, through the C
   preprocessor) and by C++ (res/dialog_template.h, for the headless dialog
   on Linux), so both build the same window from one table.

   Plain C preprocessor only: numbers, string literals and macros; no casts,
   no suffixes the resource compiler would not take. Styles are our own
   spellings of the Windows values (checked against winuser.h in
   platform/win32/dialog_checks_win.cpp). */
#ifndef QUILLON_RES_DIALOG_CONTROLS_H
#define QUILLON_RES_DIALOG_CONTROLS_H

/* Window and control styles. */
#define QN_WS_POPUP 0x80000000
#define QN_WS_CHILD 0x40000000
#define QN_WS_VISIBLE 0x10000000
#define QN_WS_CAPTION 0x00C00000
#define QN_WS_BORDER 0x00800000
#define QN_WS_VSCROLL 0x00200000
#define QN_WS_SYSMENU 0x00080000
#define QN_WS_GROUP 0x00020000
#define QN_WS_TABSTOP 0x00010000
#define QN_DS_SETFONT 0x00000040
#define QN_DS_MODALFRAME 0x00000080
#define QN_DS_CENTER 0x00000800
#define QN_CBS_DROPDOWNLIST 0x00000003
#define QN_BS_DEFPUSHBUTTON 0x00000001
#define QN_SS_LEFT 0x00000000
#define QN_SS_ICON 0x00000003
#define QN_SS_ETCHEDHORZ 0x00000010

/* The dialog frame. */
#define QN_DIALOG_MAIN 102
#define QN_DIALOG_STYLE (QN_WS_POPUP | QN_WS_CAPTION | QN_WS_SYSMENU | QN_DS_MODALFRAME | QN_DS_CENTER | QN_DS_SETFONT)
#define QN_DIALOG_X 0
#define QN_DIALOG_Y 0
#define QN_DIALOG_WIDTH 340
#define QN_DIALOG_HEIGHT 117
#define QN_DIALOG_CAPTION "Dialog"
#define QN_DIALOG_FONT_POINT 9
#define QN_DIALOG_FONT_WEIGHT 400
#define QN_DIALOG_FONT_ITALIC 0
#define QN_DIALOG_FONT_CHARSET 136 /* CHINESEBIG5_CHARSET */

/* Resource ids next to the dialog. */
#define QN_ICON_APP 105
#define QN_PACKAGE_RESOURCE 1000

/* Control ids. */
#define QN_IDC_STATIC (-1)
#define QN_IDC_DRIVE_LIST 500
#define QN_IDC_MODEL 501
#define QN_IDC_SERIAL 502
#define QN_IDC_INTERFACE 503
#define QN_IDC_FIRMWARE 504
#define QN_IDC_CAPACITY 505
#define QN_IDC_RUN 1 /* IDOK */
#define QN_IDC_STATUS 510
#define QN_IDC_PROGRESS 1003
#define QN_IDC_ICON 1004

#define QN_CHILD (QN_WS_CHILD | QN_WS_VISIBLE)
#define QN_LABEL (QN_CHILD | QN_WS_GROUP | QN_SS_LEFT)
#define QN_RULE (QN_CHILD | QN_SS_ETCHEDHORZ)

/* QN_DIALOG_CONTROL(id, class, text, style, x, y, width, height)
   class is one of the tokens ComboBox, Static, Button, Progress; each reader
   maps it (QN_RC_CLASS_##class, QN_CXX_CLASS_##class). Positions are dialog units. */
#define QN_DIALOG_CONTROLS                                                                       \
    QN_DIALOG_CONTROL(QN_IDC_DRIVE_LIST, ComboBox, "",                                           \
                      QN_CHILD | QN_CBS_DROPDOWNLIST | QN_WS_VSCROLL | QN_WS_TABSTOP, 64, 11, 206, 59) \
    QN_DIALOG_CONTROL(QN_IDC_STATIC, Static, "Model ", QN_LABEL, 65, 28, 50, 8)                   \
    QN_DIALOG_CONTROL(QN_IDC_MODEL, Static, "Model ", QN_LABEL, 115, 28, 203, 8)                  \
    QN_DIALOG_CONTROL(QN_IDC_STATIC, Static, "Serial No. ", QN_LABEL, 65, 42, 50, 8)              \
    QN_DIALOG_CONTROL(QN_IDC_SERIAL, Static, "Serial No. ", QN_LABEL, 115, 42, 203, 8)            \
    QN_DIALOG_CONTROL(QN_IDC_STATIC, Static, "Interface ", QN_LABEL, 65, 56, 50, 8)               \
    QN_DIALOG_CONTROL(QN_IDC_INTERFACE, Static, "Interface ", QN_LABEL, 115, 56, 203, 8)          \
    QN_DIALOG_CONTROL(QN_IDC_STATIC, Static, "Firmware ", QN_LABEL, 65, 70, 50, 8)                \
    QN_DIALOG_CONTROL(QN_IDC_FIRMWARE, Static, "Firmware ", QN_LABEL, 115, 70, 203, 8)            \
    QN_DIALOG_CONTROL(QN_IDC_STATIC, Static, "Capacity ", QN_LABEL, 65, 84, 50, 8)                \
    QN_DIALOG_CONTROL(QN_IDC_CAPACITY, Static, "Capacity ", QN_LABEL, 115, 84, 203, 8)            \
    QN_DIALOG_CONTROL(QN_IDC_RUN, Button, "RUN", QN_CHILD | QN_BS_DEFPUSHBUTTON | QN_WS_TABSTOP, 272, 10, 51, 14) \
    QN_DIALOG_CONTROL(QN_IDC_STATUS, Static, "", QN_LABEL, 65, 100, 258, 8)                       \
    QN_DIALOG_CONTROL(QN_IDC_PROGRESS, Progress, "", QN_CHILD | QN_WS_BORDER, 0, 112, 339, 6)    \
    QN_DIALOG_CONTROL(QN_IDC_ICON, Static, "", QN_CHILD | QN_SS_ICON, 16, 11, 20, 20)             \
    QN_DIALOG_CONTROL(QN_IDC_STATIC, Static, "", QN_RULE, 65, 39, 250, 1)                         \
    QN_DIALOG_CONTROL(QN_IDC_STATIC, Static, "", QN_RULE, 65, 53, 250, 1)                         \
    QN_DIALOG_CONTROL(QN_IDC_STATIC, Static, "", QN_RULE, 65, 81, 250, 1)                         \
    QN_DIALOG_CONTROL(QN_IDC_STATIC, Static, "", QN_RULE, 65, 67, 250, 1)                         \
    QN_DIALOG_CONTROL(QN_IDC_STATIC, Static, "", QN_RULE, 65, 95, 250, 1)

#define QN_DIALOG_CONTROL_COUNT 20

/* Class atoms the dialog manager knows by number; the progress bar is a
   common control and goes by name. */
#define QN_RC_CLASS_Button 0x0080
#define QN_RC_CLASS_Static 0x0082
#define QN_RC_CLASS_ComboBox 0x0085
#define QN_RC_CLASS_Progress "msctls_progress32"

#endif
