// The terminal a console program runs on: its standard streams, whether
// they are terminals, and a line of the user's answer. One back end per
// system.
#pragma once

#include <string>
#include <string_view>

namespace console {

enum class Stream { Out, Err };

// Whether standard input, or the given output stream, is a terminal.
bool InputIsTerminal();
bool IsTerminal(Stream stream);

// Reads one line from standard input, without its line end. Returns false
// at the end of input (Ctrl-D; Ctrl-Z on Windows) or on a read error;
// `line` then holds what came before it.
bool ReadLine(std::string& line);

// Writes all of `text` to `stream`, waiting as long as the stream makes it
// wait. Returns false when the stream refuses it for good (a terminal that
// went away, a closed pipe); part of the text may then have gone out.
bool WriteAll(Stream stream, std::string_view text);

} // namespace console
