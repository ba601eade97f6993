// How fast a whole upgrade goes where the user sees it: the program itself,
// its window shown (on a virtual X display when Xvfb is there, else off
// screen), from the detection prompt through discovery, the identity check
// and the Upgrade button to the result box, against the modem simulator on
// a simulated 115200 bit/s line; the same again with the run traced
// (--trace); then quilvex-cli, the same upgrade on a terminal, as a process
// of its own; then lrzsz's `sx -k` sending the same image over the same
// kind of line. Prints the figures; judges nothing.
//
// The simulator times both transfers the same way: from the first packet
// header's arrival to the EOT's acknowledgement leaving it, and from every
// ACK leaving it to the next header arriving.
//
// With --latency it runs only this program's upgrade, twice, behind the
// simulator's model of a USB adapter's latency timer (--reply-latency):
// 16 ms, the adapters' default, and 1 ms, what the program asks for.
//
//   upgrade_bench [--offscreen] [--latency]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numeric>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "app/QuilvexApp.h"
#include "app/QuilvexDlg.h"
#include "link/ComPort.h"
#include "platform/pause.h"
#include "platform/ui/qt/qt_app.h"
#include "platform/ui/qt/qt_dialog_view.h"
#include "platform/ui/qt/qt_front_end.h"
#include "testing/child_process.h"
#include "testing/sim_process.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr long kLineRate = 115200;
constexpr double kBytesPerSecond = kLineRate / 10.0; // 8N1: ten bits a byte
constexpr double kWireBytes = 512.0 * (3 + 1024 + 2) + 1; // CRC packets and EOT
constexpr const char* kSuccess = "Successfully upgraded the firmware!";

[[noreturn]] void Fail(const std::string& why)
{
    std::fprintf(stderr, "upgrade_bench: %s\n", why.c_str());
    std::exit(1);
}

double CpuSeconds()
{
    rusage use{};
    getrusage(RUSAGE_SELF, &use);
    auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(use.ru_utime) + seconds(use.ru_stime);
}

std::string LoadAverage()
{
    std::ifstream in("/proc/loadavg");
    std::string one;
    in >> one;
    return one.empty() ? "?" : one;
}

std::vector<uint8_t> ReadAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// The modem simulator as a process of its own (so that our process's CPU
// time is ours alone) on a simulated line at `link`, writing the image it
// receives to `imageOut`; `extra` adds to its options. Fails the benchmark
// when it does not start.
std::unique_ptr<simtest::SimProcess> StartModem(
    const fs::path& link, const fs::path& imageOut, const std::vector<std::string>& extra = {})
{
    std::vector<std::string> args{
        "--line-rate", std::to_string(kLineRate), "--timing", "--image-out", imageOut.string()};
    args.insert(args.end(), extra.begin(), extra.end());
    auto modem = std::make_unique<simtest::SimProcess>(args, link.string());
    if (!modem->started())
        Fail("the simulator did not start: " + modem->error());
    return modem;
}

