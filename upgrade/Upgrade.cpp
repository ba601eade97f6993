// The Upgrade command: checks the chosen image, switches the modem to its
// download loader, sends the image, restores the country code and ends the
// dialog. A refused file leaves the dialog open for another choice.
#include <cstdio>
#include <string>

#include "app/QuilvexDlg.h"
#include "link/ComPort.h"
#include "platform/pause.h"
#include "platform/session_guard.h"
#include "platform/ui/message_box.h"
#include "upgrade/Image.h"
#include "upgrade/Transfer.h"

const char* const kMsgUpgraded = "Successfully upgraded the firmware!";

void CQuilvexDlg::OnOK()
{
    UpdateData(true);

    if (m_strFileName.empty()) {
        ui::MessageBox("Please provide a filename!");
        return;
    }
    FILE* file = OpenImageFile(m_strFileName);
    if (!file) {
        ui::MessageBox("Cannot open the file!");
        return;
    }
    if (ImageFileSize(file) != kImageSize) {
        std::fclose(file);
        ui::MessageBox("Firmware size must be 512K bytes!");
        return;
    }

    // From here on the modem's flash is at stake: the desktop session may
    // not end, sleep or idle it away until this handler is over.
    platform::SessionGuard session(kStatusUpgrading);
    g_ComPort.SendCommand("AT~D1", true);
    platform::Pause(1);

    // The size just checked is the one sent, even if the file changes meanwhile.
    if (SendFirmware(file, true, kImageSize)) {
        g_ComPort.SendCommand(RestoreCountryCommand(m_nCountry), true);
        platform::Pause(100);
        std::string reply;
        g_ComPort.ReadResponse(reply);
        std::string before;
        if (ReplyBeforeOk(StripLineBreaks(reply), before) >= 0)
            ui::MessageBox(kMsgUpgraded);
        else
            ui::MessageBox("Error in restoring the old country code,\nfirmware upgrade failure!");
    }

    std::fclose(file);
    g_ComPort.CloseIfPresent();
    UpdateData(false);
    ui::Dialog::OnOK();
}
