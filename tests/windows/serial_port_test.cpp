// The Win32 serial back end on a real (Wine) COM port with the simulated
// modem behind it: exclusive opening, the system's error codes, the line
// settings, the queue count and the read time-outs, the link's reply rules
// over it, and what the user is told about the ports.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include <windows.h>

#include "link/ComPort.h"
#include "platform/serial/com_names.h"
#include "platform/serial/port_list.h"
#include "platform/serial/serial_device.h"
#include "tests/windows/sim_cases.h"
#include "tests/windows/wine_sim.h"

namespace {

const std::string kAti3 = "V2.301-V90_2M_DLP";

// Waits until the port holds at least `count` bytes; returns how many it holds.
size_t WaitForInput(serial::Device& d, size_t count)
{
    serial::Status status;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (d.ClearError(status) && status.inputQueued < count && std::chrono::steady_clock::now() < deadline)
        Sleep(1);
    return status.inputQueued;
}

// Wine does not keep a COM port to one opener (a second CreateFile
// succeeds); Windows itself does, so exclusivity is not tested here.
QX_SIM_CASE(WinSerial, FailuresCarryTheSystemsCodes)
{
    ASSERT_TRUE(WineSim().present());
    std::unique_ptr<serial::Device> port = serial::Open("COM4");
    ASSERT_NE(port, nullptr) << serial::ErrorText(serial::LastError());

    EXPECT_EQ(serial::Open("COM5"), nullptr);
    const int missing = serial::LastError();
    // Windows: file or path not found; Wine, for a port its registry names
    // whose device is missing: invalid function.
    EXPECT_TRUE(missing == ERROR_FILE_NOT_FOUND || missing == ERROR_PATH_NOT_FOUND || missing == ERROR_INVALID_FUNCTION)
        << missing;
    EXPECT_NE(serial::ErrorText(missing), "Error " + std::to_string(missing));

    ASSERT_TRUE(port->Close());
    EXPECT_FALSE(port->Close());
    EXPECT_EQ(serial::LastError(), ERROR_INVALID_HANDLE);
    serial::Status status;
    EXPECT_FALSE(port->ClearError(status));
    EXPECT_NE(serial::Open("COM4"), nullptr) << serial::LastError();
}

QX_SIM_CASE(WinSerial, SettingsQueueCountAndTimeouts)
{
    ASSERT_TRUE(WineSim().present());
    std::unique_ptr<serial::Device> port = serial::Open("COM4");
    ASSERT_NE(port, nullptr) << serial::LastError();
    ASSERT_TRUE(port->SetQueueSizes(80, 80));
    ASSERT_TRUE(port->Purge());

    serial::LineState line;
    ASSERT_TRUE(port->GetLineState(line));
    ApplyModemLineSettings(line, 115200);
    ASSERT_TRUE(port->SetLineState(line)) << serial::LastError();
    serial::LineState back;
    ASSERT_TRUE(port->GetLineState(back));
    EXPECT_EQ(back.baudRate, 115200);
    EXPECT_EQ(back.dataBits, 8);
    EXPECT_FALSE(back.parity);
    EXPECT_EQ(back.stopBits, 1);
    EXPECT_TRUE(back.ctsOutputFlow);
    EXPECT_FALSE(back.dsrOutputFlow);
    EXPECT_TRUE(back.rawMode);
    line.dataBits = 9;
    EXPECT_FALSE(port->SetLineState(line));
    EXPECT_EQ(serial::LastError(), ERROR_INVALID_PARAMETER);

    // A pseudo-terminal has no status lines: nothing holds the sender back,
    // the second time too.
    serial::ModemLines lines;
    for (int n = 0; n < 2; ++n) {
        ASSERT_TRUE(port->GetModemLines(lines)) << serial::LastError();
        EXPECT_TRUE(lines.cts);
        EXPECT_FALSE(lines.carrierDetect);
    }

    serial::Timeouts immediate;
    immediate.readIntervalMs = 0xFFFFFFFFu;
    immediate.writeTotalConstantMs = 1000;
    ASSERT_TRUE(port->SetTimeouts(immediate));
    // The wait for input lasts its time on a quiet line and ends once the
    // modem answers.
    EXPECT_FALSE(port->WaitForInput(20));
    size_t put = 0;
    ASSERT_TRUE(port->Write("ATI3\r\n", 6, put));
    EXPECT_EQ(put, 6u);
    EXPECT_TRUE(port->WaitForInput(5000));
    // The echo (the modem answers at CR and echoes the LF after), the reply
    // and OK: the queue count covers all of it, and a read of exactly that
    // many takes it all.
    const std::string expected = "ATI3\r\r\n" + kAti3 + "\r\n\r\nOK\r\n\n";
    ASSERT_EQ(WaitForInput(*port, expected.size()), expected.size());
    std::string reply(expected.size(), '\0');
    size_t got = 0;
    ASSERT_TRUE(port->Read(reply.data(), reply.size(), got));
    EXPECT_EQ(got, expected.size());
    EXPECT_EQ(reply, expected);

    // Nothing left: an immediate read returns at once with nothing, and a
    // read with a total time-out ends empty-handed too.
    char byte = 0;
    ASSERT_TRUE(port->Read(&byte, 1, got));
    EXPECT_EQ(got, 0u);
    serial::Timeouts brief;
    brief.readTotalConstantMs = 50;
    ASSERT_TRUE(port->SetTimeouts(brief));
    ASSERT_TRUE(port->Read(&byte, 1, got)) << serial::LastError();
    EXPECT_EQ(got, 0u);
    serial::Status status;
    ASSERT_TRUE(port->ClearError(status));
    EXPECT_EQ(status.inputQueued, 0u);
}

// The handle of the one serial port this process has open. The link keeps
// its handle to itself; handles are small multiples of four, and only a
// port answers GetCommState.
HANDLE OpenPortHandle()
{
    HANDLE found = nullptr;
    for (uintptr_t value = 4; value < 0x4000; value += 4) {
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        HANDLE h = reinterpret_cast<HANDLE>(value);
        if (GetFileType(h) == FILE_TYPE_CHAR && GetCommState(h, &dcb)) {
            if (found)
                return nullptr; // more than one: cannot tell
            found = h;
        }
    }
    return found;
}

// What CComPort::Open hands the device, read back from the system.
QX_SIM_CASE(WinSerial, OpenGivesThePortTheModemsSettings)
{
    ASSERT_TRUE(WineSim().present());
    ASSERT_EQ(g_ComPort.Open("COM4"), 1);
    HANDLE port = OpenPortHandle();
    ASSERT_NE(port, nullptr);

    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    ASSERT_TRUE(GetCommState(port, &dcb)) << GetLastError();
    EXPECT_EQ(dcb.BaudRate, 115200u);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, NOPARITY);
    EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
    EXPECT_TRUE(dcb.fOutxCtsFlow);
    EXPECT_FALSE(dcb.fOutxDsrFlow);
    EXPECT_EQ(dcb.fDtrControl, DWORD(DTR_CONTROL_ENABLE));
    EXPECT_EQ(dcb.fRtsControl, DWORD(RTS_CONTROL_ENABLE));
    EXPECT_TRUE(dcb.fBinary);