// The lines the simulator printed: its pty, then its events.
std::vector<std::string> EventLines(const simtest::SimProcess& modem)
{
    std::istringstream in(modem.events());
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// What the simulator's timing events say about one transfer.
struct Timing {
    double transferSeconds = 0;
    double heldSeconds = 0; // replies held by the simulated adapter (--reply-latency)
    std::vector<double> reactionsMs; // ACK leaving .. next header arriving
    std::string fault; // empty when the events were complete
};

Timing Analyse(const std::vector<std::string>& lines)
{
    Timing t;
    std::optional<long long> firstHeader, eotAcked;
    long long lastAck = -1; // time of an ACK no header has followed yet
    for (const std::string& line : lines) {
        std::istringstream in(line);
        std::string kind, code;
        long long at = 0;
        in >> kind;
        if (size_t held = line.find(" held-ms="); kind == "loader-stats" && held != std::string::npos)
            t.heldSeconds = std::atof(line.c_str() + held + 9) / 1000.0;
        if (kind == "reply")
            in >> code;
        if (!(in >> at))
            continue;
        if (kind == "header") {
            if (!firstHeader)
                firstHeader = at;
            if (lastAck >= 0)
                t.reactionsMs.push_back(static_cast<double>(at - lastAck) / 1000.0);
            lastAck = -1;
        } else if (kind == "reply") {
            lastAck = code == "06" ? at : -1;
        } else if (kind == "eot-acked") {
            eotAcked = at;
        }
    }
    if (!firstHeader || !eotAcked)
        t.fault = "no complete transfer in the simulator's events";
    else
        t.transferSeconds = static_cast<double>(*eotAcked - *firstHeader) / 1e6;
    return t;
}

struct Spread {
    double mean = 0, p99 = 0, max = 0;
};

Spread SpreadOf(std::vector<double> v)
{
    Spread s;
    if (v.empty())
        return s;
    std::sort(v.begin(), v.end());
    s.mean = std::accumulate(v.begin(), v.end(), 0.0) / static_cast<double>(v.size());
    s.p99 = v[(v.size() * 99 + 99) / 100 - 1];
    s.max = v.back();
    return s;
}

void PointComPortsAt(const fs::path& link, const fs::path& dir)
{
    setenv("QUILVEX_COM1", link.c_str(), 1);
    for (int n = 2; n <= 9; ++n)
        setenv(("QUILVEX_COM" + std::to_string(n)).c_str(), (dir / ("none" + std::to_string(n))).c_str(), 1);
}

// A virtual X display, if Xvfb can be started; ends with the object.
class VirtualDisplay {
public:
    bool Start()
    {
        int fds[2];
        if (pipe(fds) != 0)
            return false;
        sim::SpawnSetup setup;
        setup.files[2] = "/dev/null";
        setup.close = {fds[0]};
        const bool started = m_xvfb.Start(
            {"Xvfb", "-displayfd", std::to_string(fds[1]), "-nolisten", "tcp", "-screen", "0", "1024x768x24"}, setup);
        close(fds[1]);
        std::string number;
        char c;
        while (started && read(fds[0], &c, 1) == 1 && c != '\n')
            number += c;
        close(fds[0]);
        if (!started || number.empty()) {
            Stop();
            return false;
        }
        m_name = ":" + number;
        return true;
    }
    void Stop() { m_xvfb.Stop(); }
    const std::string& Name() const { return m_name; }

private:
    simtest::ChildProcess m_xvfb;
    std::string m_name;
};

// What the run through the window saw, from our side.
struct WindowRun {
    std::vector<std::string> messages;
    std::optional<Clock::time_point> pressed, resultShown;
    double cpuAtPress = 0, cpuAtResult = 0;
    std::optional<Clock::time_point> lastDesktopAnswer;
    double longestDesktopGapMs = 0;
};

// Notes how long the desktop went unanswered until `now`.
void NoteDesktopGap(WindowRun& run, Clock::time_point now)
{
    if (run.lastDesktopAnswer)
        run.longestDesktopGapMs = std::max(
            run.longestDesktopGapMs, std::chrono::duration<double, std::milli>(now - *run.lastDesktopAnswer).count());
}

// Answers a message box the way a user would: OK, once it is on screen.
void PressOkWhenShown()
{
    QTimer::singleShot(0, [] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible())
                if (QAbstractButton* ok = box->button(QMessageBox::Ok))
                    ok->click();
    });
}

// Runs the program as a user would: confirm the prompt, press Upgrade as
// soon as the window shows (the data file names the image), confirm the result.
void RunThroughTheWindow(WindowRun& run)
{
    static char arg0[] = "quilvex";
    static char* argv[] = {arg0, nullptr};
    int argc = 1;
    ui::RunQtApplication(argc, argv, theApp, [&run](ui::qt::QtFrontEnd& frontEnd) {
        frontEnd.SetShownHook([&run](ui::Dialog& dlg, ui::qt::QtDialogView& view) {
            if (&dlg != g_pMainDlg)
                return;
            QTimer::singleShot(100, [&run, &view] {
                auto* upgrade = qobject_cast<QPushButton*>(view.Control(ui::IDOK));
                if (!upgrade)
                    Fail("no Upgrade button");
                run.cpuAtPress = CpuSeconds();
                run.pressed = Clock::now();
                run.lastDesktopAnswer = run.pressed; // the event loop answered until now
                upgrade->click();
            });
        });
        ui::MessagePresenter shown = ui::SetMessagePresenter({});
        ui::SetMessagePresenter([&run, shown](const std::string& text, ui::MessageButtons buttons) {
            if (run.pressed && !run.resultShown) {
                run.resultShown = Clock::now();
                run.cpuAtResult = CpuSeconds();
                NoteDesktopGap(run, *run.resultShown); // the box's own loop answers from here
            }
            run.messages.push_back(text);
            PressOkWhenShown();
            return shown(text, buttons);
        });
        // Time the gaps between the pauses' answers to the desktop.
        platform::DesktopHook answer = platform::SetDesktopHook({});
        platform::SetDesktopHook([&run, answer] {
            if (run.pressed && !run.resultShown)
                NoteDesktopGap(run, Clock::now());
            answer();
            run.lastDesktopAnswer = Clock::now();
        });
    });
}

