// A dialog template from res/ turned into the in-memory form the desktop's
// dialog manager reads: dialog units, the template's font, one item per
// control in template order.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/ui/dialog_template.h"

namespace ui::win32 {

// The template as DLGTEMPLATE bytes, DWORD-aligned in 16-bit words (pass
// data() to DialogBoxIndirectParam). Never fails; text that the system code
// page cannot read becomes the code page's default character.
std::vector<uint16_t> BuildDialogTemplate(const DialogTemplate& tmpl);

// Window and extended styles of the dialog and of one control.
unsigned long DialogStyle(const DialogTemplate& tmpl);
unsigned long DialogExStyle(const DialogTemplate& tmpl);
unsigned long ControlStyle(const ControlTemplate& c);

} // namespace ui::win32
