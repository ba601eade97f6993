// The desktop session held off during an upgrade on Linux: logind, played
// by python3-dbusmock's template on a private system bus, holds a blocking
// inhibitor from before "AT~D1" until the upgrade's last message is gone;
// without logind the upgrade runs as ever. A desktop portal on the session
// bus is asked too, and its inhibition withdrawn with the guard.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

// Before res/resource.h, whose IDOK macro would clash with ui::IDOK.
#include "platform/ui/message_box.h"

#include "app/QuilvexDlg.h"
#include "link/ComPort.h"
#include "platform/session_guard.h"
#include "tests/support/fake_serial.h"
#include "tests/support/private_bus.h"
#include "tests/upgrade/scripted_receiver.h"
#include "upgrade/Image.h"

namespace fs = std::filesystem;

namespace {

using Strings = std::vector<std::string>;

// logind's inhibitors as "what who why mode".
Strings Inhibitors()
{
    Strings out;
    sd_bus* bus = nullptr;
    sd_bus_message* reply = nullptr;
    if (sd_bus_open_system(&bus) >= 0 &&
        sd_bus_call_method(bus, "org.freedesktop.login1", "/org/freedesktop/login1", "org.freedesktop.login1.Manager",
            "ListInhibitors", nullptr, &reply, "") >= 0 &&
        sd_bus_message_enter_container(reply, 'a', "(ssssuu)") >= 0) {
        const char *what, *who, *why, *mode;
        uint32_t uid, pid;
        while (sd_bus_message_read(reply, "(ssssuu)", &what, &who, &why, &mode, &uid, &pid) > 0)
            out.push_back(std::string(what) + " " + who + " " + why + " " + mode);
    }
    sd_bus_message_unref(reply);
    sd_bus_flush_close_unref(bus);
    return out;
}

TEST(SessionInhibit, HeldFromTheSwitchToTheLastMessageOnlyWhereLogindRuns)
{
    const std::string held = std::string("shutdown:sleep:idle:handle-lid-switch ") + program_invocation_short_name +
        " " + kStatusUpgrading + " block";
    const fs::path dir = fs::path(testing::TempDir()) / ("quilvex_inhibit_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string image = (dir / "image.dlf").string();
    std::ofstream(image, std::ios::binary) << std::string(kImageSize, '\x3C');

    for (bool logind : {true, false}) {
        SCOPED_TRACE(logind ? "logind on the bus" : "no logind");
        bustest::PrivateBus bus;
        if (logind) {
            ASSERT_TRUE(bus.Host("logind", "org.freedesktop.login1", "{}", (dir / "calls.log").string()));
        }
        FakeLine line;
        line.Install();
        ASSERT_EQ(g_ComPort.Open("COM1"), 1);
        ScriptedReceiver loader(line, 'C');
        loader.onCommand = [&](const std::string& command) {
            if (command == "AT~D1")
                line.Send({'C'});
            else if (command == "AT*NC22&F")
                line.Send("\r\nOK\r\n");
        };
        Strings atFirstByte;
        auto take = line.onWrite;
        line.onWrite = [&](FakeLine& l) {
            if (l.written.size() == 1) // the "A" of "AT~D1"
                atFirstByte = Inhibitors();
            take(l);
        };
        Strings texts, atMessage;
        ui::MessagePresenter previous = ui::SetMessagePresenter([&](const std::string& text, ui::MessageButtons) {
            texts.push_back(text);
            atMessage = Inhibitors();
            return static_cast<int>(ui::IDOK);
        });

        CQuilvexDlg dlg;
        dlg.m_nCountry = 22;
        dlg.SetControlText(IDC_FILENAME, image);
        dlg.OnOK();
        ui::SetMessagePresenter(previous);

        EXPECT_EQ(texts, Strings{"Successfully upgraded the firmware!"});
        EXPECT_EQ(loader.Image(), std::vector<uint8_t>(kImageSize, 0x3C));
        EXPECT_EQ(atFirstByte, logind ? Strings{held} : Strings{});
        EXPECT_EQ(atMessage, logind ? Strings{held} : Strings{});
        // Closing the descriptor ends it; logind notices in its own time.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!Inhibitors().empty() && std::chrono::steady_clock::now() < deadline)
            usleep(10000);
        EXPECT_EQ(Inhibitors(), Strings{});
        g_ComPort.Close();
    }
    fs::remove_all(dir);
}

TEST(SessionInhibit, PortalIsAskedForLogoutSuspendAndIdleAndLetGo)
{
    const std::string log = testing::TempDir() + "quilvex_portal_" + std::to_string(::getpid()) + ".log";
    bustest::PrivateBus bus(bustest::PrivateBus::Kind::Session);
    ASSERT_TRUE(bus.Host(QX_PORTAL_STAND_IN, "org.freedesktop.portal.Desktop", "{}", log));
    {
        platform::SessionGuard guard("Flashing");
        EXPECT_EQ(bustest::Calls(log, "Inhibit"), Strings{"Inhibit \"\" 13 {\"reason\": \"Flashing\"}"});
        EXPECT_TRUE(bustest::Calls(log, "Close").empty());
    }
    EXPECT_EQ(bustest::Calls(log, "Close"), Strings{"Close"});
    std::remove(log.c_str());
}

} // namespace
