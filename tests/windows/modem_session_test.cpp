// The program's modem logic on the Windows build, through the real (Wine)
// COM ports, against the simulated modem on COM4: discovery over COM1-COM9
// (and a modem beyond it), the identity check, whole upgrades with their
// failures, and shorter transfers with every write overlapped.
// The session names ui::IDOK, which the IDOK macro of <windows.h> (through
// the overlapped port's header) would mangle: it comes first.
#include "tests/support/dialog_session.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/serial/serial_device.h"
#include "platform/serial/serial_win_overlapped.h"
#include "tests/windows/sim_cases.h"
#include "tests/windows/wine_sim.h"
#include "upgrade/Transfer.h"

namespace {

using Texts = std::vector<std::string>;

const char kPrompt[] =
    "Preparing to detect Modem...\n\nPlease close any other Application Program\n\nDo you want to continue?";
const char kNoDataFile[] = "Missing data file 'quilvex.dat'!\n\nBypass ATI3/I119 checking.";
const char kNoModem[] = "No Response from Modem!\n\n1. Cannot find a COM: with modem attached, or\n"
                        "2. Did you turn on the modem?\n3. Did the modem connection cable installed properly?";
const char kSuccess[] = "Successfully upgraded the firmware!";

// The session with the simulator the script started on COM4.
class Session : public DialogSession {
public:
    Session()
    {
        if (sim.present())
            WorkIn(sim.dir());
    }

    // Puts the sample identity data file where the program looks for it.
    void UseSampleDataFile()
    {
        const char* sample = std::getenv("QX_SAMPLE_DATA_FILE");
        ASSERT_TRUE(sample && *sample) << "QX_SAMPLE_DATA_FILE is not set";
        std::filesystem::copy_file(sample, "quilvex.dat", std::filesystem::copy_options::overwrite_existing);
    }

    // Runs discovery (without a data file); true if the dialog stayed open
    // on the modem. The messages it showed are cleared.
    bool Discover()
    {
        dlg.DetectModem();
        bool ok = messages.texts == Texts{kPrompt, kNoDataFile} && !dlg.IsEnded() && g_ComPort.m_bPresent;
        messages.texts.clear();
        return ok;
    }

    // Writes a 512 KiB image and presses Upgrade with it.
    void Upgrade() { DialogSession::Upgrade(MakeImage(524288, sim.path("new.dlf"))); }

    // Switches the modem to its loader and sends it an image of `packets`
    // 1 KiB packets through the block transfer alone. Returns its result.
    int Transfer(int packets)
    {
        const std::string path = MakeImage(static_cast<size_t>(packets) * 1024, sim.path("new.dlf"));
        g_ComPort.SendCommand("AT~D1", false);
        FILE* file = std::fopen(path.c_str(), "rb");
        int result = SendFirmware(file, true);
        std::fclose(file);
        return result;
    }

    // True if nobody holds the modem's port any more.
    bool PortReleased() { return serial::Open("COM4") != nullptr; }

