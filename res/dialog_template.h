// The main dialog template for C++: the same table the resource compiler
// turns into DIALOGEX 102 (res/dialog_controls.h), as constexpr data. The
// headless dialog on Linux builds its window from it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "res/dialog_controls.h"

struct DialogControlTemplate {
    int32_t id;             // -1 for the unnamed statics
    const char16_t* class_name;
    const char16_t* text;   // empty when the template has none
    uint32_t style;         // WS_CHILD | WS_VISIBLE included
    int16_t x, y, width, height;  // dialog units
};

struct DialogTemplate {
    uint32_t id;
    uint32_t style;
    uint32_t ex_style;
    int16_t x, y, width, height;  // dialog units
    const char16_t* caption;
    uint16_t font_point;
    uint16_t font_weight;
    uint8_t font_italic;
    uint8_t font_charset;
    const char16_t* font_face;
    const DialogControlTemplate* controls;
    size_t control_count;
};

#define QN_CXX_CLASS_Button u"Button"
#define QN_CXX_CLASS_Static u"Static"
#define QN_CXX_CLASS_ComboBox u"ComboBox"
#define QN_CXX_CLASS_Progress u"msctls_progress32"
#define QN_CXX_TEXT(text) u"" text

constexpr DialogControlTemplate kMainDialogControls[] = {
#define QN_DIALOG_CONTROL(id, cls, text, style, x, y, w, h) \
    {id, QN_CXX_CLASS_##cls, QN_CXX_TEXT(text), static_cast<uint32_t>(style), x, y, w, h},
    QN_DIALOG_CONTROLS
#undef QN_DIALOG_CONTROL
};

static_assert(sizeof(kMainDialogControls) / sizeof(kMainDialogControls[0]) == QN_DIALOG_CONTROL_COUNT,
              "control count");

// The face is 微軟正黑體 (written with escapes so the source stays ASCII).
constexpr DialogTemplate kMainDialogTemplate = {
    QN_DIALOG_MAIN,
    static_cast<uint32_t>(QN_DIALOG_STYLE),
    0,
    QN_DIALOG_X,
    QN_DIALOG_Y,
    QN_DIALOG_WIDTH,
    QN_DIALOG_HEIGHT,
    QN_CXX_TEXT(QN_DIALOG_CAPTION),
    QN_DIALOG_FONT_POINT,
    QN_DIALOG_FONT_WEIGHT,
    QN_DIALOG_FONT_ITALIC,
    QN_DIALOG_FONT_CHARSET,
    u"\u5FAE\u8EDF\u6B63\u9ED1\u9AD4",
    kMainDialogControls,
    QN_DIALOG_CONTROL_COUNT,
};
