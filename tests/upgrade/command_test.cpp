// The Upgrade command against a loader scripted in memory: which files are
// refused (the dialog stays open, nothing reaches the modem) and what a
// failed transfer leaves behind.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "testing/message_recorder.h"

#include "app/QuilvexDlg.h"
#include "link/ComPort.h"
#include "tests/support/fake_serial.h"
#include "tests/upgrade/scripted_receiver.h"
#include "upgrade/Image.h"
#include "upgrade/Transfer.h"

namespace fs = std::filesystem;

namespace {

using Strings = std::vector<std::string>;

class UpgradeCommandTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::path(testing::TempDir()) / ("quilvex_cmd_" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        line.Install();
        g_ComPort.Probe("COM1", "");
        ASSERT_EQ(g_ComPort.Reopen(), 1);
        g_pMainDlg = &dlg;
        dlg.m_nCountry = 22;
    }
    void TearDown() override
    {
        g_ComPort.Close();
        g_pMainDlg = nullptr;
        fs::remove_all(dir);
    }

    std::string MakeFile(const std::string& name, size_t size)
    {
        fs::path p = dir / name;
        fs::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << std::string(size, '\x5A');
        return p.string();
    }

    void Upgrade(const std::string& name)
    {
        dlg.SetControlText(IDC_FILENAME, name); // typed into the edit field
        dlg.OnOK();
    }

    fs::path dir;
    FakeLine line;
    CQuilvexDlg dlg;
    MessageRecorder messages;
};

TEST_F(UpgradeCommandTest, RefusedFilesLeaveTheDialogOpenAndTheModemAlone)
{
    const std::string fifo = (dir / "pipe.dlf").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    fs::create_directories(dir / "folder.dlf");
    struct Case {
        std::string name;
        const char* message;
    } cases[] = {
        {"", "Please provide a filename!"},
        {(dir / "missing.dlf").string(), "Cannot open the file!"},
        {(dir / "folder.dlf").string(), "Cannot open the file!"},
        {fifo, "Cannot open the file!"}, // must not wait for a writer
        {"/dev/zero", "Cannot open the file!"},
        {MakeFile("short.dlf", 524287), "Firmware size must be 512K bytes!"},
        {MakeFile("long.dlf", 524289), "Firmware size must be 512K bytes!"},
        {MakeFile("empty.dlf", 0), "Firmware size must be 512K bytes!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        messages.texts.clear();
        Upgrade(c.name);
        EXPECT_EQ(messages.texts, Strings{c.message});
        EXPECT_FALSE(dlg.IsEnded());
        EXPECT_EQ(dlg.m_strFileName, c.name);
    }
    EXPECT_TRUE(line.written.empty());
    EXPECT_EQ(line.closeCount, 1); // only the probe's; the port stays open
}

TEST_F(UpgradeCommandTest, LongFileNameIsUsedWhole)
{
    // Well past 999 characters, in directory names the file system allows.
    std::string name;
    while (name.size() < 1200)
        name += std::string(200, 'd') + "/";
    std::string path = MakeFile(name + "image.dlf", 3);
    ASSERT_GT(path.size(), 1200u);
    Upgrade(path);
    EXPECT_EQ(messages.texts, Strings{"Firmware size must be 512K bytes!"});
    EXPECT_EQ(dlg.m_strFileName, path);
}

TEST_F(UpgradeCommandTest, FailedTransferSendsNoRestoreAndStillEnds)
{
    ScriptedReceiver rx(line, kStartC);
    Strings commands;
    rx.onCommand = [&](const std::string& command) {
        commands.push_back(command);
        if (command == "AT~D1")
            line.Send({kStartC});
    };
    rx.packetReply = [](const ReceivedPacket&, size_t) { return std::optional<uint8_t>(kCAN); };

    Upgrade(MakeFile("image.dlf", 524288));

    EXPECT_EQ(commands, Strings{"AT~D1"});
    EXPECT_EQ(rx.packets.size(), 1u);
    EXPECT_EQ(messages.texts, Strings{kMsgCanceled});
    EXPECT_TRUE(dlg.IsEnded());
    EXPECT_EQ(dlg.Result(), IDOK);
    EXPECT_EQ(line.closeCount, 2); // probe, then the Upgrade command
}

} // namespace
