// Where a trace of the run is written: a file of the user's naming, and the
// description of this system that heads it. One back end per system.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace platform {

class OutputFile {
public:
    virtual ~OutputFile() = default;
    // Appends `text`. Returns false with `error` (the system's text) when it
    // could not; what went before stays written.
    virtual bool Write(std::string_view text, std::string& error) = 0;
    // Ends the file. Returns false with `error` when the system refused.
    virtual bool Close(std::string& error) = 0;
};

// Creates the file at `path` (a name in the system's code page), emptying
// one that exists only if it is a regular file. Returns null with `error`,
// a message for the user naming the file and the system's reason, when it
// cannot; nothing is then created or changed.
std::unique_ptr<OutputFile> CreateTraceFile(const std::string& path, std::string& error);

// The operating system, its version and the machine, on one line.
std::string SystemDescription();

} // namespace platform
