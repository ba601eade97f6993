// The two windows as they must come out: every control's id, kind, text and
// rectangle in dialog units, written out independently of res/.
#pragma once

#include "platform/ui/dialog_template.h"
#include "res/resource.h"

namespace tables {

struct Row {
    int id;
    ui::ControlKind kind;
    const char* text; // null: a placeholder or free text, not checked
    int x, y, cx, cy; // cx, cy < 0: size not fixed
    unsigned style; // tab stop, border and auto-scroll flags
};

constexpr unsigned kChecked = ui::StyleTabStop | ui::StyleBorder | ui::StyleAutoHScroll;

using K = ui::ControlKind;
constexpr int S = ui::IDC_STATIC;

inline const Row kMainWindow[] = {
    {IDOK, K::DefPushButton, "Upgrade", 229, 47, 50, 14, ui::StyleTabStop},
    {IDCANCEL, K::PushButton, "Exit", 230, 71, 50, 14, ui::StyleTabStop},
    {S, K::GroupBox, "New Firmware to be Upgraded... (.dlf file)", 13, 7, 263, 30, 0},
    {IDC_FILENAME, K::Edit, "", 20, 19, 222, 13, ui::StyleBorder | ui::StyleAutoHScroll},
    {IDC_BROWSE, K::PushButton, "...", 252, 20, 13, 11, ui::StyleTabStop},
    {S, K::GroupBox, "Progress...", 13, 103, 265, 25, 0},
    {S, K::Label, "AT I3     : ", 20, 59, 36, 9, 0},
    {S, K::Label, "AT I119 : ", 20, 71, 36, 8, 0},
    {IDC_ATI3, K::Label, nullptr, 57, 59, 149, 9, 0},
    {IDC_ATI119, K::Label, nullptr, 57, 71, 144, 8, 0},
    {S, K::GroupBox, "Current Firmware Version...", 13, 46, 203, 39, 0},
    {IDC_PROGRESS, K::ProgressBar, "", 20, 114, 175, 8, ui::StyleBorder},
    {IDC_PERCENT, K::Label, nullptr, 201, 113, 38, 9, 0},
    {IDC_PACKET, K::Label, nullptr, 243, 113, 30, 9, 0},
    {IDC_STATUS, K::Label, nullptr, 20, 90, 268, 10, 0},
};

inline const Row kAboutBox[] = {
    {S, K::Icon, "", 11, 17, -1, -1, 0},
    {S, K::Label, "Quilvex Version 1.0a", 40, 10, -1, -1, 0},
    {S, K::Label, "(for Dravik Modem)", 39, 19, -1, -1, 0},
    {S, K::Label, nullptr, 40, 33, -1, -1, 0},
    {IDOK, K::DefPushButton, "OK", 178, 7, 32, 14, ui::StyleTabStop},
};

} // namespace tables
