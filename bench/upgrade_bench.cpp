// How fast a whole upgrade goes where the user sees it: the program itself,
// its window shown (on a virtual X display when Xvfb is there, else off
// screen), from the detection prompt through discovery, the identity check
// and the Upgrade button to the result box, against the modem simulator on
// a simulated 115200 bit/s line ("window"); the same again with the run
// traced ("trace"); again with a screen reader on the accessibility bus,
// Qt's accessibility bridge on ("a11y"); then quilvex-cli, the same upgrade
// on a terminal, as a process of its own ("cli"); then a bare sender's one
// write call a byte, the floor under the CPU figures ("floor", see
// write_floor.h); then lrzsz's `sx -k` sending the same image over the
// same kind of line ("sx"). --only makes only the runs it names. Prints
// the figures, each beside its target, and last a line naming every target
// the runs missed (or that all were met); its exit status says only
// whether the runs themselves worked.
//
// The simulator times every transfer the same way: from the first packet
// header's arrival to the EOT's acknowledgement leaving it, and from every
// ACK leaving it to the next header arriving.
//
// With --latency it runs only this program's upgrade, three times, behind
// the simulator's model of a USB adapter's latency timer (--reply-latency):
// 16 ms, the adapters' default, 1 ms, what the program asks for, and none.
//
//   upgrade_bench [--offscreen] [--latency] [--only window,trace,a11y,cli,floor,sx]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <numeric>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "app/QuilvexApp.h"
#include "app/QuilvexDlg.h"
#include "bench/accessibility_bus.h"
#include "bench/bench_timing.h"
#include "bench/window_run.h"
#include "bench/write_floor.h"
#include "link/ComPort.h"
#include "testing/child_process.h"
#include "testing/sim_process.h"

namespace fs = std::filesystem;
using bench::Clock;

namespace {

constexpr long kLineRate = 115200;
constexpr double kBytesPerSecond = kLineRate / 10.0; // 8N1: ten bits a byte
constexpr double kWireBytes = 512.0 * (3 + 1024 + 2) + 1; // CRC packets and EOT
constexpr const char* kSuccess = "Successfully upgraded the firmware!";

// Helpers that must not outlive a failed run (they would hold on to the
// benchmark's output and keep running).
std::vector<std::function<void()>> g_cleanUps;

} // namespace

[[noreturn]] void bench::Fail(const std::string& why)
{
    std::fprintf(stderr, "upgrade_bench: %s\n", why.c_str());
    for (auto& cleanUp : g_cleanUps)
        cleanUp();
    std::exit(1);
}

namespace {

using bench::CpuSeconds;
using bench::Fail;
using bench::WindowRun;

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

void PointComPortsAt(const fs::path& link, const fs::path& dir)
{
    setenv("QUILVEX_COM1", link.c_str(), 1);
    for (int n = 2; n <= 9; ++n)
        setenv(("QUILVEX_COM" + std::to_string(n)).c_str(), (dir / ("none" + std::to_string(n))).c_str(), 1);
}

// One upgrade through the window against a fresh simulator, traced into
// `tracePath` when it is not empty; fails the benchmark unless it succeeded
// with the image byte for byte.
bench::Timing RunOurs(const fs::path& dir, const std::vector<uint8_t>& data, const std::string& name,
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
    bench::Timing t = bench::Analyse(EventLines(*modem));
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
        bench::Timing t = RunOurs(dir, data, name, "", run, {"--reply-latency", std::to_string(ms)});
        const bench::Spread react = bench::SpreadOf(t.ReactionsMs());
        std::printf("  %-22s transfer, first header .. EOT acked %7.2f s = limit + %5.2f s (efficiency %.3f); "
                    "ACK to next header mean / max %.3f / %.3f ms; replies held %.2f s\n",
            ms ? ("latency timer " + std::to_string(ms) + " ms:").c_str() : "no latency timer:", t.transferSeconds,
            t.transferSeconds - limit, limit / t.transferSeconds, react.mean, react.max, t.heldSeconds);
        std::fflush(stdout);
    }
}

double ChildrenCpuSeconds()
{
    return CpuSeconds(RUSAGE_CHILDREN);
}

// What the run of quilvex-cli took: the transfer as the simulator saw it,
// and the process's CPU time and wall-clock time for its whole run.
struct CliRun {
    bench::Timing timing;
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
    run.timing = bench::Analyse(EventLines(*modem));
    if (!run.timing.fault.empty())
        Fail("quilvex-cli: " + run.timing.fault);
    return run;
}

// lrzsz's sx -k sending `image` over the same kind of line.
bench::Timing RunSx(const fs::path& dir, const fs::path& image, const std::vector<uint8_t>& data)
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
    bench::Timing t = bench::Analyse(EventLines(*modem));
    if (!t.fault.empty())
        Fail("sx: " + t.fault);
    return t;
}

constexpr double kLimit = kWireBytes / kBytesPerSecond;
constexpr int kFloorPackets = 100; // about 9 s of the bare sender

