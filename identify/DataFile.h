// The identity data file: a text file of positional "name = value" entries
// saying which modem replies the firmware is meant for.
#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

// The most characters a line is read with; a longer line is read in pieces
// of this many characters, and each piece is taken as a line of its own.
inline constexpr std::size_t kDataLineRoom = 255;

// Reads the value of the next entry from `file`, read the way a text-mode
// stream would be: CR LF is one line end and a 0x1A character ends the file.
// Comment lines (";" in the first column), empty lines and lines without "="
// are skipped; the text before the first "=" is the entry's name, ignored.
// Returns the entry's value, which is empty for an entry written without
// one, or std::nullopt when no entry is left (end of file, or a read error).
// The file position is left after the line the entry came from.
std::optional<std::string> ReadDataEntry(std::FILE* file);

// Closes a data file when its owner lets go of it.
struct DataFileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using DataFilePtr = std::unique_ptr<std::FILE, DataFileCloser>;

// Opens the data file `name` for reading. Returns null if it cannot be
// opened or is not a regular file (a directory or a device is never read).
DataFilePtr OpenDataFile(const std::string& name);
