// quilvex-cli: the program's upgrade on a terminal, for machines without a
// desktop, ssh sessions and scripts. Links no toolkit.
#include <cstdio>
#include <string>

#include "app/CliOptions.h"
#include "app/CliReport.h"
#include "app/CliRun.h"
#include "app/ListPorts.h"
#include "platform/ui/console/console_io.h"

namespace {

// A refusal before anything is opened: the reason on standard error and,
// with --json, the end event on standard output. Returns `code`.
int Refuse(const CliOptions& options, int code, const std::string& reason, bool usage)
{
    std::fprintf(stderr, "quilvex-cli: %s\n", reason.c_str());
    if (usage)
        std::fprintf(stderr, "\n%s", CliUsage().c_str());
    if (options.json)
        std::printf("{\"event\":\"end\",\"code\":%d,\"message\":%s}\n", code, JsonString(reason).c_str());
    return code;
}

} // namespace

int main(int argc, char** argv)
{
    const CliOptions options = ParseCliOptions(argc, argv);
    if (!options.error.empty())
        return Refuse(options, kExitUsage, options.error, true);
    if (options.help) {
        std::fputs(CliUsage().c_str(), stdout);
        return 0;
    }
    if (options.version) {
        std::fputs(CliVersion().c_str(), stdout);
        return 0;
    }
    if (options.listPorts)
        return ListPorts(stdout, stderr);
    if (!options.yes && !console::InputIsTerminal())
        return Refuse(options, kExitUsage,
            "no terminal on standard input to answer the questions; run with --yes to answer OK "
            "to each. Nothing was sent to any port.",
            false);
    std::fflush(stdout);
    return RunCli(options);
}
