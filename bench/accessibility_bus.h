// A desktop's accessibility bus, as a screen-reader user has it, for the
// benchmark: a session bus of our own, the AT-SPI bus its launcher starts,
// and bench_screen_reader reading every window over it. While one runs,
// the environment points this process and its children at that session
// bus and asks Qt for its accessibility bridge.
#pragma once

#include <filesystem>
#include <string>

#include "testing/child_process.h"

namespace bench {

class AccessibilityBus {
public:
    AccessibilityBus() = default;
    ~AccessibilityBus() { Stop(); }
    AccessibilityBus(const AccessibilityBus&) = delete;
    AccessibilityBus& operator=(const AccessibilityBus&) = delete;

    // Starts the buses and the reader (`reader` is its program) in `dir`.
    // Returns "" once the reader is connected, else why not (nothing is left
    // running then).
    std::string Start(const std::filesystem::path& dir, const std::string& reader, unsigned everyMs);

    // Stops all of it and puts the environment back. Returns the reader's
    // counts ("events N walks N objects N failed-calls N"), "" if it gave none.
    std::string Stop();

private:
    std::filesystem::path m_dir;
    simtest::ChildProcess m_session, m_launcher, m_reader;
    bool m_running = false;
};

} // namespace bench
