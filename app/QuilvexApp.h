// The application object: it runs the main dialog and ends the program
// when the dialog closes.
#pragma once

#include <string>

#include "platform/ui/dialog.h"

class CQuilvexApp : public ui::App {
public:
    CQuilvexApp() = default;

    // Runs the main dialog modally, with g_pMainDlg pointing at it while it
    // runs, traced into m_strTraceFile when that is set. A command-line
    // error or a trace file that cannot be created is shown and ends the
    // program before any port is used. Returns false: the program ends
    // when the dialog does.
    bool InitInstance() override;

    std::string m_strTraceFile; // from --trace; empty: no trace
    std::string m_strCommandLineError; // shown instead of running
};

// The program's one application object.
extern CQuilvexApp theApp;
