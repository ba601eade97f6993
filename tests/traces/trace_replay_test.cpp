// A trace is a test: a run recorded against the simulator in a fault mode,
// replayed by the simulator against the program again, gives the same final
// message and the same bytes on the wire; a program that writes something
// else is stopped at the first differing byte; every trace kept in
// tests/traces/ (or in QX_TRACE_DIR) is replayed the same way.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/traces/trace_session.h"

namespace {

namespace fs = std::filesystem;
using tracetest::Slurp;

// Replays `tracePath` against the program, as the trace's user answered.
struct Replay {
    explicit Replay(const std::string& tracePath, std::vector<std::string> extra = {})
        : recorded(tracetest::ReadRecorded(tracePath)), sim(Args(tracePath, extra))
    {
        if (!sim.started() || !recorded.error.empty())
            return;
        std::string port = sim.wait_for_event("replay-port COM");
        com = port.empty() ? 0 : port[15] - '0';
        if (com < 1 || com > 9)
            return;
        if (recorded.dataFile)
            fs::copy_file(QX_SAMPLE_DATA_FILE, sim.path("quilvex.dat"));
        std::ofstream(sim.path("new.dlf"), std::ios::binary) << recorded.image;
        run = tracetest::RunProgram(sim.link(), com, sim.dir(), sim.path("new.dlf"), recorded.answers);
        // The replay ends by itself, or waits for bytes that never come.
        ended = sim.wait_for_event("replay-complete", std::chrono::milliseconds(5000)) != "" ||
            sim.wait_for_event("replay-mismatch", std::chrono::milliseconds(1)) != "";
    }
    static std::vector<std::string> Args(const std::string& tracePath, std::vector<std::string> extra)
    {
        extra.insert(extra.begin(), {"--replay", tracePath});
        return extra;
    }
    std::string Mismatch() const { return sim.wait_for_event("replay-mismatch", std::chrono::milliseconds(1)); }

    tracetest::Recorded recorded;
    simtest::SimProcess sim;
    int com = 0;
    tracetest::RunResult run;
    bool ended = false;
};

// Expects the replay of `tracePath` to end as the recorded run did.
void ExpectSameRun(const std::string& tracePath)
{
    Replay r(tracePath);
    ASSERT_TRUE(r.sim.started()) << r.sim.error();
    ASSERT_EQ(r.recorded.error, "");
    ASSERT_NE(r.com, 0) << r.sim.events();
    EXPECT_TRUE(r.ended) << r.sim.events();
    EXPECT_EQ(r.Mismatch(), "");
    EXPECT_NE(r.sim.wait_for_event("replay-complete"), "") << r.sim.events();
    ASSERT_FALSE(r.run.messages.empty());
    EXPECT_EQ(r.run.messages.back(), r.recorded.finalMessage);
}

class RecordAndReplay : public ::testing::TestWithParam<std::vector<std::string>> { };

TEST_P(RecordAndReplay, GivesTheSameFinalMessageAndTheSameBytes)
{
    simtest::SimProcess scratch; // a folder for the trace
    const std::string path = scratch.path("run.trace");
    tracetest::RunResult recorded = tracetest::Record(GetParam(), path);
    ASSERT_EQ(recorded.traceProblem, "");
    ASSERT_FALSE(recorded.messages.empty());
    ASSERT_EQ(tracetest::ReadRecorded(path).finalMessage, recorded.messages.back());
    ExpectSameRun(path);
}

INSTANTIATE_TEST_SUITE_P(FaultModes, RecordAndReplay,
    ::testing::Values(std::vector<std::string>{"--nak-packet", "3"}, std::vector<std::string>{"--can-packet", "2"},
        std::vector<std::string>{"--loader-silent"}, std::vector<std::string>{"--no-eot-ack"}),
    [](const auto& info) {
        std::string name = info.param[0].substr(2);
        name.erase(std::remove(name.begin(), name.end(), '-'), name.end());
        return name;
    });

// A whole upgrade, recorded once for the tests below.
class WholeUpgrade : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_folder = new simtest::SimProcess;
        s_trace = s_folder->path("whole.trace");
        s_result = tracetest::Record({}, s_trace);
    }
    static void TearDownTestSuite()
    {
        delete s_folder;
        s_folder = nullptr;
    }
    static inline simtest::SimProcess* s_folder = nullptr;
    static inline std::string s_trace;
    static inline tracetest::RunResult s_result;
};

TEST_F(WholeUpgrade, StaysUnderTwoMegabytesAndReplaysTheImage)
{
    ASSERT_EQ(s_result.traceProblem, "");
    ASSERT_EQ(s_result.messages.back(), "Successfully upgraded the firmware!");
    EXPECT_LT(fs::file_size(s_trace), 2u * 1024 * 1024);

    Replay r(s_trace);
    EXPECT_EQ(r.Mismatch(), "");
    EXPECT_EQ(r.run.messages.back(), "Successfully upgraded the firmware!");
    EXPECT_NE(r.sim.wait_for_event("image-written 524288"), "") << r.sim.events();
    EXPECT_TRUE(Slurp(r.sim.image_path()) == tracetest::MakeImage());
}

TEST_F(WholeUpgrade, AnotherCountryCodeIsNamedAtItsFirstDifferingByte)
{
    ASSERT_EQ(s_result.traceProblem, "");
    // The modem told 22; this trace's program restored 33 instead.
    std::string text = Slurp(s_trace);
    const std::string restore = "41542A4E43323226 460D0A |AT*NC22&F..|";
    size_t at = text.find(restore);
    ASSERT_NE(at, std::string::npos) << "no restore line in the trace";
    text.replace(at, restore.size(), "41542A4E43333326 460D0A |AT*NC33&F..|");
    const std::string edited = s_folder->path("edited.trace");
    std::ofstream(edited, std::ios::binary) << text;
    const int line = static_cast<int>(std::count(text.begin(), text.begin() + static_cast<long>(at), '\n')) + 1;

    Replay r(edited);
    std::string mismatch = r.sim.wait_for_event("replay-mismatch");
    // Everything the program wrote before the restore command's "22".
    std::vector<trace::Event> events;
    std::string error;
    ASSERT_TRUE(trace::ParseTrace(text, events, error));
    size_t offset = 0;
    for (const trace::Event& e : events)
        if (e.kind == trace::EventKind::Wrote && e.lineNumber < line)
            offset += e.bytes.size();
    offset += 5; // "AT*NC"
    EXPECT_EQ(mismatch,
        "replay-mismatch at byte " + std::to_string(offset) + " (trace line " + std::to_string(line) +
            "): expected 33 '3', came 32 '2'");
    EXPECT_EQ(r.sim.wait_for_event("replay-complete", std::chrono::milliseconds(1)), "");
    EXPECT_TRUE(r.sim.wait_exit(std::chrono::milliseconds(30000)));
}

// Every trace in the folder is a test of its own.
std::vector<std::string> KeptTraces()
{
    const char* dir = std::getenv("QX_TRACE_DIR");
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(dir ? dir : QX_TRACE_FOLDER))
        if (entry.path().extension() == ".trace")
            found.push_back(entry.path().string());
    std::sort(found.begin(), found.end());
    return found;
}

class KeptTrace : public ::testing::TestWithParam<std::string> { };

TEST_P(KeptTrace, ReplaysToItsRecordedEnd)
{
    ExpectSameRun(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Folder, KeptTrace, ::testing::ValuesIn(KeptTraces()), [](const auto& info) {
    std::string name = fs::path(info.param).stem().string();
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '_';
    return name;
});

} // namespace
