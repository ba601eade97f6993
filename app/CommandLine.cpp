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

const char* WindowHelpText()
{
    return "Usage: quilvex [--trace FILE]\n"
           "       quilvex --list-ports | --help | --version\n"
           "\n"
           "Upgrades the flash memory of an external telephone modem, in a window.\n"
           "\n"
           "  --trace FILE   record the whole run into FILE\n"
           "  --list-ports   print what COM1 to COM9 stand for, and exit\n"
           "  --help         print this text, and exit\n"
           "  --version      print the version, and exit\n"
           "\n"
           "Without a desktop (a server, an ssh session, a script) use quilvex-cli: the\n"
           "same upgrade on a terminal, with exit codes and JSON output.\n";
}

const char* WindowVersionText()
{
    return "quilvex (Quilvex) 1.0a\n";
}
