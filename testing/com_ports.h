// COM1..COM9 for a test or a benchmark: while a PortMap lives, every port
// name points at a path that does not exist, so no real serial port is ever
// touched; the caller then hangs what it needs on chosen names: a path (a
// pty, a simulator's link) or an in-memory line such as the tests' FakeLine.
// The names and the serial opener are put back when the map goes away.
#pragma once

#include <stdlib.h>

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "platform/serial/serial_device.h"

class PortMap {
public:
    PortMap()
    {
        for (int n = 1; n <= 9; ++n) {
            const char* old = getenv(Var(n).c_str());
            if (old)
                m_saved[n] = old;
            setenv(Var(n).c_str(), Nowhere(n).c_str(), 1);
        }
    }
    ~PortMap()
    {
        if (m_opener)
            serial::SetOpener({});
        for (int n = 1; n <= 9; ++n) {
            auto it = m_saved.find(n);
            if (it != m_saved.end())
                setenv(Var(n).c_str(), it->second.c_str(), 1);
            else
                unsetenv(Var(n).c_str());
        }
    }
    PortMap(const PortMap&) = delete;
    PortMap& operator=(const PortMap&) = delete;

    // Makes COM`n` the device at `path`.
    void Map(int n, const std::string& path) { setenv(Var(n).c_str(), path.c_str(), 1); }

    // Makes COM`n` lead nowhere again.
    void Unmap(int n)
    {
        setenv(Var(n).c_str(), Nowhere(n).c_str(), 1);
        m_lines.erase("COM" + std::to_string(n));
    }

    // Makes COM`n` a device on `line` (anything with NewDevice(), such as
    // FakeLine); every other name opens as usual. Opens per name are counted.
    template <typename Line> void Attach(int n, Line& line)
    {
        m_lines["COM" + std::to_string(n)] = [&line] { return line.NewDevice(); };
        InstallOpener();
    }

    // Times each name was asked for while a line was attached.
    int OpensOf(const std::string& name) const
    {
        auto it = m_asked.find(name);
        return it == m_asked.end() ? 0 : it->second;
    }

    // A path under which nothing exists, for COM`n`.
    static std::string Nowhere(int n) { return "/nonexistent/quilvex-test/com" + std::to_string(n); }

private:
    static std::string Var(int n) { return "QUILVEX_COM" + std::to_string(n); }

    void InstallOpener()
    {
        if (m_opener)
            return;
        m_opener = true;
        serial::SetOpener([this](const std::string& name) -> std::unique_ptr<serial::Device> {
            ++m_asked[name];
            auto it = m_lines.find(name);
            if (it != m_lines.end())
                return it->second();
            return serial::OpenNative(serial::DevicePath(name));
        });
    }

    std::map<int, std::string> m_saved;
    std::map<std::string, std::function<std::unique_ptr<serial::Device>()>> m_lines;
    std::map<std::string, int> m_asked;
    bool m_opener = false;
};
