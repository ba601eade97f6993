// The About box: the program's name and version, opened from the main
// window's system menu.
#pragma once

#include "platform/ui/dialog.h"
#include "res/resource.h"

class CAboutDlg : public ui::Dialog {
public:
    // Builds the box on its template, registering the program's resources
    // first if nobody has yet; DoModal shows it.
    CAboutDlg();

    enum { IDD = IDD_ABOUTBOX };
};
