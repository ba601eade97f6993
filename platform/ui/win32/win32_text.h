// The program's 8-bit strings (system code page) on the desktop's terms.
#pragma once

#include <string>

namespace ui::win32 {

// `text` in UTF-16, read in the system code page. Empty text gives "".
std::wstring Widen(const std::string& text);

// `text` in the system code page, as `out`. False when a character has no
// exact place there (no look-alike is taken): `out` then has "?" for it.
bool NarrowExactly(const std::wstring& text, std::string& out);
// The same in code page `codePage` (a number such as 1252, or 65001 where
// the system is set to UTF-8, which holds every character; there only text
// that is not UTF-16, such as a lone surrogate, is refused, and `out` holds
// U+FFFD for it).
bool NarrowExactlyIn(unsigned codePage, const std::wstring& text, std::string& out);

// The executable's file name without folder and extension ("quilvex");
// "quilvex" when the system cannot tell.
std::string ProgramName();

// The system's text for error `code` (GetLastError), without the trailing
// line break; "error <code>" when it has none.
std::string SystemErrorText(unsigned long code);

} // namespace ui::win32