    WineSim sim;
};

QX_SIM_CASE(WinDiscovery, FindsTheModemOnCom4AndAcceptsItsIdentity)
{
    Session s;
    ASSERT_TRUE(s.sim.present());
    s.UseSampleDataFile();

    s.dlg.DetectModem();

    EXPECT_EQ(s.messages.texts, Texts{kPrompt});
    EXPECT_EQ(s.sim.received(), "ATE0\r\nATI5\r\nATI3\r\nATI119\r\n");
    EXPECT_FALSE(s.dlg.IsEnded());
    EXPECT_EQ(g_ComPort.m_strPortName, "COM4");
    EXPECT_EQ(s.dlg.GetControlText(IDC_STATUS), "(...as reported by modem in COM4:)");
    EXPECT_EQ(s.dlg.GetControlText(IDC_PACKET), "22");
    EXPECT_EQ(s.dlg.GetControlText(IDC_ATI3), "V2.301-V90_2M_DLP");
    EXPECT_EQ(s.dlg.GetControlText(IDC_ATI119), "DRAVIK 56K RevC");
    EXPECT_EQ(s.dlg.GetControlText(IDC_FILENAME), "firmware.dlf");
}

QX_SIM_CASE(WinDiscovery, SilentDeviceIsNoModem, "--silent")
{
    Session s;
    ASSERT_TRUE(s.sim.present());

    s.dlg.DetectModem();

    EXPECT_EQ(s.messages.texts, (Texts{kPrompt, kNoModem}));
    EXPECT_EQ(s.sim.received(), "ATE0\r\n");
    EXPECT_TRUE(s.dlg.IsEnded());
    EXPECT_EQ(s.dlg.Result(), IDCANCEL);
    EXPECT_TRUE(s.PortReleased());
}

// The modem where the search does not reach: the message stays the same,
// and one paragraph after it says where the modem may be.
QX_SIM_CASE(WinDiscovery, ModemOnlyOnCom12IsNamedAfterTheMessage, "@com12")
{
    Session s;
    ASSERT_TRUE(s.sim.present());

    s.dlg.DetectModem();

    ASSERT_EQ(s.messages.texts.size(), 2u);
    const std::string& text = s.messages.texts[1];
    const std::string head = kNoModem + std::string("\n\n");
    ASSERT_TRUE(text.starts_with(head)) << text;
    const std::string paragraph = text.substr(head.size());
    EXPECT_TRUE(paragraph.starts_with("COM12 is numbered above COM9")) << paragraph;
    EXPECT_EQ(paragraph.find("\n\n"), std::string::npos) << "one paragraph: " << paragraph;
    EXPECT_EQ(s.sim.received(), "");
    EXPECT_TRUE(s.dlg.IsEnded());
}

QX_SIM_CASE(WinIdentity, OtherFirmwareIsRefused, "--ati3", "V2.300-V90_2M_DLP")
{
    Session s;
    ASSERT_TRUE(s.sim.present());
    s.UseSampleDataFile();

    s.dlg.DetectModem();

    EXPECT_EQ(s.messages.texts,
        (Texts{kPrompt, "ATI3 response mismatch!\n\nExpected: V2.301-V90_2M_DLP\nReceived: V2.300-V90_2M_DLP",
            "Unknown Modem for Upgrade!"}));
    EXPECT_EQ(s.sim.received(), "ATE0\r\nATI5\r\nATI3\r\n");
    EXPECT_TRUE(s.dlg.IsEnded());
    EXPECT_EQ(s.dlg.Result(), IDCANCEL);
}

QX_SIM_CASE(WinUpgrade, CrcImageArrivesByteIdentical)
{
    Session s;
    ASSERT_TRUE(s.sim.present());
    ASSERT_TRUE(s.Discover());

    s.Upgrade();

    EXPECT_EQ(s.messages.texts, Texts{kSuccess});
    EXPECT_TRUE(s.sim.WaitForEvent("image-written").starts_with("image-written 524288 ")) << s.sim.events();
    EXPECT_TRUE(s.sim.image() == s.image);
    EXPECT_EQ(s.sim.received(), "ATE0\r\nATI5\r\nAT~D1\rAT*NC22&F\r\n");
    EXPECT_EQ(s.dlg.m_strPacket, "P#512");
    EXPECT_EQ(s.dlg.m_ctlProgress.GetPos(), 100);
    EXPECT_TRUE(s.dlg.IsEnded());
    EXPECT_TRUE(s.PortReleased());
}

QX_SIM_CASE(WinUpgrade, ChecksumModeWithRefusedPackets, "--start", "nak", "--nak-packet", "3", "--nak-count", "2")
{
    Session s;
    ASSERT_TRUE(s.sim.present());
    ASSERT_TRUE(s.Discover());

    s.Upgrade();

    EXPECT_EQ(s.messages.texts, Texts{kSuccess});
    EXPECT_NE(s.sim.WaitForEvent("image-written"), "");
    EXPECT_TRUE(s.sim.image() == s.image);
    EXPECT_NE(s.sim.received().find("AT*NC22&F\r\n"), std::string::npos);
}

// The loader's refusals end the transfer: the country code is not touched.
QX_SIM_CASE(WinUpgrade, CancelFromTheLoader, "--can-packet", "5")
{
    Session s;
    ASSERT_TRUE(s.sim.present());
    ASSERT_TRUE(s.Discover());

    s.Upgrade();

    EXPECT_EQ(s.messages.texts, Texts{kMsgCanceled});
    EXPECT_EQ(s.sim.received().find("AT*NC"), std::string::npos);
    EXPECT_TRUE(s.dlg.IsEnded());
    EXPECT_TRUE(s.PortReleased());
}

QX_SIM_CASE(WinUpgrade, NoStartCharacter, "--loader-silent")
{
    Session s;
    ASSERT_TRUE(s.sim.present());
    ASSERT_TRUE(s.Discover());

    s.Upgrade();

    EXPECT_EQ(s.messages.texts, Texts{kMsgStartTimeout});
    EXPECT_EQ(s.sim.received(), "ATE0\r\nATI5\r\nAT~D1\r");
    EXPECT_TRUE(s.dlg.IsEnded());
    EXPECT_TRUE(s.PortReleased());
}

// A line that goes dead in the middle of the transfer is a failure the
// user is told about, never a hang and never a success.
QX_SIM_CASE(WinUpgrade, LineHangsUpMidTransfer, "--hangup-at", "packet:3")
{
    Session s;
    ASSERT_TRUE(s.sim.present());
    ASSERT_TRUE(s.Discover());

    s.Upgrade();

    EXPECT_EQ(s.messages.texts, Texts{kMsgPacketTimeout});
    EXPECT_TRUE(s.dlg.IsEnded());
}

// QUILVEX_TEST_WRITES for the life of a case.
class Writes {
public:
    explicit Writes(const std::string& mode) { Set(mode); }
    ~Writes() { Set(""); }
    Writes(const Writes&) = delete;
    Writes& operator=(const Writes&) = delete;

private:
    static void Set(const std::string& mode) { _putenv(("QUILVEX_TEST_WRITES=" + mode).c_str()); }
};

// A 40-packet transfer with the writes as `mode` says: its result, its
// messages, and whether the image arrived byte for byte. The whole
// upgrades above take the port's own choice of writes.
struct TransferRun {
    int result = -1;
    Texts messages;
    bool delivered = false;
    bool overlapped = false;
};

TransferRun RunTransfer(const std::string& mode)
{
    Writes writes(mode);
    Session s;
    TransferRun run;
    if (!s.sim.present() || !s.Discover())
        return run;
    run.result = s.Transfer(40);
    run.messages = s.messages.texts;
    run.overlapped = serial::winio::LastStreamOverlapped();
    run.delivered = s.sim.WaitForEvent("image-written", std::chrono::milliseconds(run.result ? 5000 : 0)) != "" &&
        s.sim.image() == s.image;
    return run;
}

// A transfer in `mode` that delivers the image, silently.
void ExpectDelivered(const std::string& mode)
{
    TransferRun run = RunTransfer(mode);
    EXPECT_EQ(run.result, 1);
    EXPECT_EQ(run.messages, Texts{});
    EXPECT_TRUE(run.delivered);
    EXPECT_EQ(run.overlapped, mode == "overlapped");
}

QX_SIM_CASE(WinTransferOverlapped, CrcImageArrivesByteIdentical)
{
    ExpectDelivered("overlapped");
}

QX_SIM_CASE(
    WinTransferOverlapped, ChecksumModeWithRefusedPackets, "--start", "nak", "--nak-packet", "3", "--nak-count", "2")
{
    ExpectDelivered("overlapped");
}

QX_SIM_CASE(WinTransferOverlapped, CancelFromTheLoader, "--can-packet", "5")
{
    TransferRun run = RunTransfer("overlapped");
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(run.messages, Texts{kMsgCanceled});
    EXPECT_FALSE(run.delivered);
}

QX_SIM_CASE(WinTransferOverlapped, LineHangsUpMidPacket, "--hangup-at", "packet:3")
{
    TransferRun run = RunTransfer("overlapped");
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(run.messages, Texts{kMsgPacketTimeout});
    EXPECT_FALSE(run.delivered);
}

// Where a port cannot be opened for overlapped I/O it is opened as before,
// and no write overlaps.
QX_SIM_CASE(WinTransferPlainPort, CrcImageArrivesByteIdentical)
{
    ExpectDelivered("plain");
}

} // namespace
