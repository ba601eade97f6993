// The modem's AT command interpreter: bytes in, reply bytes out. No I/O here.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "sim/options.h"

namespace sim {

enum class CommandAction {
    None,
    StartLoader, // AT~D1: hand the line to the download loader
    HangUp, // --hangup-at discovery fired
};

struct CommandOutput {
    std::string bytes; // echo and reply, to send as they are
    CommandAction action = CommandAction::None;
    std::optional<int> restored_country; // set when AT*NC<n>&F was taken
};

class CommandInterpreter {
public:
    explicit CommandInterpreter(const Options& options);

    // Takes one received byte; returns what to send back and what to do next.
    CommandOutput feed(std::uint8_t byte);

    bool echo() const { return echo_; }
    int country() const { return country_; }

private:
    CommandOutput execute(std::string_view line);
    std::string text_reply(const std::string& text) const;
    std::string ok_reply() const;

    const Options& options_;
    bool echo_ = true;
    int country_;
    std::string line_;
    bool overflow_ = false;
    int commands_ = 0;
};

} // namespace sim
