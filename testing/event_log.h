// Waiting on what a child process writes to a file (the simulator's event
// lines, say), with a deadline. Portable: the Windows suites use it too.
#pragma once

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>

namespace simtest {

// The whole of `file`, or "" while it does not exist.
inline std::string ReadWholeFile(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Polls `done` every 10 ms until it is true or `timeout` has passed; returns
// its last answer. The limit is for what never comes, not a pace.
template <typename Done> bool WaitUntil(Done done, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (done())
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

// Waits until a line of `file` starts with `prefix`. Returns that line, or ""
// after `timeout`.
inline std::string WaitForLine(
    const std::filesystem::path& file, std::string_view prefix, std::chrono::milliseconds timeout)
{
    std::string found;
    WaitUntil(
        [&] {
            std::istringstream lines(ReadWholeFile(file));
            for (std::string line; std::getline(lines, line);)
                if (line.starts_with(prefix)) {
                    found = line;
                    return true;
                }
            return false;
        },
        timeout);
    return found;
}

} // namespace simtest
