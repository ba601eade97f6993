// The simulated modem behind COM4 for a test of the Windows build under
// Wine. scripts/test-windows.sh starts quilvex-modem-sim for each case with
// the flags the case was listed with (see sim_cases.h), links the prefix's
// COM4 to its pseudo-terminal and passes its folder in QX_SIM_DIR, where
// it logs its events (events.txt), every byte it received in command mode
// (received.log) and the image it wrote (image.bin).
#pragma once

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "testing/event_log.h"

class WineSim {
public:
    using ms = std::chrono::milliseconds;

    WineSim()
    {
        if (const char* dir = std::getenv("QX_SIM_DIR"); dir && *dir)
            m_dir = dir;
    }

    // False when the test runs without the script (no simulator to talk to).
    bool present() const { return !m_dir.empty() && std::filesystem::is_directory(m_dir); }
    const std::filesystem::path& dir() const { return m_dir; }
    std::filesystem::path path(std::string_view name) const { return m_dir / name; }

    // The simulator's event lines, every byte it took in command mode, and
    // the image it received (each "" until written).
    std::string events() const { return simtest::ReadWholeFile(path("events.txt")); }
    std::string received() const { return simtest::ReadWholeFile(path("received.log")); }
    std::string image() const { return simtest::ReadWholeFile(path("image.bin")); }

    // Waits until an event line starts with `prefix`. Returns that line, or ""
    // after `timeout`.
    std::string WaitForEvent(std::string_view prefix, ms timeout = ms(5000)) const
    {
        return simtest::WaitForLine(path("events.txt"), prefix, timeout);
    }

private:
    std::filesystem::path m_dir;
};
