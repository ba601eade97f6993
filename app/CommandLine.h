// The program's command line: `--trace FILE` (or `--trace=FILE`) records
// the run into FILE. Other arguments are left to the toolkit.
#pragma once

#include <string>

struct CommandLine {
    std::string traceFile; // empty: no trace
    std::string error; // a message for the user when the line is unusable
};

// Reads argv[1..argc-1]. Never fails; a malformed --trace sets `error`.
CommandLine ParseCommandLine(int argc, char** argv);

// The window program's --help text and --version line.
const char* WindowHelpText();
const char* WindowVersionText();
