// The program on Windows: the application object's dialogs as Win32 dialogs,
// or with --list-ports, --help or --version its answer on the console it
// was started from.
// The C runtime hands over the command line in the system's code page.
#include <cstdio>
#include <cstring>

#include "app/CommandLine.h"
#include "app/ListPorts.h"
#include "app/QuilvexApp.h"
#include "platform/ui/win32/win32_app.h"

// After the program's headers, whose names its macros would mangle.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace {

// A windowed program has no console of its own: its output goes where the
// standard handles lead when they were redirected, else to the console of
// the program that started it, if any.
void UseParentConsole()
{
    HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    if (out != nullptr && out != INVALID_HANDLE_VALUE && ::GetFileType(out) != FILE_TYPE_UNKNOWN)
        return;
    if (!::AttachConsole(ATTACH_PARENT_PROCESS))
        return;
    std::freopen("CONOUT$", "w", stdout);
    std::freopen("CONOUT$", "w", stderr);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--list-ports") == 0) {
        UseParentConsole();
        int rc = ListPorts(stdout, stderr);
        std::fflush(stdout);
        return rc;
    }
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "--version") == 0)) {
        UseParentConsole();
        std::fputs(argv[1][2] == 'h' ? WindowHelpText() : WindowVersionText(), stdout);
        std::fflush(stdout);
        return 0;
    }
    CommandLine line = ParseCommandLine(argc, argv);
    theApp.m_strTraceFile = line.traceFile;
    theApp.m_strCommandLineError = line.error;
    return ui::RunWin32Application(theApp);
}
