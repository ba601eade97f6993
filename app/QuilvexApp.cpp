#include "app/QuilvexApp.h"

#include "app/QuilvexDlg.h"
#include "app/TraceRun.h"

CQuilvexApp theApp;

// The desktop draws its controls in its own look, and the program has no
// help file, so neither a 3-D look request nor a help command exists here.
bool CQuilvexApp::InitInstance()
{
    if (!m_strCommandLineError.empty()) {
        ui::MessageBox(m_strCommandLineError);
        return false;
    }
    if (!m_strTraceFile.empty()) {
        std::string refused = StartTrace(m_strTraceFile);
        if (!refused.empty()) {
            ui::MessageBox(refused);
            return false;
        }
    }
    {
        CQuilvexDlg dlg;
        m_pMainWnd = &dlg;
        g_pMainDlg = &dlg;
        dlg.DoModal();
        // The dialog dies with this frame; leave nothing pointing at it.
        g_pMainDlg = nullptr;
        m_pMainWnd = nullptr;
    }
    std::string cutShort = FinishTrace();
    if (!cutShort.empty())
        ui::MessageBox(cutShort);
    return false;
}
