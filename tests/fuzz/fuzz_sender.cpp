// Fuzz target for the block transfer sender: the download loader's every
// answer, and when it comes, is taken from the input (see sender_session.h);
// whatever it answers, the sender must keep the transfer's rules (see
// sender_checks.h), stay in bounds and come to an end.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "tests/fuzz/sender_checks.h"
#include "tests/fuzz/sender_session.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // Every silent reply would cost real milliseconds with the real pause.
    return InstantPauseLinked() ? 0 : 1;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const fuzz::Session session = fuzz::RunSender(data, size);
    const std::vector<std::string> problems = fuzz::CheckSession(session);
    if (!problems.empty()) {
        for (const std::string& problem : problems)
            std::fprintf(stderr, "fuzz_sender: %s\n", problem.c_str());
        std::fprintf(stderr, "%s", fuzz::Describe(session).c_str());
        std::abort();
    }
    return 0;
}
