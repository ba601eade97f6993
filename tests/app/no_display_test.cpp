// The window program where there is no display: one line pointing to
// quilvex-cli and exit code 2, never an abort; --help and --version answer
// on the terminal without a display.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace {

struct DisplaylessRun {
    int status = -1;
    std::string out; // standard output and standard error together
};

DisplaylessRun RunWindowProgram(const std::string& env, const std::string& args)
{
    const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " + env + " '" QX_PROGRAM "' " +
        args + " 2>&1 </dev/null";
    DisplaylessRun run;
    FILE* p = popen(command.c_str(), "r");
    if (!p)
        return run;
    char buf[512];
    while (size_t n = std::fread(buf, 1, sizeof buf, p))
        run.out.append(buf, n);
    run.status = pclose(p);
    return run;
}

TEST(NoDisplay, SaysSoInOneLineAndExitsWithTwo)
{
    const char* environments[] = {"", "DISPLAY=:97", "WAYLAND_DISPLAY=quilvex-test-none"};
    for (const char* env : environments) {
        DisplaylessRun run = RunWindowProgram(env, "");
        ASSERT_TRUE(WIFEXITED(run.status)) << env << ": " << run.out;
        EXPECT_EQ(WEXITSTATUS(run.status), 2) << env;
        EXPECT_EQ(run.out.find('\n'), run.out.size() - 1) << env << ": " << run.out;
        EXPECT_NE(run.out.find("quilvex-cli"), std::string::npos) << run.out;
    }
}

TEST(NoDisplay, HelpAndVersionAnswerOnTheTerminal)
{
    for (const char* option : {"--help", "--version"}) {
        DisplaylessRun run = RunWindowProgram("", option);
        ASSERT_TRUE(WIFEXITED(run.status)) << option;
        EXPECT_EQ(WEXITSTATUS(run.status), 0) << option;
        EXPECT_NE(run.out.find(option[2] == 'h' ? "Usage: quilvex" : "1.0a"), std::string::npos) << run.out;
    }
    EXPECT_NE(RunWindowProgram("", "--help").out.find("quilvex-cli"), std::string::npos);
}

} // namespace
