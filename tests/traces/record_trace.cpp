// Records a trace for tests/traces/: one whole run of the program's logic
// against the simulator started with the given flags.
//   record_trace OUT.trace [SIMULATOR FLAGS...]
#include <cstdio>

#include "tests/traces/trace_session.h"

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: record_trace OUT.trace [SIMULATOR FLAGS...]\n");
        return 2;
    }
    const std::string out = std::filesystem::absolute(argv[1]).string();
    tracetest::RunResult r = tracetest::Record(std::vector<std::string>(argv + 2, argv + argc), out);
    if (!r.traceProblem.empty()) {
        std::fprintf(stderr, "record_trace: %s\n", r.traceProblem.c_str());
        return 1;
    }
    std::printf("%s: %s\n", out.c_str(), r.messages.empty() ? "(no message)" : r.messages.back().c_str());
    return 0;
}
