// How close a full upgrade comes to the line's limit: a 512 KiB image over
// a simulated 115200 bit/s line, once by this program (discovery, then the
// Upgrade command) and once by lrzsz's `sx -k` sending the same image to
// the same kind of line. Prints the figures; judges nothing.
//
// The transfer is timed from the moment the sender takes the loader's start
// character to the loader's acknowledgement of EOT, both sides the same way.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/ui/message_box.h"

#include "app/QuilvexDlg.h"
#include "link/ComPort.h"
#include "sim/simulator.h"
#include "upgrade/Packet.h"

extern char** environ;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr long kLineRate = 115200;
constexpr double kBytesPerSecond = kLineRate / 10.0; // 8N1: ten bits a byte
constexpr double kWireBytes = 512.0 * (3 + 1024 + 2) + 1; // CRC packets and EOT
constexpr int kSxStartDelayMs = 1000;

double Seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

double ThreadCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

std::vector<uint8_t> ReadAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// A simulated modem on its own thread, with the times of its events.
class SimRun {
public:
    explicit SimRun(sim::Options options)
        : m_sim(std::move(options), [this](const std::string& line) {
              std::lock_guard lock(m_mutex);
              m_events.push_back({Clock::now(), line});
          })
    {
        std::string error;
        if (!m_sim.open(&error)) {
            std::fprintf(stderr, "upgrade_bench: simulator: %s\n", error.c_str());
            std::exit(1);
        }
        m_thread = std::thread([this] { m_sim.run(); });
    }
    ~SimRun()
    {
        m_sim.stop();
        m_thread.join();
    }
    // When the first event starting with `prefix` came, if it did.
    std::optional<Clock::time_point> When(const std::string& prefix)
    {
        std::lock_guard lock(m_mutex);
        for (const auto& [at, line] : m_events)
            if (line.rfind(prefix, 0) == 0)
                return at;
        return std::nullopt;
    }

private:
    sim::Simulator m_sim;
    std::mutex m_mutex;
    std::vector<std::pair<Clock::time_point, std::string>> m_events;
    std::thread m_thread;
};

// Notes when the window first shows a status text.
class StatusWatch : public ui::DialogView {
public:
    StatusWatch(ui::Dialog& dlg, std::string text) : m_dlg(dlg), m_text(std::move(text)) { dlg.AttachView(this); }
    ~StatusWatch() override { m_dlg.AttachView(nullptr); }
    void TextChanged(int id) override
    {
        if (id == IDC_STATUS && !seen && m_dlg.GetControlText(id) == m_text)
            seen = Clock::now();
    }
    void ProgressChanged(int) override {}
    void IconChanged() override {}
    void Ended() override {}
    void Flush() override {}
    std::optional<Clock::time_point> seen;

private:
    ui::Dialog& m_dlg;
    std::string m_text;
};

sim::Options LineOptions(const fs::path& dir, const std::string& name)
{
    sim::Options o;
    o.link_path = (dir / name).string();
    o.line_rate = kLineRate;
    o.image_out = (dir / (name + ".bin")).string();
    return o;
}

void PointComPortsAt(const fs::path& link, const fs::path& dir)
{
    setenv("QUILVEX_COM1", link.c_str(), 1);
    for (int n = 2; n <= 9; ++n)
        setenv(("QUILVEX_COM" + std::to_string(n)).c_str(), (dir / ("none" + std::to_string(n))).c_str(), 1);
}

void Fail(const std::string& why)
{
    std::fprintf(stderr, "upgrade_bench: %s\n", why.c_str());
    std::exit(1);
}

} // namespace

