// The desktop's file-open dialog, asked the way the program describes it:
// a "Label|pattern|...||" filter and a "*.ext" default extension.
#pragma once

#include <QString>
#include <string>

#include "platform/ui/dialog.h"
#include "platform/ui/file_filter.h"

class QWidget;

namespace ui::qt {

// One filter pair as the toolkit's name filter, "Label (patterns)": a
// label's own "(...)" gives way to the patterns, which are separated by
// blanks, and "*.*" means every file. Just the patterns when the label
// holds nothing else.
QString NameFilter(const FilterPair& pair);
// Shows the file-open dialog over `parent`. Returns true with the chosen
// file's full path in `path`; false (path untouched) when cancelled.
bool RunFileOpenDialog(QWidget* parent, const FileOpenOptions& options, std::string& path);

} // namespace ui::qt
