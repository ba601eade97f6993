// Discovery names the ports it could not open when the user can do
// something about it: no access, or another program holding the port.
// Run as an ordinary user; as root the search itself runs as nobody.
#include "testing/message_recorder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "app/QuilvexDlg.h"
#include "link/ComPort.h"
#include "platform/serial/serial_device.h"
#include "tests/support/pty.h"
#include "testing/com_ports.h"

namespace {

using simtest::ModemPty;

using Texts = std::vector<std::string>;

const char kPrompt[] =
    "Preparing to detect Modem...\n\nPlease close any other Application Program\n\nDo you want to continue?";
const char kNoModem[] =
    "No Response from Modem!\n\n1. Cannot find a COM: with modem attached, or\n2. Did you turn on the modem?\n"
    "3. Did the modem connection cable installed properly?";

// While alive, the process acts as nobody when it was root.
class OrdinaryUser {
public:
    OrdinaryUser() : m_wasRoot(geteuid() == 0)
    {
        if (m_wasRoot) {
            EXPECT_EQ(setegid(65534), 0);
            EXPECT_EQ(seteuid(65534), 0);
        }
    }
    ~OrdinaryUser()
    {
        if (m_wasRoot) {
            EXPECT_EQ(seteuid(0), 0);
            EXPECT_EQ(setegid(0), 0);
        }
    }
    OrdinaryUser(const OrdinaryUser&) = delete;
    OrdinaryUser& operator=(const OrdinaryUser&) = delete;

private:
    bool m_wasRoot;
};

// Another process holding a port open the way this program does.
class PortHolder {
public:
    explicit PortHolder(const std::string& path)
    {
        int ready[2], release[2];
        if (pipe(ready) != 0 || pipe(release) != 0)
            return;
        m_pid = fork();
        if (m_pid == 0) {
            close(ready[0]);
            close(release[1]);
            auto device = serial::OpenNative(path);
            char byte = device ? '1' : '0';
            (void)!write(ready[1], &byte, 1);
            (void)!read(release[0], &byte, 1); // until the test lets go
            _exit(0);
        }
        close(ready[1]);
        close(release[0]);
        m_release = release[1];
        char byte = 0;
        m_holding = read(ready[0], &byte, 1) == 1 && byte == '1';
        close(ready[0]);
    }
    ~PortHolder()
    {
        if (m_release >= 0)
            close(m_release);
        if (m_pid > 0)
            waitpid(m_pid, nullptr, 0);
    }
    PortHolder(const PortHolder&) = delete;
    PortHolder& operator=(const PortHolder&) = delete;
    bool Holding() const { return m_holding; }

private:
    pid_t m_pid = -1;
    int m_release = -1;
    bool m_holding = false;
};

class PortRefusal : public testing::Test {
protected:
    void TearDown() override { g_ComPort.Close(); }
    void SetCom(int n, const std::string& path) { m_ports.Map(n, path); }
    Texts Discover()
    {
        MessageRecorder messages;
        CQuilvexDlg dlg;
        {
            OrdinaryUser user;
            dlg.DetectModem();
        }
        EXPECT_TRUE(dlg.IsEnded());
        return messages.texts;
    }

    PortMap m_ports;
};

TEST_F(PortRefusal, NoModemMessageNamesTheRefusedAndTheBusyPort)
{
    ModemPty locked, held;
    ASSERT_TRUE(locked.Ok() && held.Ok());
    // Another user's port (as an ordinary user, one's own without any
    // access is refused the same way), and one anybody may open but
    // another process holds.
    ASSERT_EQ(chmod(locked.Path().c_str(), geteuid() == 0 ? 0600 : 0000), 0);
    ASSERT_EQ(chmod(held.Path().c_str(), 0666), 0);
    PortHolder holder(held.Path());
    ASSERT_TRUE(holder.Holding());
    SetCom(2, locked.Path());
    SetCom(5, held.Path());

    EXPECT_EQ(Discover(),
        (Texts{kPrompt,
            std::string(kNoModem) + "\n\nCOM2 (" + locked.Path() +
                "): permission denied. Add your user to the dialout group and log "
                "in again.\n\nCOM5 (" +
                held.Path() + ") is in use by another program."}));
    EXPECT_EQ(locked.Drain(0), "");
    EXPECT_EQ(held.Drain(0), "");
}

TEST_F(PortRefusal, AbsentAndSilentPortsLeaveTheMessageAsItIs)
{
    ModemPty silent;
    ASSERT_TRUE(silent.Ok());
    ASSERT_EQ(chmod(silent.Path().c_str(), 0666), 0);
    SetCom(3, silent.Path());
    EXPECT_EQ(Discover(), (Texts{kPrompt, kNoModem}));
    EXPECT_EQ(silent.ReceiveBytes(6), "ATE0\r\n");
}

} // namespace