// One upgrade through the window against a fresh simulator, traced into
// `tracePath` when it is not empty; fails the benchmark unless it succeeded
// with the image byte for byte.
Timing RunOurs(const fs::path& dir, const std::vector<uint8_t>& data, const std::string& name,
    const fs::path& tracePath, WindowRun& run, const std::vector<std::string>& simExtra = {})
{
    auto modem = StartModem(dir / name, dir / (name + ".bin"), simExtra);
    PointComPortsAt(dir / name, dir);
    theApp.m_strTraceFile = tracePath.string();
    RunThroughTheWindow(run);
    theApp.m_strTraceFile.clear();
    modem->stop();
    if (run.messages.empty() || run.messages.back() != kSuccess || !run.resultShown)
        Fail(name + ": the upgrade did not succeed: " + (run.messages.empty() ? "no message" : run.messages.back()));
    if (ReadAll(dir / (name + ".bin")) != data)
        Fail(name + ": the image the upgrade delivered differs");
    Timing t = Analyse(EventLines(*modem));
    if (!t.fault.empty())
        Fail(name + ": " + t.fault);
    return t;
}

// The --latency figures: our transfer behind an adapter's latency timer of
// 16 ms and of 1 ms, beside the line's limit.
void PrintLatencyFigures(const fs::path& dir, const std::vector<uint8_t>& data, const std::string& shownOn)
{
    const double limit = kWireBytes / kBytesPerSecond;
    std::printf("USB adapter latency timer: whole upgrade of 524288 bytes over a simulated %ld bit/s line, "
                "window shown %s\n",
        kLineRate, shownOn.c_str());
    std::printf(
        "  line-rate limit (%.0f bytes at %.0f bytes/s)          %8.2f s\n", kWireBytes, kBytesPerSecond, limit);
    // 0: no adapter between (a native UART), for comparison on the same machine at the same time.
    for (int ms : {16, 1, 0}) {
        WindowRun run;
        const std::string name = "latency" + std::to_string(ms);
        Timing t = RunOurs(dir, data, name, "", run, {"--reply-latency", std::to_string(ms)});
        const Spread react = SpreadOf(t.reactionsMs);
        std::printf("  %-22s transfer, first header .. EOT acked %7.2f s = limit + %5.2f s (efficiency %.3f); "
                    "ACK to next header mean / max %.3f / %.3f ms; replies held %.2f s\n",
            ms ? ("latency timer " + std::to_string(ms) + " ms:").c_str() : "no latency timer:", t.transferSeconds,
            t.transferSeconds - limit, limit / t.transferSeconds, react.mean, react.max, t.heldSeconds);
        std::fflush(stdout);
    }
}

double ChildrenCpuSeconds()
{
    rusage use{};
    getrusage(RUSAGE_CHILDREN, &use);
    auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(use.ru_utime) + seconds(use.ru_stime);
}

// What the run of quilvex-cli took: the transfer as the simulator saw it,
// and the process's CPU time and wall-clock time for its whole run.
struct CliRun {
    Timing timing;
    double cpuSeconds = 0, wallSeconds = 0;
};

