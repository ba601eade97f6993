// Pauses keep answering the desktop: the hook runs between slices of a long
// pause and once a stretch of short ones adds up, and a waiter may end a
// pause early without the rest of it being slept.
#include <gtest/gtest.h>

#include <vector>

#include "platform/pause.h"

namespace {

// Installs a hook for one test and counts its runs.
class HookCounter {
public:
    HookCounter()
    {
        m_previous = platform::SetDesktopHook([this] { ++runs; });
    }
    ~HookCounter() { platform::SetDesktopHook(std::move(m_previous)); }
    int runs = 0;

private:
    platform::DesktopHook m_previous;
};

TEST(Pause, LongPauseAnswersTheDesktopBetweenSlices)
{
    HookCounter hook;
    std::vector<unsigned> slices;
    platform::PauseUnless(400, [&](unsigned ms) {
        slices.push_back(ms);
        return false;
    });
    // Never more than one interval of pausing without the hook.
    EXPECT_EQ(slices, std::vector<unsigned>(8, platform::kDesktopIntervalMs));
    EXPECT_GE(hook.runs, 7);
}

TEST(Pause, ShortPausesAddUpToAnAnswer)
{
    HookCounter hook;
    const unsigned pauses = 10 * platform::kDesktopIntervalMs;
    unsigned sinceRun = 0, longest = 0;
    int seen = 0;
    for (unsigned n = 0; n < pauses; ++n) {
        platform::PauseUnless(1, [](unsigned) { return false; });
        sinceRun = hook.runs == seen ? sinceRun + 1 : 1;
        seen = hook.runs;
        longest = std::max(longest, sinceRun);
    }
    EXPECT_LE(longest, platform::kDesktopIntervalMs + 1);
    EXPECT_GE(hook.runs, 9);
}

TEST(Pause, EarlyAnswerOnceHalfAnIntervalHasGoneBy)
{
    HookCounter hook;
    auto pauseMs = [](unsigned n) {
        for (unsigned i = 0; i < n; ++i)
            platform::PauseUnless(1, [](unsigned) { return false; });
    };
    pauseMs(platform::kDesktopIntervalMs / 2 - 1);
    platform::AnswerDesktopEarly();
    EXPECT_EQ(hook.runs, 0); // too soon: the pauses will answer in time
    pauseMs(1);
    platform::AnswerDesktopEarly();
    EXPECT_EQ(hook.runs, 1);
    // The count starts again from the early answer: the pauses answer
    // only once a whole interval has gone by after it.
    pauseMs(platform::kDesktopIntervalMs);
    EXPECT_EQ(hook.runs, 1);
    pauseMs(1);
    EXPECT_EQ(hook.runs, 2);
}

TEST(Pause, WaiterEndsThePauseEarly)
{
    HookCounter hook;
    int calls = 0;
    EXPECT_TRUE(platform::PauseUnless(400, [&](unsigned) { return ++calls == 3; }));
    EXPECT_EQ(calls, 3); // the rest of the pause is not waited
    EXPECT_FALSE(platform::PauseUnless(0, [&](unsigned) { return ++calls > 0; }));
    EXPECT_EQ(calls, 3); // nothing to wait for
}

TEST(Pause, HookThatPausesIsNotEnteredAgain)
{
    int depth = 0, deepest = 0;
    platform::DesktopHook previous = platform::SetDesktopHook([&] {
        deepest = std::max(deepest, ++depth);
        platform::Pause(2 * platform::kDesktopIntervalMs);
        --depth;
    });
    platform::Pause(3 * platform::kDesktopIntervalMs);
    platform::SetDesktopHook(std::move(previous));
    EXPECT_EQ(deepest, 1);
}

TEST(Pause, WithoutHookAPauseIsOneSleep)
{
    platform::DesktopHook previous = platform::SetDesktopHook({});
    std::vector<unsigned> slices;
    platform::PauseUnless(400, [&](unsigned ms) {
        slices.push_back(ms);
        return false;
    });
    platform::SetDesktopHook(std::move(previous));
    EXPECT_EQ(slices, std::vector<unsigned>{400});
}

} // namespace
