// The application object: it runs the main dialog and ends the program
// when the dialog closes.
#pragma once

#include "platform/ui/dialog.h"

class CQuilvexApp : public ui::App {
public:
    CQuilvexApp() = default;

    // Runs the main dialog modally, with g_pMainDlg pointing at it while it
    // runs. Returns false: the program ends when the dialog does.
    bool InitInstance() override;
};

// The program's one application object.
extern CQuilvexApp theApp;
