// The Win32 headers the front end needs, without the macros that would
// rename the dialog framework's own names (ui::IDOK, ui::MessageBox, ...).
// Win32's IDOK and IDCANCEL are 1 and 2, as ui::IDOK and ui::IDCANCEL are.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>

#undef IDOK
#undef IDCANCEL
#undef MessageBox
#undef LoadIcon
#undef LoadString
