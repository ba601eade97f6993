#include "bench/accessibility_bus.h"

#include <systemd/sd-bus.h>

#include <signal.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "testing/event_log.h"

namespace bench {

namespace {

constexpr const char* kVariables[] = {
    "DBUS_SESSION_BUS_ADDRESS", "XDG_RUNTIME_DIR", "QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "QT_ACCESSIBILITY"};

// Asks the session bus at `session` where the accessibility bus is. "" until
// the launcher answers.
std::string AccessibilityAddress(const std::string& session)
{
    sd_bus* bus = nullptr;
    std::string address;
    if (sd_bus_new(&bus) >= 0 && sd_bus_set_address(bus, session.c_str()) >= 0 && sd_bus_set_bus_client(bus, 1) >= 0 &&
        sd_bus_start(bus) >= 0) {
        sd_bus_error error = SD_BUS_ERROR_NULL;
        sd_bus_message* reply = nullptr;
        const char* text = nullptr;
        if (sd_bus_call_method(
                bus, "org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress", &error, &reply, "") >= 0 &&
            sd_bus_message_read(reply, "s", &text) > 0 && text)
            address = text;
        sd_bus_message_unref(reply);
        sd_bus_error_free(&error);
    }
    sd_bus_flush_close_unref(bus);
    return address;
}

} // namespace

std::string AccessibilityBus::Start(const std::filesystem::path& dir, const std::string& reader, unsigned everyMs)
{
    Stop();
    m_dir = dir;
    std::filesystem::create_directories(dir);
    std::filesystem::permissions(dir, std::filesystem::perms::owner_all);
    const std::string session = "unix:path=" + (dir / "session-bus").string();
    sim::SpawnSetup quiet;
    quiet.files = {"/dev/null", (dir / "bus.log").string(), (dir / "bus.log").string()};
    if (!m_session.Start({"dbus-daemon", "--session", "--nofork", "--nopidfile", "--address=" + session}, quiet))
        return "dbus-daemon: " + m_session.Error();
    m_running = true;
    setenv("DBUS_SESSION_BUS_ADDRESS", session.c_str(), 1);
    setenv("XDG_RUNTIME_DIR", dir.c_str(), 1); // the AT-SPI bus's socket goes here
    quiet.files[1] = quiet.files[2] = (dir / "launcher.log").string();
    quiet.own_group = true; // with the bus and the registry it starts
    if (!m_launcher.Start({"/usr/libexec/at-spi-bus-launcher", "--launch-immediately"}, quiet)) {
        const std::string why = "at-spi-bus-launcher (package at-spi2-core): " + m_launcher.Error();
        Stop();
        return why;
    }
    std::string address;
    simtest::WaitUntil([&] { return !(address = AccessibilityAddress(session)).empty(); }, std::chrono::seconds(10));
    if (address.empty()) {
        Stop();
        return "the AT-SPI bus did not come up within 10 s";
    }
    sim::SpawnSetup out;
    out.files = {"/dev/null", (dir / "reader.out").string(), (dir / "reader.err").string()};
    if (!m_reader.Start({reader, "--address", address, "--every-ms", std::to_string(everyMs)}, out)) {
        const std::string why = "the screen reader: " + m_reader.Error();
        Stop();
        return why;
    }
    setenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1", 1);
    setenv("QT_ACCESSIBILITY", "1", 1);
    return "";
}

std::string AccessibilityBus::Stop()
{
    if (!m_running)
        return "";
    m_running = false;
    m_reader.Stop();
    if (const pid_t group = m_launcher.Pid(); group > 0 && m_launcher.Running())
        kill(-group, SIGTERM);
    m_launcher.Stop();
    m_session.Stop();
    for (const char* name : kVariables)
        unsetenv(name);
    std::string counts = simtest::ReadWholeFile(m_dir / "reader.out");
    while (!counts.empty() && counts.back() == '\n')
        counts.pop_back();
    return counts;
}

} // namespace bench
