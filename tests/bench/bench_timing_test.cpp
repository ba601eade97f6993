// The benchmark's reading of the simulator's timing events and its sums:
// a figure printed from a misread event would mislead whoever tunes the
// transfer by it.
#include <gtest/gtest.h>

#include "bench/bench_timing.h"
#include "bench/thread_cpu.h"
#include "bench/write_floor.h"

namespace {

using bench::Span;

TEST(BenchTiming, ReadsTransferAndReactionsFromEvents)
{
    const bench::Timing t = bench::Analyse({
        "sim-pty /dev/pts/9",
        "header 1000000",
        "reply 06 1090000",
        "header 1090300", // 0.3 ms after the ACK
        "reply 15 1180000", // NAK: the resend's header is no reaction to an ACK
        "header 1180100",
        "reply 06 1270000",
        "header 1270200",
        "loader-stats packets=3 held-ms=1500",
        "eot-acked 1400000",
    });
    EXPECT_EQ(t.fault, "");
    EXPECT_DOUBLE_EQ(t.transferSeconds, 0.4);
    EXPECT_DOUBLE_EQ(t.heldSeconds, 1.5);
    EXPECT_EQ(t.reactions, (std::vector<Span>{{1090000, 1090300}, {1270000, 1270200}}));
    EXPECT_EQ(t.ReactionsMs(), (std::vector<double>{0.3, 0.2}));
}

TEST(BenchTiming, IncompleteEventsAreAFault)
{
    for (const std::vector<std::string>& lines : std::vector<std::vector<std::string>>{
             {}, {"header 10", "reply 06 20"}, {"eot-acked 30"}, {"header x", "eot-acked 30"}})
        EXPECT_NE(bench::Analyse(lines).fault, "") << lines.size() << " lines";
}

TEST(BenchTiming, SpreadOfTimes)
{
    const bench::Spread none = bench::SpreadOf({});
    EXPECT_EQ(none.mean + none.p99 + none.max, 0);
    std::vector<double> v(100, 1.0);
    v[0] = 101.0; // one slow reaction in a hundred: the 99th percentile is still 1
    const bench::Spread s = bench::SpreadOf(v);
    EXPECT_DOUBLE_EQ(s.mean, 2.0);
    EXPECT_DOUBLE_EQ(s.p99, 1.0);
    EXPECT_DOUBLE_EQ(s.max, 101.0);
}

// A figure on its limit meets it; one beyond it by less than the printed
// decimals show is still a miss, and the verdict shows the difference.
TEST(BenchTiming, TargetsAreHeldToTheExactFigure)
{
    bench::Targets none;
    EXPECT_EQ(none.Verdict(), "none checked (no run with a target was made)");

    bench::Targets t;
    t.Check("ratio", 1.0, 1.0, 3);
    t.Check("efficiency", 0.99, 0.99, 3, true);
    EXPECT_EQ(t.Verdict(), "all 2 targets met");
    t.Check("window ours/sx", 1.0004, 1.0, 3);
    t.Check("cli efficiency", 0.9894, 0.99, 4, true);
    EXPECT_EQ(t.Verdict(), "missed 2 of 4: window ours/sx 1.0004 > 1.0000; cli efficiency 0.9894 < 0.9900");
}

TEST(BenchTiming, AnswersMeetingTheLinesWaits)
{
    const std::vector<Span> waits{{100, 200}, {1000, 1100}, {2000, 2100}};
    struct Case {
        std::vector<Span> answers;
        size_t hit;
        double overlapMs;
    };
    const Case cases[] = {
        {{}, 0, 0}, {{{0, 100}, {200, 1000}}, 0, 0}, // touching a wait is not overlapping it
        {{{150, 250}}, 1, 0.05}, {{{50, 2050}}, 3, 0.25}, // one long answer over three waits
        {{{1010, 1020}, {1030, 1050}, {5000, 6000}}, 1, 0.03}, // two in one wait
    };
    for (const Case& c : cases) {
        const bench::AnswerFigures f = bench::MeetAnswers(c.answers, waits);
        EXPECT_EQ(f.count, c.answers.size());
        EXPECT_EQ(f.waitsHit, c.hit) << c.answers.size() << " answers";
        EXPECT_NEAR(f.overlapMs, c.overlapMs, 1e-9) << c.answers.size() << " answers";
    }
    const bench::AnswerFigures f = bench::MeetAnswers({{0, 1500}, {2000, 2500}}, {});
    EXPECT_DOUBLE_EQ(f.totalMs, 2.0);
    EXPECT_DOUBLE_EQ(f.longestMs, 1.5);
}

TEST(BenchTiming, FiguresSurviveTheTripBetweenProcesses)
{
    bench::Timing t;
    t.transferSeconds = 46.123456789;
    t.reactions = {{1, 2}, {3000000000000, 3000000000200}};
    bench::WindowFigures w;
    w.commandSeconds = 47.5;
    w.cpuSeconds = 2.25;
    w.otherThreadsCpuSeconds = 0.125;
    w.longestGapMs = 73;
    w.answers = {{5, 6}};
    w.otherThreads = {{"QDBusConnection", 1.25}, {"Thread (pooled)", 0.5}};
    w.note = "events 10 walks 2 objects 30 failed-calls 0";

    bench::Timing t2;
    bench::WindowFigures w2;
    ASSERT_TRUE(bench::FromText(bench::ToText(t, w), t2, w2));
    EXPECT_DOUBLE_EQ(t2.transferSeconds, t.transferSeconds);
    EXPECT_EQ(t2.reactions, t.reactions);
    EXPECT_DOUBLE_EQ(w2.commandSeconds, 47.5);
    EXPECT_DOUBLE_EQ(w2.cpuSeconds, 2.25);
    EXPECT_DOUBLE_EQ(w2.otherThreadsCpuSeconds, 0.125);
    EXPECT_DOUBLE_EQ(w2.longestGapMs, 73);
    EXPECT_EQ(w2.answers, w.answers);
    EXPECT_EQ(w2.otherThreads, w.otherThreads);
    EXPECT_EQ(w2.note, w.note);

    // A child that died half way, or wrote something else, leaves no figures.
    const std::string whole = bench::ToText(t, w);
    for (const std::string& text :
        std::vector<std::string>{"", whole.substr(0, whole.find("answer")), "transfer x\n", "hello\n"}) {
        bench::Timing t3;
        bench::WindowFigures w3;
        EXPECT_FALSE(bench::FromText(text, t3, w3)) << text;
    }
}

// A thread's name sits in parentheses and may hold spaces and parentheses
// itself; the times are counted from the last closing one.
TEST(BenchTiming, ThreadTimesFromProcStat)
{
    const std::string tail = " S 1 1 0 0 -1 4194304 140 0 0 0 250 50 0 0 20 0 1 0 4126511";
    struct Case {
        std::string line;
        bool ok;
        std::string name;
    };
    const std::vector<Case> cases = {
        {"6271 (QDBusConnection)" + tail, true, "QDBusConnection"},
        {"6272 (Thread (pooled))" + tail, true, "Thread (pooled)"},
        {"6273 (a) b (c)" + tail, true, "a) b (c"},
        {"6274 (dconf worker)" + tail, true, "dconf worker"},
        {"6275 (cut) S 1 1 0 0 -1 4194304 140 0 0 0 250", false, ""},
        {"(noid)" + tail, false, ""},
        {"", false, ""},
    };
    for (const Case& c : cases) {
        bench::ThreadCpu t;
        t.name = "untouched";
        EXPECT_EQ(bench::ParseTaskStat(c.line, 100, t), c.ok) << c.line;
        EXPECT_EQ(t.name, c.ok ? c.name : "untouched") << c.line;
        if (c.ok) {
            EXPECT_DOUBLE_EQ(t.seconds, 3.0) << c.line; // 250 + 50 ticks at 100 a second
        }
    }
    EXPECT_FALSE(bench::ThreadCpuTimes().empty()); // this process has its main thread at least
}

TEST(BenchTiming, OtherThreadsSharesByName)
{
    const std::vector<bench::ThreadCpu> before = {{1, "main", 5}, {2, "worker", 1}, {3, "worker", 1}, {4, "gone", 2}};
    const std::vector<bench::ThreadCpu> after = {
        {1, "main", 9}, {2, "worker", 1.5}, {3, "worker", 1.25}, {5, "QDBusConnection", 1}};
    const auto shares = bench::OtherThreadsSpent(before, after, 1);
    const std::vector<std::pair<std::string, double>> expected = {{"QDBusConnection", 1}, {"worker", 0.75}};
    EXPECT_EQ(shares, expected);
    EXPECT_EQ(bench::DescribeShares(shares), "QDBusConnection 1.00 s, worker 0.75 s");
    EXPECT_EQ(bench::DescribeShares({{"idle", 0.001}}), "");
}

// The bare sender's run gets its replies and counts what it spent: a floor
// of zero would make every CPU figure beside it look like our own.
TEST(BenchTiming, BareSenderIsAnsweredAndMeasured)
{
    const bench::WriteFloor f = bench::MeasureWriteFloor(2);
    EXPECT_EQ(f.fault, "");
    EXPECT_GT(f.cpuSecondsPerPacket, 0);
}

} // namespace
