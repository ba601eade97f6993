// quilvex-cli.exe under Wine against the simulator on COM4: an upgrade with
// --yes end to end, and Ctrl-C during the flash refused. The program runs
// as a child process sharing this suite's console, its output in files in
// the simulator's folder.
#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <string>

#include "tests/windows/sim_cases.h"
#include "tests/windows/wine_sim.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace {

using namespace std::chrono_literals;

// quilvex-cli.exe beside this suite.
std::string CliProgram()
{
    char path[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    return (std::filesystem::path(path).parent_path() / "quilvex-cli.exe").string();
}

std::string WriteImage(const WineSim& sim)
{
    std::mt19937 random(7);
    std::string image(524288, '\0');
    for (char& c : image)
        c = static_cast<char>(random());
    std::ofstream(sim.path("new.dlf"), std::ios::binary) << image;
    return image;
}

HANDLE OutputFile(const std::filesystem::path& path)
{
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    return ::CreateFileA(path.string().c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// quilvex-cli.exe `args` in the simulator's folder, on this console, with
// stdout and stderr in cli.out and cli.err there.
class CliChild {
public:
    CliChild(const WineSim& sim, const std::string& args)
    {
        m_out = OutputFile(sim.path("cli.out"));
        m_err = OutputFile(sim.path("cli.err"));
        STARTUPINFOA start{};
        start.cb = sizeof start;
        start.dwFlags = STARTF_USESTDHANDLES;
        start.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
        start.hStdOutput = m_out;
        start.hStdError = m_err;
        std::string line = "\"";
        line += CliProgram();
        line += "\" ";
        line += args;
        const std::string dir = sim.dir().string();
        m_started =
            ::CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, dir.c_str(), &start, &m_process);
    }
    ~CliChild()
    {
        if (m_started) {
            if (::WaitForSingleObject(m_process.hProcess, 0) == WAIT_TIMEOUT)
                ::TerminateProcess(m_process.hProcess, 99);
            ::CloseHandle(m_process.hThread);
            ::CloseHandle(m_process.hProcess);
        }
        ::CloseHandle(m_out);
        ::CloseHandle(m_err);
    }
    CliChild(const CliChild&) = delete;
    CliChild& operator=(const CliChild&) = delete;

    bool Started() const { return m_started; }
    // The exit code once it ended within `limit`, else -1.
    int Wait(DWORD limitMs = 120000)
    {
        DWORD code = 0;
        if (::WaitForSingleObject(m_process.hProcess, limitMs) != WAIT_OBJECT_0 ||
            !::GetExitCodeProcess(m_process.hProcess, &code))
            return -1;
        return static_cast<int>(code);
    }

private:
    bool m_started = false;
    PROCESS_INFORMATION m_process{};
    HANDLE m_out = INVALID_HANDLE_VALUE, m_err = INVALID_HANDLE_VALUE;
};

QX_SIM_CASE(WinCli, YesUpgradesEndToEnd)
{
    WineSim sim;
    if (!sim.present())
        GTEST_SKIP() << "needs the simulator (scripts/test-windows.sh)";
    const std::string image = WriteImage(sim);
    std::string out;
    {
        CliChild cli(sim, "--yes --port COM4 --image new.dlf");
        ASSERT_TRUE(cli.Started()) << ::GetLastError();
        EXPECT_EQ(cli.Wait(), 0);
    }
    out = simtest::ReadWholeFile(sim.path("cli.out"));
    EXPECT_NE(out.find("Successfully upgraded the firmware!"), std::string::npos) << out;
    EXPECT_NE(sim.WaitForEvent("country-restored"), "");
    EXPECT_TRUE(sim.image() == image);
}

// Paced, so that the flash still goes on when Ctrl-C comes.
QX_SIM_CASE(WinCli, CtrlCDuringTheFlashIsRefused, "--line-rate", "460800")
{
    WineSim sim;
    if (!sim.present())
        GTEST_SKIP() << "needs the simulator (scripts/test-windows.sh)";
    const std::string image = WriteImage(sim);
    // A console of our own, shared with the child.
    ::FreeConsole();
    ASSERT_TRUE(::AllocConsole()) << ::GetLastError();
    {
        CliChild cli(sim, "--yes --json --image new.dlf");
        ASSERT_TRUE(cli.Started()) << ::GetLastError();
        // Ctrl-C leaves this suite alone; set only now, as a child would
        // inherit it and never see a Ctrl-C at all.
        ::SetConsoleCtrlHandler(nullptr, TRUE);
        ASSERT_NE(sim.WaitForEvent("loader-start", std::chrono::milliseconds(60000)), "");
        for (int n = 0; n < 3; ++n)
            EXPECT_TRUE(::GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0)) << ::GetLastError();
        EXPECT_EQ(cli.Wait(), 0);
    }
    const std::string err = simtest::ReadWholeFile(sim.path("cli.err"));
    EXPECT_NE(err.find("The flash goes on"), std::string::npos) << err;
    EXPECT_NE(sim.WaitForEvent("country-restored"), "");
    EXPECT_TRUE(sim.image() == image);
}

} // namespace
