// The program on Windows: the application object's dialogs as Win32 dialogs.
// The C runtime hands over the command line in the system's code page.
#include "app/CommandLine.h"
#include "app/QuilvexApp.h"
#include "platform/ui/win32/win32_app.h"

int main(int argc, char** argv)
{
    CommandLine line = ParseCommandLine(argc, argv);
    theApp.m_strTraceFile = line.traceFile;
    theApp.m_strCommandLineError = line.error;
    return ui::RunWin32Application(theApp);
}
