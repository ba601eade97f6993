// quilvex-cli's command line, its exit codes and its --help text.
#pragma once

#include <string>

// One exit code per outcome a script must tell apart; never above 125.
enum CliExit {
    kExitUpgraded = 0, // upgraded, country code restored
    kExitNotStarted = 1, // the run could not start (the trace file)
    kExitUsage = 2, // usage error, or questions with nobody to answer them
    kExitNoModem = 3, // no modem answered
    kExitModemRefused = 4, // refused by the identity check, or the data file is unusable
    kExitImageRefused = 5, // image refused before anything was sent
    kExitCancelled = 6, // cancelled by the user before the flash began
    kExitFlashFailed = 7, // transfer or restore failed after the flash began
};

struct CliOptions {
    bool yes = false;
    bool json = false;
    bool listPorts = false;
    bool help = false;
    bool version = false;
    std::string image; // empty: the data file's default, else asked for
    std::string port; // empty: COM1 to COM9
    std::string trace; // empty: no trace
    std::string error; // set: the line is unusable (usage, exit 2)
};

// Reads argv[1..argc-1]: "--opt VALUE" and "--opt=VALUE" both do. Never
// fails; an unknown option, a missing or empty value, or a stray argument
// sets `error` to the message for the user.
CliOptions ParseCliOptions(int argc, char** argv);

// The --help text: the options and the exit codes.
std::string CliUsage();
// The --version line.
std::string CliVersion();
