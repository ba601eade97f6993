#include "app/QuilvexApp.h"

#include "app/QuilvexDlg.h"

CQuilvexApp theApp;

// The desktop draws its controls in its own look, and the program has no
// help file, so neither a 3-D look request nor a help command exists here.
bool CQuilvexApp::InitInstance()
{
    CQuilvexDlg dlg;
    m_pMainWnd = &dlg;
    g_pMainDlg = &dlg;
    dlg.DoModal();
    // The dialog dies with this frame; leave nothing pointing at it.
    g_pMainDlg = nullptr;
    m_pMainWnd = nullptr;
    return false;
}
