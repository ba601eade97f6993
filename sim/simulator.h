// One simulated modem on its own pseudo-terminal: command mode, download
// loader and the fault injections, run until stopped.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "sim/child.h"
#include "sim/loader.h"
#include "sim/options.h"
#include "sim/pty.h"
#include "sim/replay.h"

namespace sim {

class Line;

class Simulator {
public:
    // `events` gets one line per event ("country-restored 33", "image-written
    // N PATH", "loader-abort WHY", "hangup STAGE", ...), on the thread of run().
    explicit Simulator(Options options, std::function<void(const std::string&)> events = {});
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Reads the --replay trace, opens the pty, the --link symlink and the
    // --log file. Returns false and sets *error on failure; then nothing stays
    // open or created.
    bool open(std::string* error);

    // The pty slave device, e.g. /dev/pts/7 (empty before open()).
    const std::string& slave_path() const { return pty_.slave_path; }

    // Serves the line until stop() or a hang-up (with --replay: until stop()
    // or the first byte that differs from the trace), then closes the pty,
    // removes the link and ends outside receivers. Returns 0, 3 after a
    // replay found a differing byte, or 1 if open() had not succeeded. Call once.
    int run();

    // Makes run() return soon. Async-signal-safe and thread-safe; may come
    // before run().
    void stop();

    // Inspection for in-process tests; thread-safe.
    std::string transcript() const; // bytes received in command mode
    std::optional<int> restored_country() const; // from the last AT*NC<n>&F
    std::vector<std::uint8_t> last_image() const; // data of the last EOT
    int images_received() const;

private:
    void emit(const std::string& line);
    void record(std::uint8_t byte);
    LoaderEnd enter_loader(Line& line);
    void save_image(const std::vector<std::uint8_t>& image);
    void close_all();

    Options options_;
    ReplayScript replay_;
    std::function<void(const std::string&)> events_;
    int stop_pipe_[2] = {-1, -1};
    PtyPair pty_;
    PtyLink link_;
    int log_fd_ = -1;
    Reaper reaper_;

    mutable std::mutex mutex_; // guards the inspection state below
    std::string transcript_;
    std::optional<int> restored_;
    std::vector<std::uint8_t> image_;
    int images_ = 0;
};

} // namespace sim
