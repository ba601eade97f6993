#include "sim/simulator.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "sim/command.h"
#include "sim/line.h"
#include "sim/relay.h"

namespace sim {
namespace {

constexpr std::size_t kMaxTranscript = 1u << 20; // in memory; the --log file gets all
constexpr Millis kReapEvery{100};
constexpr Millis kReceiverGrace{2000};

// Writes `data` to `path` through a temporary file, so nobody sees half an image.
bool write_file(const std::string& path, const std::vector<std::uint8_t>& data, std::string* error)
{
    const std::string temp = path + ".part";
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        *error = temp + ": " + std::strerror(errno);
        return false;
    }
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            *error = temp + ": " + std::strerror(errno);
            ::close(fd);
            ::unlink(temp.c_str());
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    if (::close(fd) != 0 || ::rename(temp.c_str(), path.c_str()) != 0) {
        *error = path + ": " + std::strerror(errno);
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

} // namespace

Simulator::Simulator(Options options, std::function<void(const std::string&)> events)
    : options_(std::move(options)), events_(std::move(events))
{
    if (::pipe2(stop_pipe_, O_CLOEXEC | O_NONBLOCK) != 0)
        stop_pipe_[0] = stop_pipe_[1] = -1;
}

Simulator::~Simulator()
{
    close_all();
    for (int fd : stop_pipe_)
        if (fd >= 0)
            ::close(fd);
}

void Simulator::close_all()
{
    close_pty(pty_);
    link_.remove();
    if (log_fd_ >= 0)
        ::close(log_fd_);
    log_fd_ = -1;
}

bool Simulator::open(std::string* error)
{
    if (stop_pipe_[0] < 0) {
        *error = "cannot create the stop pipe";
        return false;
    }
    if (!options_.replay_path.empty() && !load_replay(options_.replay_path, replay_, error))
        return false;
    if (!open_pty(pty_, error))
        return false;
    if (!options_.log_path.empty()) {
        log_fd_ = ::open(options_.log_path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (log_fd_ < 0) {
            *error = options_.log_path + ": " + std::strerror(errno);
            close_all();
            return false;
        }
    }
    if (!options_.link_path.empty() && !link_.create(options_.link_path, pty_.slave_path, error)) {
        close_all();
        return false;
    }
    return true;
}

void Simulator::stop()
{
    const char byte = 1;
    if (stop_pipe_[1] >= 0 && ::write(stop_pipe_[1], &byte, 1) < 0) {
        // Pipe full: a stop is pending already.
    }
}

std::string Simulator::transcript() const
{
    std::lock_guard lock(mutex_);
    return transcript_;
}

std::optional<int> Simulator::restored_country() const
{
    std::lock_guard lock(mutex_);
    return restored_;
}

std::vector<std::uint8_t> Simulator::last_image() const
{
    std::lock_guard lock(mutex_);
    return image_;
}

int Simulator::images_received() const
{
    std::lock_guard lock(mutex_);
    return images_;
}

void Simulator::emit(const std::string& line)
{
    if (events_)
        events_(line);
}

void Simulator::record(std::uint8_t byte)
{
    {
        std::lock_guard lock(mutex_);
        if (transcript_.size() < kMaxTranscript)
            transcript_ += static_cast<char>(byte);
    }
    if (log_fd_ >= 0) {
        ssize_t n;
        do
            n = ::write(log_fd_, &byte, 1);
        while (n < 0 && errno == EINTR);
    }
}

void Simulator::save_image(const std::vector<std::uint8_t>& image)
{
    {
        std::lock_guard lock(mutex_);
        image_ = image;
        ++images_;
    }
    const std::string size = std::to_string(image.size());
    if (options_.image_out.empty()) {
        emit("image-received " + size);
        return;
    }
    std::string error;
    if (write_file(options_.image_out, image, &error))
        emit("image-written " + size + " " + options_.image_out);
    else
        emit("image-write-failed " + error);
}

LoaderEnd Simulator::enter_loader(Line& line)
{
    if (options_.hangup_stage == HangupStage::Start) {
        line.hang_up("start");
        return LoaderEnd::Closed;
    }
    auto event = [this](const std::string& text) { emit(text); };
    line.set_noise(true, options_.noise_both);
    LoaderEnd end;
    if (options_.loader_cmd.empty()) {
        const LoaderHooks hooks{event, [this](const std::vector<std::uint8_t>& image) { save_image(image); }};
        end = run_loader(line, options_, hooks);
    } else {
        end = run_relay(line, options_, reaper_, event);
    }
    line.set_noise(false, false);
    return end;
}

int Simulator::run()
{
    if (pty_.master < 0)
        return 1;
    const LineConfig config{
        options_.line_rate, options_.noise, options_.seed, options_.hangup_after_bytes, options_.reply_latency_ms};
    Line line(pty_.master, pty_.slave, stop_pipe_[0], config);
    pty_.master = pty_.slave = -1; // the line owns them now
    auto report = [this](const std::string& text) { emit(text); };
    if (!options_.replay_path.empty()) {
        const ReplayHooks hooks{report, [this](std::uint8_t b) { record(b); },
            [this](const std::vector<std::uint8_t>& image) { save_image(image); }};
        const ReplayEnd end = run_replay(line, replay_, hooks);
        if (line.closed())
            emit("hangup " + line.hangup_reason());
        line.hang_up("shutdown");
        link_.remove();
        return end == ReplayEnd::Mismatch ? 3 : 0;
    }
    CommandInterpreter commands(options_);
    for (;;) {
        std::uint8_t byte = 0;
        Io io = line.read(byte, reaper_.pending() ? after(kReapEvery) : kNever);
        if (io == Io::Timeout) {
            reaper_.collect(report);
            continue;
        }
        if (io != Io::Ok)
            break;
        record(byte);
        CommandOutput out = commands.feed(byte);
        if (out.restored_country) {
            {
                std::lock_guard lock(mutex_);
                restored_ = out.restored_country;
            }
            emit("country-restored " + std::to_string(*out.restored_country));
        }
        if (out.action == CommandAction::HangUp) {
            line.hang_up("discovery");
            break;
        }
        io = line.write(out.bytes);
        if (io == Io::Stopped || io == Io::Closed)
            break;
        if (out.action == CommandAction::StartLoader) {
            emit("loader-start");
            const LoaderEnd end = enter_loader(line);
            if (end == LoaderEnd::Stopped || end == LoaderEnd::Closed)
                break;
            emit("command-mode");
        }
    }
    if (line.closed())
        emit("hangup " + line.hangup_reason());
    line.hang_up("shutdown");
    link_.remove();
    reaper_.finish(kReceiverGrace, report);
    return 0;
}

} // namespace sim
