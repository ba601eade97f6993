#include "app/CommandLine.h"

#include <string_view>

CommandLine ParseCommandLine(int argc, char** argv)
{
    CommandLine line;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        bool joined = arg.starts_with("--trace=");
        if (arg != "--trace" && !joined)
            continue;
        if (!joined && i + 1 == argc) {
            line.error = "--trace needs the name of the file to write the trace to.";
            return line;
        }
        line.traceFile = joined ? std::string(arg.substr(8)) : std::string(argv[++i]);
        if (line.traceFile.empty()) {
            line.error = "--trace needs the name of the file to write the trace to.";
            return line;
        }
    }
    return line;
}
