// The program's dialog templates and strings, in dialog units.
#include "res/resource.h"

#include "platform/ui/dialog_template.h"

using ui::ControlKind;

namespace {

constexpr unsigned kMainStyle = ui::DialogModalFrame | ui::DialogCaption | ui::DialogSysMenu | ui::DialogAppWindow;

const ui::DialogTemplate kMainDialog{
    IDD_QUILVEX_DIALOG,
    " Flash Memory Upgrade Utility for Dravik Modem",
    295,
    137,
    "MS Sans Serif",
    8,
    kMainStyle,
    {
        {IDOK, ControlKind::DefPushButton, "Upgrade", 229, 47, 50, 14, ui::StyleTabStop},
        {IDCANCEL, ControlKind::PushButton, "Exit", 230, 71, 50, 14, ui::StyleTabStop},
        {ui::IDC_STATIC, ControlKind::GroupBox, "New Firmware to be Upgraded... (.dlf file)", 13, 7, 263, 30},
        {IDC_FILENAME, ControlKind::Edit, "", 20, 19, 222, 13, ui::StyleBorder | ui::StyleAutoHScroll},
        {IDC_BROWSE, ControlKind::PushButton, "...", 252, 20, 13, 11, ui::StyleTabStop},
        {ui::IDC_STATIC, ControlKind::GroupBox, "Progress...", 13, 103, 265, 25},
        {ui::IDC_STATIC, ControlKind::Label, "AT I3     : ", 20, 59, 36, 9},
        {ui::IDC_STATIC, ControlKind::Label, "AT I119 : ", 20, 71, 36, 8},
        {IDC_ATI3, ControlKind::Label, "Static", 57, 59, 149, 9},
        {IDC_ATI119, ControlKind::Label, "Static", 57, 71, 144, 8},
        {ui::IDC_STATIC, ControlKind::GroupBox, "Current Firmware Version...", 13, 46, 203, 39},
        {IDC_PROGRESS, ControlKind::ProgressBar, "", 20, 114, 175, 8, ui::StyleBorder},
        {IDC_PERCENT, ControlKind::Label, "Static", 201, 113, 38, 9},
        {IDC_PACKET, ControlKind::Label, "Static", 243, 113, 30, 9},
        {IDC_STATUS, ControlKind::Label, "Static", 20, 90, 268, 10},
    },
};

const ui::DialogTemplate kAboutBox{
    IDD_ABOUTBOX,
    "About Quilvex",
    217,
    55,
    "MS Sans Serif",
    8,
    ui::DialogModalFrame | ui::DialogCaption | ui::DialogSysMenu,
    {
        {ui::IDC_STATIC, ControlKind::Icon, "", 11, 17, 20, 20, ui::StyleNone, IDI_ABOUT},
        {ui::IDC_STATIC, ControlKind::Label, "Quilvex Version 1.0a", 40, 10, 119, 8},
        {ui::IDC_STATIC, ControlKind::Label, "(for Dravik Modem)", 39, 19, 119, 8},
        {ui::IDC_STATIC, ControlKind::Label, "Flash memory upgrade over the serial line", 40, 33, 160, 8},
        {IDOK, ControlKind::DefPushButton, "OK", 178, 7, 32, 14, ui::StyleTabStop},
    },
};

} // namespace

void RegisterResources()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    ui::RegisterDialogTemplate(&kMainDialog);
    ui::RegisterDialogTemplate(&kAboutBox);
    ui::SetString(IDS_ABOUTBOX, "&About Quilvex...");
}
