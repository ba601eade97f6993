// quilvex --list-ports on this machine: the COM map on stdout, no window.
#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace {

struct ProgramRun {
    int status = -1;
    std::vector<std::string> lines;
};

// Runs the program with `env` before it and no display to draw on.
ProgramRun ListPorts(const std::string& env)
{
    std::string command =
        "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " + env + " '" QX_PROGRAM "' --list-ports 2>/dev/null";
    ProgramRun run;
    FILE* p = popen(command.c_str(), "r");
    if (!p)
        return run;
    std::string out;
    char buf[512];
    while (size_t n = std::fread(buf, 1, sizeof buf, p))
        out.append(buf, n);
    run.status = pclose(p);
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);)
        run.lines.push_back(line);
    return run;
}

TEST(ListPorts, PrintsOnlyComLinesAndShowsAnOverrideAsGiven)
{
    const std::string byId = "/dev/serial/by-id/usb-Test_Modem_0001-if00";
    ProgramRun run = ListPorts("QUILVEX_COM2=" + byId);
    ASSERT_TRUE(WIFEXITED(run.status));
    EXPECT_EQ(WEXITSTATUS(run.status), 0);
    const std::regex comLine("COM[1-9]  \\S+  .*\\(.+\\)");
    for (const std::string& line : run.lines)
        EXPECT_TRUE(std::regex_match(line, comLine)) << line;
    ASSERT_FALSE(run.lines.empty());
    bool found = false;
    for (const std::string& line : run.lines)
        if (line.rfind("COM2  " + byId + "  ", 0) == 0)
            found = true;
    EXPECT_TRUE(found) << "COM2 names the path as given";
}

TEST(ListPorts, EveryNameSetShowsEveryNameInOrder)
{
    std::string env;
    for (int n = 1; n <= 9; ++n)
        env += " QUILVEX_COM" + std::to_string(n) + "=/nonexistent/port" + std::to_string(n);
    ProgramRun run = ListPorts(env);
    ASSERT_TRUE(WIFEXITED(run.status));
    EXPECT_EQ(WEXITSTATUS(run.status), 0);
    ASSERT_EQ(run.lines.size(), 9u);
    for (int n = 1; n <= 9; ++n) {
        std::string num = std::to_string(n);
        std::string start = "COM" + num + "  /nonexistent/port" + num + "  set by the user  (";
        EXPECT_EQ(run.lines[n - 1].rfind(start, 0), 0u) << run.lines[n - 1];
    }
}

} // namespace
