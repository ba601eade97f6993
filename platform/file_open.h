// Opening the program's own files (the image, the identity data file) by
// the name the user or the data file gave, as the system's own calls read
// that name (on Windows: in the ANSI code page).
#pragma once

#include <cstdio>
#include <string>

namespace platform {

// Opens `path` for binary reading if it names a regular file (a symbolic
// link to one is fine). Returns the open file (the caller closes it), or
// null for a missing, unreadable or special file (directory, FIFO,
// device), with nothing left open and nothing blocked on.
FILE* OpenRegularFile(const std::string& path);

} // namespace platform
