// The main dialog's window side: data binding, system menu, icons, browse
// and exit. Discovery lives in identify/, the Upgrade command in upgrade/.
#include "app/QuilvexDlg.h"

#include "app/AboutDlg.h"
#include "link/ComPort.h"

CQuilvexDlg* g_pMainDlg = nullptr;

CQuilvexDlg::CQuilvexDlg() : ui::Dialog((RegisterResources(), IDD)), m_nCountry(0)
{
    m_hIcon = ui::LoadIcon(IDR_MAINFRAME);
}

void CQuilvexDlg::DoDataExchange(ui::DataExchange& dx)
{
    ui::Dialog::DoDataExchange(dx);
    dx.Control(IDC_PROGRESS, m_ctlProgress);
    dx.Text(IDC_ATI119, m_strAti119);
    dx.Text(IDC_FILENAME, m_strFileName);
    dx.Text(IDC_ATI3, m_strAti3);
    dx.Text(IDC_PERCENT, m_strPercent);
    dx.Text(IDC_PACKET, m_strPacket);
    dx.Text(IDC_STATUS, m_strStatus);
}

bool CQuilvexDlg::OnInitDialog()
{
    ui::Dialog::OnInitDialog();

    std::string about = ui::LoadString(IDS_ABOUTBOX);
    if (ui::Menu* sysMenu = GetSystemMenu(); sysMenu && !about.empty()) {
        sysMenu->AppendSeparator();
        sysMenu->AppendItem(IDM_ABOUTBOX, about);
    }
    SetIcon(m_hIcon, true);
    SetIcon(m_hIcon, false);

    DetectModem();
    return true;
}

void CQuilvexDlg::OnSysCommand(unsigned commandId)
{
    if ((commandId & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg dlgAbout;
        dlgAbout.DoModal();
    } else {
        ui::Dialog::OnSysCommand(commandId);
    }
}

ui::Icon CQuilvexDlg::OnQueryDragIcon()
{
    return m_hIcon;
}

void CQuilvexDlg::OnCommand(int controlId)
{
    if (controlId == IDC_BROWSE)
        OnBrowse();
    else
        ui::Dialog::OnCommand(controlId);
}

void CQuilvexDlg::OnBrowse()
{
    ui::FileOpenOptions options;
    options.defaultExtension = "*.dlf";
    options.filter = "Binary Files (*.dlf)|*.dlf|All Files (*.*)|*.*||";
    options.fileMustExist = true;
    options.pathMustExist = true;
    std::string path;
    if (ui::ChooseOpenFile(this, options, path)) {
        m_strFileName = path;
        UpdateData(false);
    }
}

void CQuilvexDlg::OnCancel()
{
    g_ComPort.CloseIfPresent();
    UpdateData(false);
    ui::Dialog::OnCancel();
}
