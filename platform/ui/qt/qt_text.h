// Text conversion between the program's byte strings and the toolkit's
// strings, and the "&" mnemonic convention of labels.
#pragma once

#include <QString>
#include <string>

namespace ui::qt {

// The program's bytes as the toolkit's text: UTF-8 when they are valid
// UTF-8, otherwise one character per byte (Latin-1), so no byte is lost.
QString ToQString(const std::string& text);
// The toolkit's text as the program's bytes (UTF-8, the desktop's encoding).
std::string FromQString(const QString& text);

// A label's text as rich text: "&x" underlines x, "&&" is a literal "&",
// a trailing "&" shows nothing; blanks are kept as they are and markup in
// the text is shown literally.
QString MnemonicToHtml(const QString& text);
// The same text as it reads on screen, without the markers.
QString StripMnemonics(const QString& text);
// True if `text` shown as plain text reads the same as through
// MnemonicToHtml: one line, no "&", no tab or carriage return.
bool IsPlainLine(const QString& text);

} // namespace ui::qt