// One upgrade through quilvex-cli --yes (no terminal: output to a file)
// against a fresh simulator; fails the benchmark unless it succeeded with
// the image byte for byte.
CliRun RunCli(const fs::path& dir, const std::vector<uint8_t>& data)
{
    auto modem = StartModem(dir / "cli", dir / "cli.bin");
    PointComPortsAt(dir / "cli", dir);
    CliRun run;
    simtest::ChildProcess cli;
    sim::SpawnSetup setup;
    setup.files = {"/dev/null", (dir / "cli.out").string(), (dir / "cli.err").string()};
    // Only this child is reaped in between: the simulator stays running.
    const double cpuBefore = ChildrenCpuSeconds();
    const auto started = Clock::now();
    if (!cli.Start({QX_CLI, "--yes"}, setup))
        Fail("quilvex-cli: " + cli.Error());
    if (!cli.WaitExit(std::chrono::minutes(8)))
        Fail("quilvex-cli did not end within 8 minutes");
    run.wallSeconds = std::chrono::duration<double>(Clock::now() - started).count();
    run.cpuSeconds = ChildrenCpuSeconds() - cpuBefore;
    modem->stop();
    if (!WIFEXITED(cli.Status()) || WEXITSTATUS(cli.Status()) != 0)
        Fail("quilvex-cli did not upgrade: " + simtest::ReadWholeFile(dir / "cli.out"));
    if (ReadAll(dir / "cli.bin") != data)
        Fail("the image quilvex-cli delivered differs");
    run.timing = Analyse(EventLines(*modem));
    if (!run.timing.fault.empty())
        Fail("quilvex-cli: " + run.timing.fault);
    return run;
}

} // namespace