constexpr double kReactionTargetMs = 0.3;

// Prints the ACK-to-header figures; with `targets`, holds their mean to its target.
void PrintReactions(const char* who, const bench::Timing& t, bench::Targets* targets = nullptr)
{
    const bench::Spread r = bench::SpreadOf(t.ReactionsMs());
    std::printf("  %-12s ACK to next header, mean / 99th pct / max    %.3f / %.3f / %.3f ms%s\n", who, r.mean, r.p99,
        r.max, targets ? "   (target mean <= 0.3)" : "");
    if (targets)
        targets->Check(std::string(who) + " ACK to next header mean ms", r.mean, kReactionTargetMs, 3);
}

// Prints a transfer's efficiency and, beside sx's, their ratio, held to
// their targets (the efficiency only with `efficiencyTarget`).
void PrintTransfer(
    const char* who, const bench::Timing& t, const bench::Timing* sx, bench::Targets& targets, bool efficiencyTarget)
{
    std::printf("  %-12s transfer, first header .. EOT acknowledged %8.2f s, efficiency %.3f%s\n", who,
        t.transferSeconds, kLimit / t.transferSeconds, efficiencyTarget ? "   (target >= 0.99)" : "");
    if (efficiencyTarget)
        targets.Check(std::string(who) + " efficiency", kLimit / t.transferSeconds, 0.99, 3, true);
    if (!sx)
        return;
    std::printf("  %-12s transfer / sx transfer                     %8.3f   (target <= 1.000)\n", who,
        t.transferSeconds / sx->transferSeconds);
    targets.Check(std::string(who) + " transfer / sx", t.transferSeconds / sx->transferSeconds, 1.0, 3);
}

// The figures of one upgrade through the window, beside sx's when it ran.
void PrintWindowRun(const char* who, const bench::Timing& t, const bench::WindowFigures& run, const bench::Timing* sx,
    bench::Targets& targets)
{
    PrintTransfer(who, t, sx, targets, true);
    PrintReactions(who, t, &targets);
    std::printf("  %-12s Upgrade command, button pressed .. result box %6.2f s\n", who, run.commandSeconds);
    const std::string shares = bench::DescribeShares(run.otherThreads);
    std::printf("  %-12s process CPU during the Upgrade command     %8.2f s = %.1f %% of one core   (target <= 5 %%); "
                "threads other than the main one %.2f s%s\n",
        who, run.cpuSeconds, 100.0 * run.cpuSeconds / run.commandSeconds, run.otherThreadsCpuSeconds,
        shares.empty() ? "" : (" (" + shares + ")").c_str());
    targets.Check(std::string(who) + " CPU %", 100.0 * run.cpuSeconds / run.commandSeconds, 5.0, 1);
    const bench::AnswerFigures a = bench::MeetAnswers(run.answers, t.reactions);
    std::printf("  %-12s desktop answered %zu times, %.0f ms in all, longest %.1f ms; longest stretch without "
                "an answer %.0f ms   (target <= 250); answers overlapping an ACK .. header wait: %zu, %.1f ms\n",
        who, a.count, a.totalMs, a.longestMs, run.longestGapMs, a.waitsHit, a.overlapMs);
    targets.Check(std::string(who) + " longest stretch without an answer ms", run.longestGapMs, 250.0, 0);
}

// The upgrade through the window with a screen reader on the accessibility
// bus, in a process of its own: Qt decides on its accessibility bridge once
// a process, at its first QApplication, so this one must not have made one
// yet. Fails the benchmark unless the run succeeded and the reader saw the
// window.
bench::Timing RunWithScreenReader(const fs::path& dir, const std::vector<uint8_t>& data, bench::WindowFigures& figures)
{
    const fs::path result = dir / "a11y.result";
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child < 0)
        Fail(std::string("fork: ") + std::strerror(errno));
    if (child == 0) {
        g_cleanUps.clear(); // the display is the parent's
        bench::AccessibilityBus bus;
        g_cleanUps.push_back([&bus] { bus.Stop(); });
        if (const std::string why = bus.Start(dir / "a11y-bus", QX_SCREEN_READER, 2000); !why.empty())
            Fail("no accessibility bus: " + why);
        WindowRun run;
        const bench::Timing t = RunOurs(dir, data, "a11y", "", run);
        bench::WindowFigures f = run.Figures();
        f.note = bus.Stop();
        std::ofstream(result) << bench::ToText(t, f);
        std::fflush(nullptr);
        _exit(0);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) { }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        Fail("the run with the screen reader failed");
    bench::Timing t;
    if (!bench::FromText(simtest::ReadWholeFile(result), t, figures))
        Fail("the run with the screen reader left no figures");
    const size_t objects = figures.note.find(" objects ");
    if (objects == std::string::npos || std::atol(figures.note.c_str() + objects + 9) <= 0)
        Fail("the screen reader saw no window (" + figures.note + "): Qt's accessibility bridge was off");
    return t;
}

} // namespace

