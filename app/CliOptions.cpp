#include "app/CliOptions.h"

#include <string_view>

namespace {

struct Valued {
    const char* name;
    std::string CliOptions::*member;
};
constexpr Valued kValued[] = {
    {"--image", &CliOptions::image},
    {"--port", &CliOptions::port},
    {"--trace", &CliOptions::trace},
};

struct Flag {
    const char* name;
    bool CliOptions::*member;
};
constexpr Flag kFlags[] = {
    {"--yes", &CliOptions::yes},
    {"--json", &CliOptions::json},
    {"--list-ports", &CliOptions::listPorts},
    {"--help", &CliOptions::help},
    {"--version", &CliOptions::version},
};

} // namespace

CliOptions ParseCliOptions(int argc, char** argv)
{
    CliOptions options;
    for (int i = 1; i < argc && options.error.empty(); ++i) {
        std::string_view arg = argv[i];
        bool known = false;
        for (const Flag& flag : kFlags)
            if (arg == flag.name) {
                options.*flag.member = true;
                known = true;
            }
        for (const Valued& valued : kValued) {
            const std::string_view name = valued.name;
            if (arg != name && !(arg.starts_with(name) && arg.size() > name.size() && arg[name.size()] == '='))
                continue;
            known = true;
            std::string value;
            if (arg.size() > name.size())
                value = arg.substr(name.size() + 1);
            else if (i + 1 < argc)
                value = argv[++i];
            if (value.empty())
                options.error = std::string(name) + " needs a value.";
            else
                options.*valued.member = value;
        }
        if (!known)
            options.error = (arg.starts_with("-") ? "Unknown option: " : "Unexpected argument: ") + std::string(arg);
    }
    return options;
}

std::string CliUsage()
{
    return "Usage: quilvex-cli [--yes] [--image FILE] [--port PORT] [--json] [--trace FILE]\n"
           "       quilvex-cli --list-ports | --help | --version\n"
           "\n"
           "Upgrades the flash memory of an external telephone modem from a terminal, as\n"
           "the quilvex window does: finds the modem on COM1 to COM9, checks its identity\n"
           "against quilvex.dat in the current folder, sends the 512 KiB image to its\n"
           "download loader and restores its country code. Every question is asked on\n"
           "the terminal; once the flash has begun nothing interrupts it.\n"
           "\n"
           "  --yes          answer OK to every question (never bypasses a check)\n"
           "  --image FILE   the image to send (default: the one quilvex.dat names,\n"
           "                 else it is asked for)\n"
           "  --port PORT    search only PORT: COMn (any n on Windows), or on Linux\n"
           "                 also a device path\n"
           "  --json         JSON Lines on standard output instead of text\n"
           "  --trace FILE   record the whole run into FILE\n"
           "  --list-ports   print what COM1 to COM9 stand for, and exit\n"
           "  --help         print this text, and exit\n"
           "  --version      print the version, and exit\n"
           "\n"
           "Without a terminal on standard input, --yes is needed.\n"
           "\n"
           "Exit codes:\n"
           "  0  upgraded, country code restored\n"
           "  1  the run could not start (the trace file could not be created)\n"
           "  2  usage error, or no terminal to answer questions and no --yes\n"
           "  3  no modem found\n"
           "  4  modem refused by the identity check, or quilvex.dat unusable\n"
           "  5  image refused before anything was sent (missing, wrong size)\n"
           "  6  cancelled by the user before the flash began\n"
           "  7  the transfer or the restore failed after the flash began: the\n"
           "     modem may be left in its download loader; run again\n";
}

std::string CliVersion()
{
    return "quilvex-cli (Quilvex) 1.0a\n";
}
