// One run of the noise soak: discovery and the Upgrade command, through the
// program's own dialog logic, against a simulated modem whose line flips
// bits, and a verdict on what the user was told against what the modem got.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

// Where the line flips bits.
enum class NoiseMode {
    In, // in what the loader receives (packets, EOT): the simulator's --noise
    Both, // there and in the loader's replies: --noise-both, one rate for both
    Replies, // only in the loader's replies, flipped on the program's side of the line
};

struct SoakSetup {
    double probability = 0; // chance of one flipped bit per byte
    NoiseMode mode = NoiseMode::In;
    uint64_t seed = 1; // the noise and the image's bytes
};

// How a run ended, as the soak counts it.
enum class SoakKind {
    Success, // success message, image byte-identical, country restored
    Failure, // exactly one of the program's failure messages
    FalseSuccess, // success message, but the modem got something else
    Unexpected, // no message, several, one not the program's, or dialog left open
    Setup, // the run could not be set up (simulator, discovery)
    Hung, // stopped by the watchdog
    Crashed, // ended by a signal or without a verdict
};

struct SoakOutcome {
    SoakKind kind = SoakKind::Crashed;
    std::string detail; // Failure: the message's label; otherwise what went wrong
    int naks = 0; // NAKs the program read during the transfer
};

// Runs one upgrade with `setup`. `onSimFolder` hears the simulator's temp
// folder as soon as it exists (so that a killed run can be cleaned up).
// Returns the verdict; the simulator is stopped and its folder removed.
SoakOutcome RunSoakOnce(const SoakSetup& setup, const std::function<void(const std::string&)>& onSimFolder);

// A short name for a failure message of the program, or "" for a text that
// is not one of them.
std::string FailureLabel(const std::string& message);

// The failure labels in table order, each with its message.
struct LabelledMessage {
    const char* label;
    const char* message;
};
const LabelledMessage* FailureLabels(int& count);

// Writes an outcome as one line of text, and reads it back (false if the
// text is not one).
std::string EncodeOutcome(const SoakOutcome& outcome);
bool DecodeOutcome(const std::string& line, SoakOutcome& outcome);
