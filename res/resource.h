// Resource identifiers of the program's dialogs, controls, strings and icons.
#pragma once

#include "platform/ui/message_box.h"

#define IDM_ABOUTBOX 0x0010
#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_QUILVEX_DIALOG 102
#define IDR_MAINFRAME 128
#define IDI_ABOUT 133
#define IDC_FILENAME 1001
#define IDC_BROWSE 1002
#define IDC_ATI3 1003
#define IDC_ATI119 1004
#define IDC_PROGRESS 1005
#define IDC_PERCENT 1006
#define IDC_PACKET 1007
#define IDC_STATUS 1009

// The OK and Cancel buttons' ids are the dialog results of the same name.
using ui::IDCANCEL;
using ui::IDOK;

// Registers the dialog templates and string resources with the dialog
// framework. Safe to call more than once.
void RegisterResources();
