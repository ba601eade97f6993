// Playing back the modem of a recorded trace (quilvex --trace): the
// simulator waits for what the program wrote in the trace, checks it byte
// for byte, and answers with what the program read there, after the
// recorded delay.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "sim/line.h"

namespace sim {

struct ReplayStep {
    enum class Kind {
        Expect, // the program writes `bytes`
        Send, // the modem sends `bytes`
        HangUp, // the line goes dead (the program's reads or writes failed from here)
    };
    Kind kind = Kind::Expect;
    std::string bytes;
    std::int64_t us = 0; // trace time: the last line of an Expect, the read of a Send
    // Expect: the trace line each run of bytes came from, by offset in `bytes`.
    std::vector<std::pair<std::size_t, int>> lines;
};

struct ReplayScript {
    std::string port; // the COM name whose traffic is played
    std::vector<ReplayStep> steps;
    std::uint64_t expected_bytes = 0; // all the program wrote to that port
};

// Reads the trace at `path` and picks the port that carried the most of
// what the program wrote. Returns false with *error (naming the file and,
// for a malformed trace, the line) when there is nothing to play.
bool load_replay(const std::string& path, ReplayScript& out, std::string* error);

// How long before its recorded moment a modem step is played (three
// quarters of the delay since the step before): the trace shows when the
// program took bytes, and they came some time before that.
std::int64_t replay_lead_us(std::int64_t delay_us);

struct ReplayHooks {
    std::function<void(const std::string&)> event; // "replay-port COM4", "replay-mismatch ...", ...
    std::function<void(std::uint8_t)> received; // every byte the program wrote
    std::function<void(const std::vector<std::uint8_t>&)> image; // data of the packets, at an acknowledged EOT
};

enum class ReplayEnd { Completed, Mismatch, Stopped, Closed };

// Plays `script` on `line` until it is done (then keeps reading, reporting
// a byte the trace does not have), a byte differs, or the line stops.
ReplayEnd run_replay(Line& line, const ReplayScript& script, const ReplayHooks& hooks);

} // namespace sim
