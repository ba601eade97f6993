// The modem's built-in download loader: a packet receiver for the flash image.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "sim/line.h"
#include "sim/options.h"

namespace sim {

namespace ctl {
inline constexpr std::uint8_t SOH = 0x01;
inline constexpr std::uint8_t STX = 0x02;
inline constexpr std::uint8_t EOT = 0x04;
inline constexpr std::uint8_t ACK = 0x06;
inline constexpr std::uint8_t NAK = 0x15;
inline constexpr std::uint8_t CAN = 0x18;
} // namespace ctl

// How a loader session ended.
enum class LoaderEnd {
    Finished, // EOT acknowledged; back to command mode
    Aborted, // cancelled or given up; back to command mode
    Stopped, // the simulator was asked to stop
    Closed, // the line was hung up
};

struct LoaderHooks {
    std::function<void(const std::string&)> event; // one line for the event log
    // Called at EOT, before the ACK, with every stored data byte in order.
    std::function<void(const std::vector<std::uint8_t>&)> image;
};

// Runs the built-in receiver from just after the AT~D1 line. Nothing reaches
// hooks.image unless EOT arrived.
LoaderEnd run_loader(Line& line, const Options& options, const LoaderHooks& hooks);

} // namespace sim
