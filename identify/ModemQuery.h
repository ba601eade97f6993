// Asking the modem one AT question and taking its reply apart.
#pragma once

#include <string>

// Sends `command` (CR LF ended, with its 400 ms pause) on g_ComPort, reads
// what came back and strips its line breaks. Returns the position of "OK"
// in the stripped reply (-1 without one); `text` gets the reply's text ahead
// of it (the whole reply when there is no "OK"). A port that answers nothing
// gives -1 and an empty text.
int AskModem(const std::string& command, std::string& text);
