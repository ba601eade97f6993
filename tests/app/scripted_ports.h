// Serial ports for window tests, installed as the serial opener for the
// object's lifetime: each name may be absent, a device that never answers,
// or a modem answering command lines from a table. Opens and closes are
// counted per name.
#pragma once

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/serial/serial_device.h"

class ScriptedPorts {
public:
    struct Port {
        std::map<std::string, std::string> replies; // command line -> bytes sent back
        std::vector<std::string> commands;           // command lines received
        int opens = 0, closes = 0;
    };

    ScriptedPorts()
    {
        serial::SetOpener([this](const std::string& name) -> std::unique_ptr<serial::Device> {
            auto it = m_ports.find(name);
            if (it == m_ports.end()) {
                serial::SetLastError(ENOENT);
                return nullptr;
            }
            ++it->second->opens;
            return std::make_unique<Device>(it->second);
        });
    }
    ~ScriptedPorts() { serial::SetOpener({}); }
    ScriptedPorts(const ScriptedPorts&) = delete;
    ScriptedPorts& operator=(const ScriptedPorts&) = delete;

    // A device that opens but never answers.
    Port& Silent(const std::string& name) { return *(m_ports[name] = std::make_shared<Port>()); }
    // A modem that answers "ATE0"; add its other replies.
    Port& Modem(const std::string& name)
    {
        Port& port = Silent(name);
        port.replies["ATE0"] = "\r\nOK\r\n";
        return port;
    }
    // Every command line any port received.
    size_t CommandCount() const
    {
        size_t n = 0;
        for (const auto& entry : m_ports)
            n += entry.second->commands.size();
        return n;
    }

private:
    class Device final : public serial::Device {
    public:
        explicit Device(std::shared_ptr<Port> port) : m_port(std::move(port)) {}
        bool SetQueueSizes(size_t, size_t) override { return m_open; }
        bool Purge() override
        {
            m_pending.clear();
            return m_open;
        }
        bool SetTimeouts(const serial::Timeouts&) override { return m_open; }
        bool GetLineState(serial::LineState&) override { return m_open; }
        bool SetLineState(const serial::LineState&) override { return m_open; }
        bool ClearError(serial::Status& out) override
        {
            out = {};
            out.inputQueued = m_pending.size();
            return m_open;
        }
        bool Read(void* buf, size_t size, size_t& got) override
        {
            got = std::min(size, m_pending.size());
            std::memcpy(buf, m_pending.data(), got);
            m_pending.erase(0, got);
            return m_open;
        }
        bool Write(const void* buf, size_t size, size_t& put) override
        {
            put = m_open ? size : 0;
            for (size_t i = 0; i < put; ++i)
                Take(static_cast<const char*>(buf)[i]);
            return m_open;
        }
        bool GetModemLines(serial::ModemLines& out) override
        {
            out.cts = true;
            out.carrierDetect = false;
            return m_open;
        }
        bool Close() override
        {
            if (!m_open)
                return false;
            m_open = false;
            ++m_port->closes;
            return true;
        }

    private:
        void Take(char c)
        {
            if (c == '\n')
                return;
            if (c != '\r') {
                m_line += c;
                return;
            }
            m_port->commands.push_back(m_line);
            if (auto it = m_port->replies.find(m_line); it != m_port->replies.end())
                m_pending += it->second;
            m_line.clear();
        }

        std::shared_ptr<Port> m_port;
        std::string m_line, m_pending;
        bool m_open = true;
    };

    std::map<std::string, std::shared_ptr<Port>> m_ports;
};
