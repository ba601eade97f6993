// The main dialog: the window the user upgrades the modem from. Its
// handlers are spread over app/ (window, About, browse, exit), identify/
// (discovery and identity check) and upgrade/ (the Upgrade command).
#pragma once

#include <cstdint>
#include <string>

#include "platform/ui/dialog.h"
#include "res/resource.h"

class CQuilvexDlg : public ui::Dialog {
public:
    explicit CQuilvexDlg();

    enum { IDD = IDD_QUILVEX_DIALOG };

    // Members bound to the window's controls: UpdateData(false) pushes them
    // to the window, UpdateData(true) pulls the controls' texts back.
    ui::ProgressCtrl m_ctlProgress;
    std::string m_strAti119;
    std::string m_strFileName;
    std::string m_strAti3;
    std::string m_strPercent;
    std::string m_strPacket;
    std::string m_strStatus;
    int32_t m_nCountry; // the modem's country code; 0 until discovery reads it

    // Finds the modem, reads its country code and runs the identity stage.
    // Ends the dialog (with IDCANCEL) on any failure; otherwise pushes the
    // members and leaves the port open. Runs inside OnInitDialog.
    void DetectModem();
    // Checks the modem's ATI3/ATI119 replies against the identity data file.
    // Returns 1 to accept, 0 to reject (its message already shown). Fills
    // m_strAti3, m_strAti119 and maybe m_strFileName; pushes nothing.
    int CheckModemIdentity();
    // The identity data file's name, in the current directory.
    static constexpr const char* kDataFileName = "quilvex.dat";

    bool OnInitDialog() override;
    void OnOK() override; // Upgrade
    void OnCancel() override; // Exit, Escape and the close box
    void OnCommand(int controlId) override;
    void OnSysCommand(unsigned commandId) override;
    ui::Icon OnQueryDragIcon() override;
    void OnBrowse();

protected:
    void DoDataExchange(ui::DataExchange& dx) override;

    ui::Icon m_hIcon;
};

// The running main dialog; the block transfer reports progress through it.
extern CQuilvexDlg* g_pMainDlg;