int main(int argc, char** argv)
{
    bool offscreen = false, latency = false;
    std::string only; // the runs to make, by name; "" for all
    for (int i = 1; i < argc; ++i) {
        offscreen = offscreen || std::strcmp(argv[i], "--offscreen") == 0;
        latency = latency || std::strcmp(argv[i], "--latency") == 0;
        if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc)
            only = "," + std::string(argv[++i]) + ",";
    }
    auto wanted = [&only](const char* run) {
        return only.empty() || only.find("," + std::string(run) + ",") != std::string::npos;
    };
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

    bench::VirtualDisplay display;
    g_cleanUps.push_back([&display] { display.Stop(); });
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

    // ---- this program through its window: as it is, with --trace, and with
    // a screen reader on the accessibility bus; then quilvex-cli; then sx ----
    std::optional<bench::Timing> ours, traced, a11y, sx;
    bench::WindowFigures oursRun, tracedRun, a11yRun;
    std::optional<CliRun> cli;
    std::uintmax_t traceBytes = 0;
    if (wanted("a11y")) // first: before this process makes a QApplication
        a11y = RunWithScreenReader(dir, data, a11yRun);
    if (wanted("window")) {
        WindowRun run;
        ours = RunOurs(dir, data, "ours", "", run);
        oursRun = run.Figures();
    }
    if (wanted("trace")) {
        WindowRun run;
        traced = RunOurs(dir, data, "traced", dir / "upgrade.trace", run);
        tracedRun = run.Figures();
        traceBytes = fs::file_size(dir / "upgrade.trace");
    }
    display.Stop();
    if (wanted("cli"))
        cli = RunCli(dir, data);
    std::optional<bench::WriteFloor> floor;
    if (wanted("floor")) {
        floor = bench::MeasureWriteFloor(kFloorPackets);
        if (!floor->fault.empty())
            Fail("the bare sender: " + floor->fault);
    }
    if (wanted("sx"))
        sx = RunSx(dir, image, data);
    fs::current_path("/");
    fs::remove_all(dir);

    const bench::Timing* sxp = sx ? &*sx : nullptr;
    bench::Targets targets;
    std::printf(
        "Whole upgrade of 524288 bytes over a simulated %ld bit/s line, window shown %s\n", kLineRate, shownOn.c_str());
    std::printf(
        "  line-rate limit (%.0f bytes at %.0f bytes/s)          %8.2f s\n", kWireBytes, kBytesPerSecond, kLimit);
    if (sx) {
        PrintTransfer("sx -k:", *sx, nullptr, targets, false); // the yardstick: held to nothing
        PrintReactions("sx -k:", *sx);
    }
    if (ours)
        PrintWindowRun("window:", *ours, oursRun, sxp, targets);
    if (a11y) {
        PrintWindowRun("a11y:", *a11y, a11yRun, sxp, targets);
        std::printf("  %-12s screen reader reading every window every 2 s: %s\n", "a11y:", a11yRun.note.c_str());
    }
    if (traced) {
        PrintWindowRun("--trace:", *traced, tracedRun, sxp, targets);
        if (ours) {
            std::printf("  %-12s transfer with --trace / without             %8.4f   (target <= 1.003)\n",
                "--trace:", traced->transferSeconds / ours->transferSeconds);
            targets.Check("--trace: with / without", traced->transferSeconds / ours->transferSeconds, 1.003, 4);
        }
        std::printf("  %-12s trace file of the whole run                 %8.0f bytes\n",
            "--trace:", static_cast<double>(traceBytes));
    }
    if (cli) {
        PrintTransfer("quilvex-cli:", cli->timing, sxp, targets, false);
        if (ours)
            std::printf("  %-12s transfer / window's transfer               %8.3f\n",
                "quilvex-cli:", cli->timing.transferSeconds / ours->transferSeconds);
        PrintReactions("quilvex-cli:", cli->timing, &targets);
        std::printf("  %-12s process CPU for its whole run              %8.2f s = %.1f %% of one core",
            "quilvex-cli:", cli->cpuSeconds, 100.0 * cli->cpuSeconds / cli->wallSeconds);
        if (ours) {
            std::printf("   (target below the window's Upgrade command, %.2f s)", oursRun.cpuSeconds);
            targets.Check("quilvex-cli: CPU s beside the window's", cli->cpuSeconds, oursRun.cpuSeconds, 2);
        }
        std::printf("\n");
    }
    if (floor) {
        const double seconds = floor->cpuSecondsPerPacket * 512;
        const double over = ours ? oursRun.commandSeconds : 47.2;
        std::printf("  %-12s a bare sender's one write call a byte: CPU for 512 packets %.2f s = %.1f %% of one core "
                    "over %.1f s (the floor under the CPU figures; %d packets measured)\n",
            "floor:", seconds, 100.0 * seconds / over, over, kFloorPackets);
    }
    std::printf("  targets: %s\n", targets.Verdict().c_str());
    std::printf("  load average (1 min) before / after                    %s / %s\n", loadBefore.c_str(),
        LoadAverage().c_str());
    return 0;
}