    COMMTIMEOUTS t{};
    ASSERT_TRUE(GetCommTimeouts(port, &t)) << GetLastError();
    EXPECT_EQ(t.ReadIntervalTimeout, 0xFFFFFFFFu);
    EXPECT_EQ(t.ReadTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(t.ReadTotalTimeoutConstant, 1000u);
    EXPECT_EQ(t.WriteTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(t.WriteTotalTimeoutConstant, 1000u);
    g_ComPort.Close();
}

// The link's reply rules on what came over the port.
std::string AskThroughTheLink(const std::string& command)
{
    EXPECT_EQ(g_ComPort.Open("COM4"), 1);
    g_ComPort.SendCommand("ATE0", true);
    std::string discarded;
    g_ComPort.ReadResponse(discarded);
    g_ComPort.SendCommand(command, true);
    std::string reply;
    g_ComPort.ReadResponse(reply);
    g_ComPort.Close();
    return reply;
}

QX_SIM_CASE(WinReplyRules, ReplyBeforeOk)
{
    WineSim sim;
    ASSERT_TRUE(sim.present());
    std::string reply = StripLineBreaks(AskThroughTheLink("ATI3"));
    std::string before;
    EXPECT_EQ(ReplyBeforeOk(reply, before), static_cast<int>(kAti3.size())) << reply;
    EXPECT_EQ(before, kAti3);
    EXPECT_EQ(sim.received(), "ATE0\r\nATI3\r\n");
}

QX_SIM_CASE(WinReplyRules, ReplyWithoutOk, "--no-ok")
{
    ASSERT_TRUE(WineSim().present());
    std::string reply = StripLineBreaks(AskThroughTheLink("ATI3"));
    std::string before;
    EXPECT_EQ(ReplyBeforeOk(reply, before), -1);
    EXPECT_EQ(before, kAti3);
}

// The prefix maps COM1-COM9 and COM12 (and the machine's own ports, from
// COM10 on) to paths of which only the simulator's exist: here COM4 and
// COM12. Wine lists every mapped name and opens it, failing only the
// set-up of the empty ones: those are not shown.
QX_SIM_CASE(WinPorts, ListAndDescriptionShowThePortsPresent, "@com4,com12")
{
    ASSERT_TRUE(WineSim().present());
    std::vector<std::string> names;
    for (const serial::PortInfo& p : serial::ListSerialPorts())
        names.push_back(p.name);
    ASSERT_GE(names.size(), 10u);
    EXPECT_EQ(std::vector<std::string>(names.begin(), names.begin() + 9),
        (std::vector<std::string>{"COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7", "COM8", "COM9"}));
    EXPECT_NE(std::find(names.begin(), names.end(), "COM12"), names.end());

    std::vector<std::string> lines = serial::DescribeComPorts();
    ASSERT_EQ(lines.size(), 2u) << testing::PrintToString(lines);
    EXPECT_TRUE(lines[0].starts_with("COM4  ")) << lines[0];
    EXPECT_TRUE(lines[0].ends_with("  (you may open it)")) << lines[0];
    EXPECT_TRUE(lines[1].starts_with("COM12  ")) << lines[1];
    EXPECT_TRUE(lines[1].ends_with("  (you may open it; above COM9, not searched)")) << lines[1];

    const std::string beyond = serial::PortsOutOfReachNote();
    EXPECT_TRUE(beyond.starts_with("COM12 is numbered above COM9")) << beyond;
    EXPECT_NE(beyond.find("a number from 1 to 9 in Device Manager"), std::string::npos) << beyond;
}

// Which failures to open a COM1-COM9 port the user hears of: one held by
// another program, one of this system's ports failing otherwise (with the
// system's words); never a port that is not there.
QX_SIM_CASE(WinPorts, RefusalNotesNameOnlyPortsThatAreThere)
{
    ASSERT_TRUE(WineSim().present());
    EXPECT_EQ(serial::RefusalNote("COM4", ERROR_ACCESS_DENIED),
        "COM4 is in use by another program: close that program, then start this one again.");
    EXPECT_EQ(serial::RefusalNote("COM4", ERROR_GEN_FAILURE),
        "COM4 could not be opened: " + serial::ErrorText(ERROR_GEN_FAILURE));
    for (int absent : {ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_INVALID_FUNCTION})
        EXPECT_EQ(serial::RefusalNote("COM4", absent), "") << absent;
    EXPECT_EQ(serial::RefusalNote("COM30", ERROR_GEN_FAILURE), "");
    // No COM10 or above with anything behind it: nothing to say.
    EXPECT_EQ(serial::PortsOutOfReachNote(), "");
}

} // namespace
