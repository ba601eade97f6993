// Signals: a handler that writes the prepared farewell and exits, and
// while refusing, one that only counts, with the signals blocked in the
// thread that must not be disturbed so that none of its calls is cut
// short (another thread, the output's writer, takes them).
#include "platform/ui/console/console_signals.h"

#include <csignal>
#include <pthread.h>
#include <unistd.h>

#include <atomic>

namespace console {

namespace {

// What ends the program before the flash; during it these and the
// terminal's stop (Ctrl-Z) are refused.
constexpr int kEnding[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
constexpr int kInterrupts[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGTSTP};

// Set once by EndOnInterrupt, read by the handler.
std::string g_farewell;
std::string g_farewellOut;
int g_code = 0;
std::atomic<int> g_refused{0};

void WriteRaw(int fd, const std::string& text)
{
    const char* p = text.data();
    size_t left = text.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n <= 0)
            return; // a stopped or vanished terminal: the exit matters more
        p += n;
        left -= static_cast<size_t>(n);
    }
}

extern "C" void EndNow(int)
{
    // Only what is safe in a handler: write and _exit.
    WriteRaw(STDERR_FILENO, g_farewell);
    WriteRaw(STDOUT_FILENO, g_farewellOut);
    ::_exit(g_code);
}

extern "C" void Count(int)
{
    g_refused.fetch_add(1);
}

void Install(void (*handler)(int), int signal)
{
    struct sigaction action { };
    action.sa_handler = handler;
    action.sa_flags = SA_RESTART;
    sigfillset(&action.sa_mask);
    ::sigaction(signal, &action, nullptr);
}

sigset_t InterruptSet()
{
    sigset_t set;
    sigemptyset(&set);
    for (int s : kInterrupts)
        sigaddset(&set, s);
    return set;
}

} // namespace

void SetInterruptExit(int code, const std::string& farewell, const std::string& farewellOut)
{
    g_farewell = farewell;
    g_farewellOut = farewellOut;
    g_code = code;
}

void EndOnInterrupt()
{
    ::signal(SIGPIPE, SIG_IGN);
    for (int s : kEnding)
        Install(EndNow, s);
}

void RefuseInterrupts()
{
    for (int s : kInterrupts)
        Install(Count, s);
    // Output from a background job must not stop the program either.
    ::signal(SIGTTOU, SIG_IGN);
    const sigset_t set = InterruptSet();
    ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void AllowInterrupts()
{
    // Any that wait for this thread are counted first, not acted on.
    const sigset_t set = InterruptSet();
    ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    ::signal(SIGTTOU, SIG_DFL);
    ::signal(SIGTSTP, SIG_DFL);
    for (int s : kEnding)
        Install(EndNow, s);
}

int TakeRefusedInterrupts()
{
    return g_refused.exchange(0);
}

} // namespace console