int main()
{
    char dirTemplate[] = "/tmp/quilvex-bench-XXXXXX";
    if (!mkdtemp(dirTemplate))
        Fail("cannot make a temporary folder");
    const fs::path dir = dirTemplate;
    const fs::path image = dir / "image.dlf";
    std::vector<uint8_t> data(524288);
    std::mt19937 random(7);
    for (uint8_t& b : data)
        b = static_cast<uint8_t>(random());
    std::ofstream(image, std::ios::binary).write(reinterpret_cast<const char*>(data.data()), data.size());
    fs::current_path(dir); // no identity data file here: the check is bypassed

    std::vector<std::string> messages;
    ui::SetMessagePresenter([&](const std::string& text, ui::MessageButtons) {
        messages.push_back(text);
        return 1; // OK
    });

    // ---- this program: discovery, then the Upgrade command ----
    double oursTransfer = 0, oursCommand = 0, oursRun = 0, oursCpu = 0;
    {
        SimRun modem(LineOptions(dir, "ours"));
        PointComPortsAt(dir / "ours", dir);
        CQuilvexDlg dlg;
        g_pMainDlg = &dlg;
        StatusWatch watch(dlg, kStatusUpgrading);
        const auto runStart = Clock::now();
        dlg.UpdateData(false);
        dlg.DetectModem();
        if (dlg.IsEnded())
            Fail("discovery failed");
        dlg.SetControlText(IDC_FILENAME, image.string());
        const double cpu0 = ThreadCpuSeconds();
        const auto commandStart = Clock::now();
        dlg.OnOK();
        const auto end = Clock::now();
        oursCpu = ThreadCpuSeconds() - cpu0;
        g_pMainDlg = nullptr;
        auto acked = modem.When("command-mode");
        if (!watch.seen || !acked || messages.empty() || messages.back() != "Successfully upgraded the firmware!")
            Fail("our upgrade did not succeed: " + (messages.empty() ? std::string("no message") : messages.back()));
        if (ReadAll(dir / "ours.bin") != data)
            Fail("the image our upgrade delivered differs");
        oursTransfer = Seconds(*acked - *watch.seen);
        oursCommand = Seconds(end - commandStart);
        oursRun = Seconds(end - runStart);
    }

    // ---- sx -k to the same kind of line ----
    double sxTransfer = 0, sxProcess = 0;
    {
        sim::Options options = LineOptions(dir, "sx");
        options.start_delay_ms = kSxStartDelayMs; // sx is waiting before 'C' goes
        SimRun modem(options);
        PointComPortsAt(dir / "sx", dir);
        if (!g_ComPort.Open("COM1"))
            Fail("cannot open the second line");
        g_ComPort.SendCommand("AT~D1", true);
        g_ComPort.Close();

        const std::string link = (dir / "sx").string();
        const std::string script = "exec sx -k \"$0\" <\"$1\" >\"$1\" 2>/dev/null";
        const char* argv[] = {"sh", "-c", script.c_str(), image.c_str(), link.c_str(), nullptr};
        pid_t pid = 0;
        const auto spawned = Clock::now();
        if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ) != 0)
            Fail("cannot start sx");
        int status = 0;
        waitpid(pid, &status, 0);
        sxProcess = Seconds(Clock::now() - spawned);
        auto loader = modem.When("loader-start");
        auto acked = modem.When("command-mode");
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || !loader || !acked)
            Fail("sx did not finish its transfer");
        if (ReadAll(dir / "sx.bin") != data)
            Fail("the image sx delivered differs");
        sxTransfer = Seconds(*acked - (*loader + std::chrono::milliseconds(kSxStartDelayMs)));
    }
    fs::current_path("/");
    fs::remove_all(dir);

    const double limit = kWireBytes / kBytesPerSecond;
    std::printf("Full upgrade of 524288 bytes over a simulated %ld bit/s line\n", kLineRate);
    std::printf("  line-rate limit (%.0f bytes at %.0f bytes/s)  %8.2f s\n", kWireBytes, kBytesPerSecond, limit);
    std::printf("  ours: transfer (start char .. EOT ACK)      %8.2f s\n", oursTransfer);
    std::printf("  ours: transfer less the fixed 250 ms pause  %8.2f s\n", oursTransfer - 0.25);
    std::printf("  ours: Upgrade command                       %8.2f s\n", oursCommand);
    std::printf("  ours: whole run with discovery              %8.2f s\n", oursRun);
    std::printf("  sx -k: transfer (start char .. EOT ACK)     %8.2f s\n", sxTransfer);
    std::printf("  sx -k: process                              %8.2f s\n", sxProcess);
    std::printf("  our efficiency (limit / our transfer)       %8.3f   (target >= 0.97)\n", limit / oursTransfer);
    std::printf("  our transfer / sx transfer                  %8.3f   (target <= 1.00)\n", oursTransfer / sxTransfer);
    std::printf("  our CPU during the Upgrade command          %8.2f s\n", oursCpu);
    return 0;
}
