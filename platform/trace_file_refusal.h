// What the trace file's back ends tell the user when the file cannot be
// created: the same words on every system.
#pragma once

#include <string>

namespace platform {

// The reason given for a name that is there and is not a regular file.
inline constexpr char kTraceFileNotRegular[] = "It exists and is not a regular file.";

// The message naming the file and `why` it cannot be created (the system's
// text, or kTraceFileNotRegular).
inline std::string TraceFileRefusal(const std::string& path, const std::string& why)
{
    return "The trace file cannot be created:\n" + path + "\n\n" + why;
}

} // namespace platform
