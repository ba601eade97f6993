// The program: the application object's dialogs on the desktop, or with
// --list-ports the COM port map on the terminal.
#include <cstring>

#include "app/CommandLine.h"
#include "app/ListPorts.h"
#include "app/QuilvexApp.h"
#include "platform/ui/qt/qt_app.h"

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--list-ports") == 0)
        return ListPorts(stdout, stderr);
    CommandLine line = ParseCommandLine(argc, argv);
    theApp.m_strTraceFile = line.traceFile;
    theApp.m_strCommandLineError = line.error;
    return ui::RunQtApplication(argc, argv, theApp);
}