int main(int argc, char** argv)
{
    bool offscreen = false, latency = false;
    for (int i = 1; i < argc; ++i) {
        offscreen = offscreen || std::strcmp(argv[i], "--offscreen") == 0;
        latency = latency || std::strcmp(argv[i], "--latency") == 0;
    }
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
    // The simulator's own identity, and the image as the default: Upgrade
    // can be pressed as soon as the window shows.
    std::ofstream(dir / "quilvex.dat") << "ATI3_Length     = 10\n"
                                          "ATI3_Response   = \"V2.301-V90_2M_DLP\"\n"
                                          "ATI119_Length   = 10\n"
                                          "ATI119_Response = \"DRAVIK 56K RevC\"\n"
                                          "Firmware        = \"image.dlf\"\n";
    fs::current_path(dir);
    const std::string loadBefore = LoadAverage();

    VirtualDisplay display;
    std::string shownOn = "off screen (QT_QPA_PLATFORM=offscreen)";
    if (!offscreen && display.Start()) {
        setenv("DISPLAY", display.Name().c_str(), 1);
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        shownOn = "on Xvfb " + display.Name();
    } else {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }

    if (latency) {
        PrintLatencyFigures(dir, data, shownOn);
        display.Stop();
        fs::current_path("/");
        fs::remove_all(dir);
        std::printf("  load average (1 min) before / after                    %s / %s\n", loadBefore.c_str(),
            LoadAverage().c_str());
        return 0;
    }

    // ---- this program, through its window: as it is, then with --trace ----
    WindowRun run, tracedRun;
    Timing ours = RunOurs(dir, data, "ours", "", run);
    const fs::path tracePath = dir / "upgrade.trace";
    Timing traced = RunOurs(dir, data, "traced", tracePath, tracedRun);
    const auto traceBytes = fs::file_size(tracePath);
    display.Stop();

    // ---- quilvex-cli: the same upgrade on a terminal ----
    const CliRun cli = RunCli(dir, data);

    // ---- sx -k to the same kind of line ----
    Timing sx;
    {
        // sx is waiting before 'C' goes
        auto modem = StartModem(dir / "sx", dir / "sx.bin", {"--start-delay", "1000"});
        PointComPortsAt(dir / "sx", dir);
        if (!g_ComPort.Open("COM1"))
            Fail("cannot open the second line");
        g_ComPort.SendCommand("AT~D1", true);
        g_ComPort.Close();
        const std::string script = "exec sx -k \"$0\" <\"$1\" >\"$1\" 2>/dev/null";
        simtest::ChildProcess sender;
        if (!sender.Start({"sh", "-c", script, image.string(), (dir / "sx").string()}))
            Fail(sender.Error());
        // Ten times the line's limit: an sx that never ends fails the run.
        if (!sender.WaitExit(std::chrono::minutes(8)))
            Fail("sx did not end within 8 minutes");
        const int status = sender.Status();
        modem->stop();
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
            Fail("sx did not finish its transfer");
        if (ReadAll(dir / "sx.bin") != data)
            Fail("the image sx delivered differs");
        sx = Analyse(EventLines(*modem));
        if (!sx.fault.empty())
            Fail("sx: " + sx.fault);
    }
    fs::current_path("/");
    fs::remove_all(dir);

    const double limit = kWireBytes / kBytesPerSecond;
    const double command = std::chrono::duration<double>(*run.resultShown - *run.pressed).count();
    const double cpu = run.cpuAtResult - run.cpuAtPress;
    const Spread oursReact = SpreadOf(ours.reactionsMs), sxReact = SpreadOf(sx.reactionsMs);
    const Spread tracedReact = SpreadOf(traced.reactionsMs);
    std::printf(
        "Whole upgrade of 524288 bytes over a simulated %ld bit/s line, window shown %s\n", kLineRate, shownOn.c_str());
    std::printf(
        "  line-rate limit (%.0f bytes at %.0f bytes/s)          %8.2f s\n", kWireBytes, kBytesPerSecond, limit);
    std::printf("  ours: transfer, first header .. EOT acknowledged       %8.2f s\n", ours.transferSeconds);
    std::printf("  sx -k: transfer, first header .. EOT acknowledged      %8.2f s\n", sx.transferSeconds);
    std::printf("  our efficiency (limit / our transfer)                  %8.3f   (target >= 0.99)\n",
        limit / ours.transferSeconds);
    std::printf("  our transfer / sx transfer                             %8.3f   (target <= 1.00)\n",
        ours.transferSeconds / sx.transferSeconds);
    std::printf("  ours: ACK to next header, mean / 99th pct / max  %.3f / %.3f / %.3f ms   (target mean <= 0.3)\n",
        oursReact.mean, oursReact.p99, oursReact.max);
    std::printf("  sx -k: ACK to next header, mean / 99th pct / max %.3f / %.3f / %.3f ms\n", sxReact.mean, sxReact.p99,
        sxReact.max);
    std::printf("  ours: Upgrade command, button pressed .. result box    %8.2f s\n", command);
    std::printf("  ours with --trace: transfer, first header .. EOT acked %8.2f s\n", traced.transferSeconds);
    std::printf("  with --trace / without, transfer                       %8.4f   (target <= 1.003)\n",
        traced.transferSeconds / ours.transferSeconds);
    std::printf("  with --trace: ACK to next header, mean / 99th pct / max %.3f / %.3f / %.3f ms\n", tracedReact.mean,
        tracedReact.p99, tracedReact.max);
    const double tracedCommand = std::chrono::duration<double>(*tracedRun.resultShown - *tracedRun.pressed).count();
    const double tracedCpu = tracedRun.cpuAtResult - tracedRun.cpuAtPress;
    std::printf("  with --trace: Upgrade command, button pressed .. result box %8.2f s\n", tracedCommand);
    std::printf("  with --trace: process CPU during the Upgrade command   %8.2f s = %.1f %% of one core\n", tracedCpu,
        100.0 * tracedCpu / tracedCommand);
    std::printf(
        "  trace file of the whole run                            %8.0f bytes\n", static_cast<double>(traceBytes));
    std::printf(
        "  ours: process CPU during the Upgrade command           %8.2f s = %.1f %% of one core   (target <= 5 %%)\n",
        cpu, 100.0 * cpu / command);
    const Spread cliReact = SpreadOf(cli.timing.reactionsMs);
    std::printf("  quilvex-cli: transfer, first header .. EOT acknowledged %7.2f s\n", cli.timing.transferSeconds);
    std::printf("  quilvex-cli transfer / sx transfer                     %8.3f   (target <= 1.005)\n",
        cli.timing.transferSeconds / sx.transferSeconds);
    std::printf("  quilvex-cli transfer / window's transfer               %8.3f\n",
        cli.timing.transferSeconds / ours.transferSeconds);
    std::printf("  quilvex-cli: ACK to next header, mean / 99th pct / max %.3f / %.3f / %.3f ms\n", cliReact.mean,
        cliReact.p99, cliReact.max);
    std::printf("  quilvex-cli: process CPU for its whole run             %8.2f s = %.1f %% of one core"
                "   (target <= the window's Upgrade command, %.2f s)\n",
        cli.cpuSeconds, 100.0 * cli.cpuSeconds / cli.wallSeconds, cpu);
    std::printf("  ours: longest stretch without answering the desktop    %8.0f ms   (target <= 250)\n",
        run.longestDesktopGapMs);
    std::printf("  load average (1 min) before / after                    %s / %s\n", loadBefore.c_str(),
        LoadAverage().c_str());
    return 0;
}
