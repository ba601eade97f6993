// Message boxes on the desktop: the system's own, over the innermost dialog.
#pragma once

#include "platform/ui/message_box.h"

namespace ui::win32 {

class Win32FrontEnd;

// A presenter that shows each text in MessageBox: exclamation icon, OK or
// OK and Cancel, the program's name as caption, the innermost dialog of
// `frontEnd` as owner (disabled while the box shows). It returns IDOK or
// IDCANCEL; a box that could not be shown answers IDCANCEL (OK for an OK box).
MessagePresenter MakeMessagePresenter(const Win32FrontEnd& frontEnd);

} // namespace ui::win32
