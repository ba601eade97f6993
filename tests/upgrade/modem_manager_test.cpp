// The system's modem manager, played by a stand-in on a private bus, is
// kept off the modem's device from the port's reopening after discovery
// until the port is closed, whatever the upgrade's outcome.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

// Before res/resource.h, whose IDOK macro would clash with ui::IDOK.
#include "testing/message_recorder.h"

#include "app/QuilvexDlg.h"
#include "link/ComPort.h"
#include "platform/pause.h"
#include "tests/support/fake_serial.h"
#include "tests/support/private_bus.h"
#include "tests/upgrade/scripted_receiver.h"
#include "upgrade/Image.h"

namespace fs = std::filesystem;

namespace {

using Strings = std::vector<std::string>;

const char kUid[] = "/sys/devices/pci0000:00/0000:00:14.0/usb1/1-4";
const char kInhibit[] = "InhibitDevice \"/sys/devices/pci0000:00/0000:00:14.0/usb1/1-4\" True";
const char kRelease[] = "InhibitDevice \"/sys/devices/pci0000:00/0000:00:14.0/usb1/1-4\" False";
const char kManager[] = "org.freedesktop.ModemManager1";

class ModemManagerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::path(testing::TempDir()) / ("quilvex_mm_" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        log = (dir / "calls.log").string();
        // COM1 is the device the stand-in knows as its modem's port.
        setenv("QUILVEX_COM1", "/dev/quilvex-test-ttyACM7", 1);
        line.Install();
    }
    void TearDown() override
    {
        g_ComPort.Close();
        unsetenv("QUILVEX_COM1");
        fs::remove_all(dir);
    }

    // Starts the stand-in managing a modem with port `port`, answering
    // InhibitDevice `delay` seconds late.
    void StartManager(const std::string& port, bool refuse = false, double delay = 0)
    {
        std::string parameters = std::string("{\"device\": \"") + kUid + "\", \"ports\": [\"" + port +
            "\"], \"refuse\": " + (refuse ? "true" : "false") + ", \"delay\": " + std::to_string(delay) + "}";
        ASSERT_TRUE(bus.Host(QX_STAND_IN, kManager, parameters, log));
    }
    Strings Inhibits() { return bustest::Calls(log, "InhibitDevice"); }

    // What discovery does once the modem answered on COM1.
    int FoundOnCom1()
    {
        g_ComPort.Probe("COM1", "");
        return g_ComPort.Reopen();
    }

    fs::path dir;
    std::string log;
    bustest::PrivateBus bus;
    FakeLine line;
    MessageRecorder messages;
};

TEST_F(ModemManagerTest, HeldFromTheReopenUntilAFailedUpgradeClosesThePort)
{
    StartManager("quilvex-test-ttyACM7");
    ASSERT_EQ(FoundOnCom1(), 1);
    EXPECT_EQ(Inhibits(), Strings{kInhibit}) << "before anything is sent";
    EXPECT_TRUE(line.written.empty());

    // The upgrade starts and the loader cancels the first packet.
    ScriptedReceiver loader(line, 'C');
    loader.onCommand = [this](const std::string& command) {
        if (command == "AT~D1")
            line.Send({'C'});
    };
    loader.packetReply = [](const ReceivedPacket&, size_t) { return std::optional<uint8_t>(kCAN); };
    const std::string image = (dir / "image.dlf").string();
    std::ofstream(image, std::ios::binary) << std::string(kImageSize, '\x5A');
    CQuilvexDlg dlg;
    dlg.SetControlText(IDC_FILENAME, image);
    dlg.OnOK();

    ASSERT_EQ(loader.packets.size(), 1u);
    EXPECT_TRUE(dlg.IsEnded());
    EXPECT_EQ(Inhibits(), (Strings{kInhibit, kRelease}));
    EXPECT_EQ(messages.texts.size(), 1u) << "only the transfer's own message";
}

TEST_F(ModemManagerTest, ReleasedWhenTheProgramEnds)
{
    StartManager("quilvex-test-ttyACM7");
    pid_t child = fork();
    if (child == 0) {
        // The port stays open to the end, as after a rejected identity.
        bool found = FoundOnCom1() == 1;
        std::exit(found ? 0 : 1); // runs g_ComPort's destructor
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(Inhibits(), (Strings{kInhibit, kRelease}));
}

TEST_F(ModemManagerTest, RefusalIsShownAndDecliningSendsNothing)
{
    StartManager("quilvex-test-ttyACM7", true);
    messages.answers = {ui::IDCANCEL};
    EXPECT_EQ(FoundOnCom1(), 0);
    ASSERT_EQ(messages.texts.size(), 1u);
    EXPECT_EQ(messages.texts[0],
        "The modem manager service would not leave the modem on COM1 alone:\nNot authorized to control the "
        "device\n\nIt may send commands of its own to the modem while it is being upgraded, which can spoil "
        "the upgrade.\n\nDo you want to continue?");
    EXPECT_EQ(messages.okCancel, std::vector<bool>{true});
    EXPECT_TRUE(line.written.empty());
    EXPECT_EQ(line.closeCount, line.openCount) << "the port is let go";
    EXPECT_EQ(g_ComPort.m_strRefusal, "COM1 was left to the modem manager service, which would not let go of it.")
        << "for the no-modem message";

    // Going on anyway keeps the port; there is nothing to release.
    messages.answers = {ui::IDOK};
    EXPECT_EQ(FoundOnCom1(), 1);
    EXPECT_EQ(g_ComPort.SendCommand("ATE0"), 4);
    g_ComPort.Close();
    EXPECT_EQ(Inhibits(), (Strings{kInhibit, kInhibit}));
}

// An answer that takes its time (a password prompt) is waited for as a
// pause waits: the desktop is answered at least every 250 ms of it.
TEST_F(ModemManagerTest, SlowAnswerLeavesTheDesktopAnswered)
{
    StartManager("quilvex-test-ttyACM7", false, 1.0);
    int answered = 0;
    platform::DesktopHook previous = platform::SetDesktopHook([&] { ++answered; });
    ASSERT_EQ(FoundOnCom1(), 1);
    platform::SetDesktopHook(std::move(previous));
    EXPECT_EQ(Inhibits(), Strings{kInhibit});
    EXPECT_GE(answered, 4) << "a second's wait answered the desktop only " << answered << " times";
}

TEST_F(ModemManagerTest, NoManagerOrAnotherDeviceChangesNothing)
{
    ASSERT_EQ(FoundOnCom1(), 1); // nobody on the bus
    g_ComPort.Close();
    StartManager("ttyUSB3");
    ASSERT_EQ(FoundOnCom1(), 1);
    g_ComPort.Close();
    EXPECT_TRUE(messages.texts.empty());
    EXPECT_TRUE(Inhibits().empty());
}

} // namespace
