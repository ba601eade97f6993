// The file-open chooser's filter and default extension, read once for every
// front end: "Label|pattern|Label|pattern||" and "*.ext".
#pragma once

#include <string>
#include <vector>

namespace ui {

// One choice of the chooser's file-type list.
struct FilterPair {
    std::string label; // as written, "Binary Files (*.dlf)"
    std::vector<std::string> patterns; // "*.dlf", in order, blanks trimmed
    bool operator==(const FilterPair&) const = default;
};

// The pairs of a "Label|pattern|...||" filter, read as the system's
// file-open dialog reads the same text with each "|" made a NUL: an empty
// label ends the list (the closing "||" makes one), and so does a label
// without a pattern (the pair is dropped). A pattern holds one or more
// patterns separated by ";". Empty when nothing is left.
std::vector<FilterPair> ParseFilter(const std::string& filter);

// The extension the chooser appends to a bare name: "*.dlf", ".dlf" and
// "dlf" give "dlf". Empty when the text names no single plain extension
// (a wildcard, a dot, a path separator or a blank left in it, or nothing).
std::string PlainExtension(const std::string& defaultExtension);

} // namespace ui
