// The identity check's handling of the data file before any question is
// asked: a missing file, and each missing entry. Nothing may reach the modem.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "testing/message_recorder.h"

#include "app/QuilvexDlg.h"
#include "link/ComPort.h"
#include "tests/identify/temp_cwd.h"
#include "tests/support/fake_serial.h"

namespace {

// A dialog with the port open on a line that records what it is sent.
class IdentityEntries : public testing::Test {
protected:
    void SetUp() override
    {
        m_line.Install();
        ASSERT_EQ(g_ComPort.Open("COM1"), 1);
    }
    void TearDown() override { g_ComPort.Close(); }

    TempCwd m_cwd;
    FakeLine m_line;
    MessageRecorder m_messages;
    CQuilvexDlg m_dlg;
};

TEST_F(IdentityEntries, NoDataFileBypassesTheCheck)
{
    m_dlg.m_strFileName = "keep.dlf";
    EXPECT_EQ(m_dlg.CheckModemIdentity(), 1);
    EXPECT_EQ(
        m_messages.texts, std::vector<std::string>{"Missing data file 'quilvex.dat'!\n\nBypass ATI3/I119 checking."});
    EXPECT_EQ(m_dlg.m_strAti3, "*** Not checked ***");
    EXPECT_EQ(m_dlg.m_strAti119, "*** Not checked ***");
    EXPECT_EQ(m_dlg.m_strFileName, "keep.dlf");
    EXPECT_TRUE(m_line.written.empty());
}

TEST_F(IdentityEntries, DirectoryInPlaceOfDataFileCountsAsMissing)
{
    std::filesystem::create_directory("quilvex.dat");
    EXPECT_EQ(m_dlg.CheckModemIdentity(), 1);
    EXPECT_EQ(m_dlg.m_strAti3, "*** Not checked ***");
    EXPECT_TRUE(m_line.written.empty());
}

struct MissingCase {
    const char* file;
    const char* message;
};

TEST_F(IdentityEntries, EachMissingEntryRejectsWithItsMessage)
{
    const MissingCase cases[] = {
        {"", "Missing ATI3 check length in 'quilvex.dat'!"},
        {"; only a comment = 5\n", "Missing ATI3 check length in 'quilvex.dat'!"},
        {"L3 =\nE3 = V2\nL119 = 5\nE119 = D\n", "Missing ATI3 check length in 'quilvex.dat'!"},
        {"L3 = 5\n", "Missing ATI3 expected response in 'quilvex.dat'!"},
        {"L3 = 5\nE3 = \"\"\nL119 = 5\nE119 = D\n", "Missing ATI3 expected response in 'quilvex.dat'!"},
        {"L3 = 5\nE3 = V2\n", "Missing ATI119 check length in 'quilvex.dat'!"},
        {"L3 = 5\nE3 = V2\nL119 = \nE119 = D\n", "Missing ATI119 check length in 'quilvex.dat'!"},
        {"L3 = 5\nE3 = V2\nL119 = 5\n", "Missing ATI119 expected response in 'quilvex.dat'!"},
        {"L3 = 5\nE3 = V2\nL119 = 5\nE119 = \x1A D\n", "Missing ATI119 expected response in 'quilvex.dat'!"},
    };
    for (const MissingCase& c : cases) {
        SCOPED_TRACE(c.file);
        m_cwd.Write("quilvex.dat", c.file);
        m_messages.texts.clear();
        m_dlg.m_strAti3 = m_dlg.m_strAti119 = m_dlg.m_strFileName = "before";
        EXPECT_EQ(m_dlg.CheckModemIdentity(), 0);
        EXPECT_EQ(m_messages.texts, std::vector<std::string>{c.message});
        EXPECT_EQ(m_dlg.m_strAti3, "before");
        EXPECT_EQ(m_dlg.m_strAti119, "before");
        EXPECT_EQ(m_dlg.m_strFileName, "before");
    }
    EXPECT_TRUE(m_line.written.empty());
}

} // namespace
