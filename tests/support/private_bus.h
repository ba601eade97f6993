// A private D-Bus bus standing in for the system bus or the session bus
// (for as long as the object lives, DBUS_SYSTEM_BUS_ADDRESS or
// DBUS_SESSION_BUS_ADDRESS points at it), and services on it hosted by
// python3-dbusmock from a template.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <poll.h>
#include <string>
#include <systemd/sd-bus.h>
#include <unistd.h>
#include <vector>

#include "testing/child_process.h"

namespace bustest {

using Clock = std::chrono::steady_clock;

using Child = simtest::ChildProcess;

// Starts `argv` with its complaints (the daemon cannot raise its file limit
// in a container, say) left out, and with `out` set, its stdout readable
// there. Null if it could not start.
inline std::unique_ptr<Child> StartChild(const std::vector<std::string>& argv, int* out = nullptr)
{
    sim::SpawnSetup setup;
    setup.files[2] = "/dev/null";
    int pipeFds[2] = {-1, -1};
    if (out && pipe(pipeFds) == 0) {
        setup.fds[1] = pipeFds[1];
        setup.close.push_back(pipeFds[0]);
    }
    auto child = std::make_unique<Child>();
    const bool started = child->Start(argv, setup);
    if (out) {
        close(pipeFds[1]);
        *out = pipeFds[0];
    }
    return started ? std::move(child) : nullptr;
}

// Whether `name` has an owner on the bus at `address`.
inline bool NameOwned(const std::string& address, const std::string& name)
{
    sd_bus* bus = nullptr;
    if (sd_bus_new(&bus) < 0)
        return false;
    bool owned = false;
    if (sd_bus_set_address(bus, address.c_str()) >= 0 && sd_bus_set_bus_client(bus, 1) >= 0 && sd_bus_start(bus) >= 0) {
        sd_bus_message* reply = nullptr;
        int has = 0;
        if (sd_bus_call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                "NameHasOwner", nullptr, &reply, "s", name.c_str()) >= 0 &&
            sd_bus_message_read(reply, "b", &has) >= 0)
            owned = has != 0;
        sd_bus_message_unref(reply);
    }
    sd_bus_flush_close_unref(bus);
    return owned;
}

class PrivateBus {
public:
    enum class Kind { System, Session };

    explicit PrivateBus(Kind kind = Kind::System)
        : m_variable(kind == Kind::System ? "DBUS_SYSTEM_BUS_ADDRESS" : "DBUS_SESSION_BUS_ADDRESS"),
          m_mockFlag(kind == Kind::System ? "--system" : "--session")
    {
        int out = -1;
        m_daemon = StartChild(std::vector<std::string>{"/usr/bin/dbus-daemon", "--session", "--nofork", "--nopidfile",
                                  "--print-address=1"},
            &out);
        // The daemon prints its address once it listens.
        auto deadline = Clock::now() + std::chrono::seconds(20);
        std::string line;
        char c;
        while (line.find('\n') == std::string::npos && Clock::now() < deadline) {
            pollfd p{out, POLLIN, 0};
            if (poll(&p, 1, 100) > 0 && read(out, &c, 1) == 1)
                line += c;
        }
        close(out);
        m_address = line.substr(0, line.find('\n'));
        EXPECT_FALSE(m_address.empty()) << "dbus-daemon gave no address";
        const char* previous = std::getenv(m_variable);
        m_hadPrevious = previous != nullptr;
        if (previous)
            m_previous = previous;
        setenv(m_variable, m_address.c_str(), 1);
    }
    ~PrivateBus()
    {
        m_services.clear();
        m_daemon.reset();
        if (m_hadPrevious)
            setenv(m_variable, m_previous.c_str(), 1);
        else
            unsetenv(m_variable);
    }
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    // Hosts the service of `templateFile` (a file, or the name of one of
    // python3-dbusmock's own templates; claiming `name`) with the JSON
    // `parameters`, logging its method calls to `log`. Returns once the name
    // is on the bus (false if it never came).
    bool Host(
        const std::string& templateFile, const std::string& name, const std::string& parameters, const std::string& log)
    {
        m_services.push_back(StartChild(
            {"/usr/bin/python3", "-m", "dbusmock", m_mockFlag, "-t", templateFile, "-p", parameters, "-l", log}));
        auto deadline = Clock::now() + std::chrono::seconds(30);
        while (Clock::now() < deadline) {
            if (NameOwned(m_address, name))
                return true;
            poll(nullptr, 0, 20);
        }
        return false;
    }

private:
    const char* m_variable;
    const char* m_mockFlag;
    std::unique_ptr<Child> m_daemon;
    std::vector<std::unique_ptr<Child>> m_services;
    std::string m_address;
    std::string m_previous;
    bool m_hadPrevious = false;
};

// The lines of a service's call log that name `method`, without their time stamps.
inline std::vector<std::string> Calls(const std::string& log, const std::string& method)
{
    std::ifstream in(log);
    std::vector<std::string> calls;
    for (std::string line; std::getline(in, line);) {
        size_t space = line.find(' ');
        // A call is logged as `method args` (`method` alone without
        // arguments); a refusal adds `method raised: ...`.
        if (space == std::string::npos)
            continue;
        const std::string call = line.substr(space + 1);
        if ((call == method || call.compare(0, method.size() + 1, method + " ") == 0) &&
            call.compare(method.size(), 8, " raised:") != 0)
            calls.push_back(call);
    }
    return calls;
}

} // namespace bustest
