// Finding the modem on COM1 to COM9 and reading its country code; the
// second half of the main dialog's start-up.
#include <string>

#include "app/QuilvexDlg.h"
#include "identify/LeadingNumber.h"
#include "identify/ModemQuery.h"
#include "link/ComPort.h"
#include "platform/serial/com_names.h"
#include "platform/ui/message_box.h"

namespace {

constexpr int kLastPort = 9;

const char kStartPrompt[] =
    "Preparing to detect Modem...\n\nPlease close any other Application Program\n\nDo you want to continue?";
const char kNoModem[] =
    "No Response from Modem!\n\n1. Cannot find a COM: with modem attached, or\n2. Did you turn on the modem?\n"
    "3. Did the modem connection cable installed properly?";
const char kBadCountryReply[] = "Modem does not response properly!";
const char kUnknownModem[] = "Unknown Modem for Upgrade!";

// Whether a device that opens as `portName` answers "ATE0" with anything at
// all. On true the port is left open in g_ComPort; on false it is closed.
bool AnswersAt(const std::string& portName)
{
    g_ComPort.Probe(portName, "");
    if (!g_ComPort.m_bPresent)
        return false;
    // A port that opened for the probe but not again is passed over rather
    // than written to, which would only bring up a write error.
    if (g_ComPort.Reopen()) {
        g_ComPort.SendCommand("ATE0", true);
        std::string reply;
        if (g_ComPort.ReadResponse(reply) > 0)
            return true;
    }
    // Silent: close it, so no port is left open behind the search.
    g_ComPort.Close();
    return false;
}

} // namespace

void CQuilvexDlg::DetectModem()
{
    if (ui::MessageBox(kStartPrompt, ui::MessageButtons::OkCancel) != IDOK) {
        EndDialog(IDCANCEL);
        return;
    }

    int found = 0;
    std::string notes; // ports the user could reach with a fix of theirs
    for (int n = 1; n <= kLastPort && !found; ++n) {
        if (AnswersAt("COM" + std::to_string(n)))
            found = n;
        else if (!g_ComPort.m_strRefusal.empty())
            notes += "\n\n" + g_ComPort.m_strRefusal;
    }
    if (!found) {
        if (std::string beyond = serial::PortsOutOfReachNote(); !beyond.empty())
            notes += "\n\n" + beyond;
        ui::MessageBox(kNoModem + notes);
        EndDialog(IDCANCEL);
        return;
    }
    m_strStatus = "(...as reported by modem in COM" + std::to_string(found) + ":)";

    m_nCountry = 0;
    std::string reply;
    int okAt = AskModem("ATI5", reply);
    if (okAt > 0) {
        m_strPercent = " Country #";
        m_strPacket = reply;
        m_nCountry = LeadingNumber(m_strPacket);
    }
    if (m_nCountry == 0 || okAt <= 0) {
        ui::MessageBox(kBadCountryReply);
        EndDialog(IDCANCEL);
        return;
    }

    if (!CheckModemIdentity()) {
        ui::MessageBox(kUnknownModem);
        EndDialog(IDCANCEL);
        return;
    }
    UpdateData(false);
}
