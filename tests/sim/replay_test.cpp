// What the replay makes of a trace: the port it plays, the steps, where it
// hangs up, and the traces it refuses, each with a reason.
#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>

#include "sim/options.h"
#include "sim/replay.h"

namespace {

using Kind = sim::ReplayStep::Kind;

struct TraceFile {
    explicit TraceFile(const std::string& text)
    {
        char pattern[] = "/tmp/qxreplay.XXXXXX";
        const int fd = mkstemp(pattern);
        path = pattern;
        std::ofstream(path, std::ios::binary) << text;
        if (fd >= 0)
            close(fd);
    }
    ~TraceFile() { unlink(path.c_str()); }
    std::string path;
};

TEST(Replay, PlaysTheBusiestPortInStepsAndHangsUpWhereTheProgramsReadsFailed)
{
    TraceFile t("# a trace\n"
                "0.000001 open COM1 \"/dev/a\" ok\n"
                "0.000002 > 41 |A|\n"
                "0.000003 close ok\n"
                "0.000004 open COM2 \"/dev/b\" error 2 \"No such file\"\n"
                "0.000005 > 58 |X| \n" // no port open: nobody's
                "0.100000 open COM3 \"/dev/c\" ok\n"
                "0.200000 > 4154 |AT|\n"
                "0.200100 > 0D0A |..|\n"
                "0.600000 < 4F4B |OK|\n"
                "0.600000 < 0D0A |..| ; the same read, on a second line\n"
                "0.700000 < 43 |C|\n"
                "0.800000 > 02 |.|\n"
                "0.900000 error status 5 \"Input/output error\"\n"
                "0.950000 < 06 |.|\n");
    sim::ReplayScript script;
    std::string error;
    ASSERT_TRUE(sim::load_replay(t.path, script, &error)) << error;
    EXPECT_EQ(script.port, "COM3");
    EXPECT_EQ(script.expected_bytes, 5u);
    ASSERT_EQ(script.steps.size(), 5u);
    EXPECT_EQ(script.steps[0].kind, Kind::Expect);
    EXPECT_EQ(script.steps[0].bytes, "AT\r\n");
    EXPECT_EQ(script.steps[0].us, 200100);
    EXPECT_EQ(script.steps[0].lines, (std::vector<std::pair<std::size_t, int>>{{0, 8}, {2, 9}}));
    EXPECT_EQ(script.steps[1].kind, Kind::Send);
    EXPECT_EQ(script.steps[1].bytes, "OK\r\n");
    EXPECT_EQ(script.steps[2].bytes, "C");
    EXPECT_EQ(script.steps[2].us, 700000);
    EXPECT_EQ(script.steps[3].bytes, "\x02");
    EXPECT_EQ(script.steps[4].kind, Kind::HangUp);
}

TEST(Replay, RefusesWhatItCannotPlayAndSaysWhy)
{
    TraceFile garbled("0.000001 open COM1 \"/dev/a\" ok\nnot a trace at all\n");
    TraceFile silent("0.000001 open COM1 \"/dev/a\" ok\n0.000002 < 41 |A|\n");
    const std::pair<std::string, std::string> rows[] = {
        {"/nonexistent/run.trace", "/nonexistent/run.trace: No such file or directory"},
        {garbled.path, garbled.path + ": line 2 is not a trace event: not a trace at all"},
        {silent.path, silent.path + ": the program wrote nothing to any port in this trace"},
    };
    for (const auto& [path, why] : rows) {
        sim::ReplayScript script;
        std::string error;
        EXPECT_FALSE(sim::load_replay(path, script, &error));
        EXPECT_EQ(error, why);
    }
}

TEST(Replay, GoesWithThePortAndWhatIsKeptButNotWithFaults)
{
    EXPECT_EQ(sim::parse_args({"--replay", "a.trace", "--link", "/tmp/m", "--log", "l", "--image-out=i"}).error, "");
    EXPECT_EQ(
        sim::parse_args({"--replay", "a.trace", "--nak-packet", "3"}).error, "--nak-packet does not go with --replay");
    EXPECT_EQ(
        sim::parse_args({"--line-rate=115200", "--replay=a.trace"}).error, "--line-rate does not go with --replay");
}

} // namespace
