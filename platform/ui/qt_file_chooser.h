// The desktop's file-open dialog, asked the way the program describes it:
// a "Label|pattern|...||" filter and a "*.ext" default extension.
#pragma once

#include <QString>
#include <QStringList>
#include <string>

#include "platform/ui/dialog.h"

class QWidget;

namespace ui::qt {

// The filter pairs as the toolkit's name filters, "Label (patterns)": a
// label's own "(...)" gives way to the pattern, ";" between patterns
// becomes a blank, and "*.*" means every file. An empty label ends the
// list; a pair without patterns is dropped. Empty when nothing is left.
QStringList NameFiltersFromPairs(const std::string& filter);
// The suffix the dialog appends to a bare name: "*.dlf" gives "dlf";
// empty when the extension holds a wildcard or nothing.
QString SuffixFromDefaultExtension(const std::string& defaultExtension);
// Shows the file-open dialog over `parent`. Returns true with the chosen
// file's full path in `path`; false (path untouched) when cancelled.
bool RunFileOpenDialog(QWidget* parent, const FileOpenOptions& options, std::string& path);

} // namespace ui::qt
