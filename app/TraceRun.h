// Recording the whole run into a trace file (quilvex --trace FILE): the
// serial ports, the status line as pushed and every message box.
#pragma once

#include <string>

// Creates the trace file and starts recording. Returns "" or, when the file
// cannot be created, the message for the user; then nothing is recorded and
// no port has been touched.
std::string StartTrace(const std::string& path);

// Writes out what is left and stops recording. Returns "" or the one message
// for a trace that could not be written whole. Without a trace: "".
std::string FinishTrace();
