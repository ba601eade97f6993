// The program: the application object's dialogs on the desktop, or with
// --list-ports the COM port map on the terminal. Without a display it
// says so in one line and points to quilvex-cli instead of aborting.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include <QString>
#include <QtGlobal>
#include <unistd.h>

#include "app/CommandLine.h"
#include "app/ListPorts.h"
#include "app/QuilvexApp.h"
#include "platform/ui/qt/qt_app.h"

namespace {

const char kNoDisplay[] =
    "quilvex: there is no display to show the window on; quilvex-cli does the same job without one "
    "(quilvex-cli --help).\n";

bool Asked(int argc, char** argv, std::string_view option)
{
    for (int i = 1; i < argc; ++i)
        if (option == argv[i])
            return true;
    return false;
}

// Whether the toolkit has anything to draw on: a platform chosen by name,
// or an X or Wayland display named in the environment.
bool DisplayNamed()
{
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = std::getenv(name);
        if (value && *value)
            return true;
    }
    return false;
}

QtMessageHandler g_toolkitMessages = nullptr;

// A display named but unreachable: the toolkit's fatal error about its
// platform ends the program with the same line, not with an abort.
void OnToolkitMessage(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (type == QtFatalMsg &&
        (text.contains(QStringLiteral("platform plugin")) || text.contains(QStringLiteral("display")))) {
        [[maybe_unused]] ssize_t n = ::write(STDERR_FILENO, kNoDisplay, sizeof kNoDisplay - 1);
        ::_exit(2);
    }
    if (type != QtDebugMsg &&
        (text.contains(QStringLiteral("could not connect to display")) ||
            text.contains(QStringLiteral("Qt platform plugin"))))
        return; // the fatal error that follows says it, in our words
    if (g_toolkitMessages)
        g_toolkitMessages(type, context, text);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--list-ports") == 0)
        return ListPorts(stdout, stderr);
    if (Asked(argc, argv, "--help")) {
        std::fputs(WindowHelpText(), stdout);
        return 0;
    }
    if (Asked(argc, argv, "--version")) {
        std::fputs(WindowVersionText(), stdout);
        return 0;
    }
    if (!DisplayNamed()) {
        std::fputs(kNoDisplay, stderr);
        return 2;
    }
    g_toolkitMessages = qInstallMessageHandler(OnToolkitMessage);
    CommandLine line = ParseCommandLine(argc, argv);
    theApp.m_strTraceFile = line.traceFile;
    theApp.m_strCommandLineError = line.error;
    return ui::RunQtApplication(argc, argv, theApp);
}
