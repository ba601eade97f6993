// A serial line in memory, for tests that put a scripted peer behind the
// modem link instead of a real port. Install() makes every port open hand
// out a device bound to this line (names are recorded); the destructor puts
// the real opener back.
//
// The peer is scripted through two hooks: onWrite runs after every byte the
// program writes (see `written`), onPoll at every status query, before the
// queue is reported, onWait inside every wait for input (before it looks at
// the queue). Bytes for the program go into `toProgram`. A wait finding
// nothing sleeps its full time, as a real port's does.
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/pause.h"
#include "platform/serial/serial_device.h"

class FakeLine {
public:
    FakeLine() = default;
    ~FakeLine() { Uninstall(); }
    FakeLine(const FakeLine&) = delete;
    FakeLine& operator=(const FakeLine&) = delete;

    // Routes serial::Open to this line. `openable` decides per name.
    void Install(std::function<bool(const std::string&)> openable = {})
    {
        m_installed = true;
        serial::SetOpener([this, openable](const std::string& name) -> std::unique_ptr<serial::Device> {
            opened.push_back(name);
            if (openable && !openable(name)) {
                serial::SetLastError(ENOENT);
                return nullptr;
            }
            ++openCount;
            return std::make_unique<Device>(*this);
        });
    }
    void Uninstall()
    {
        if (m_installed)
            serial::SetOpener({});
        m_installed = false;
    }

    // Queues bytes for the program to read.
    void Send(std::initializer_list<uint8_t> bytes) { toProgram.insert(toProgram.end(), bytes); }
    void Send(const std::string& text) { toProgram.insert(toProgram.end(), text.begin(), text.end()); }

    std::vector<uint8_t> written;      // every byte the program wrote, in order
    std::deque<uint8_t> toProgram;     // bytes waiting for the program
    size_t polls = 0;                  // status queries (one per ReadByte)
    size_t pollsSinceWrite = 0;        // status queries since the last write
    size_t pollsBeforeWrite = 0;       // queries between the last two writes
    size_t purges = 0;                 // Purge calls (each discards toProgram)
    serial::ModemLines lines{true, false}; // what the status lines say
    size_t lineReads = 0;              // modem-status reads
    size_t waits = 0;                  // WaitForInput calls
    size_t waitsCutShort = 0;          // of those, the ones a waiting byte ended
    uint64_t waitedMs = 0;             // milliseconds the waits were asked for
    int openCount = 0, closeCount = 0; // devices handed out and closed
    std::vector<std::string> opened;   // names asked for, in order
    std::function<void(FakeLine&)> onWrite;
    std::function<void(FakeLine&)> onPoll;
    std::function<void(FakeLine&)> onWait;

private:
    class Device final : public serial::Device {
    public:
        explicit Device(FakeLine& line) : m_line(line) {}
        bool SetQueueSizes(size_t, size_t) override { return Usable(); }
        bool Purge() override
        {
            if (!Usable())
                return false;
            ++m_line.purges;
            m_line.toProgram.clear();
            return true;
        }
        bool SetTimeouts(const serial::Timeouts&) override { return Usable(); }
        bool GetLineState(serial::LineState&) override { return Usable(); }
        bool SetLineState(const serial::LineState&) override { return Usable(); }
        bool ClearError(serial::Status& out) override
        {
            out = serial::Status{};
            if (!Usable())
                return false;
            ++m_line.polls;
            ++m_line.pollsSinceWrite;
            if (m_line.onPoll)
                m_line.onPoll(m_line);
            out.inputQueued = m_line.toProgram.size();
            return true;
        }
        bool Read(void* buf, size_t size, size_t& got) override
        {
            got = 0;
            if (!Usable())
                return false;
            auto* out = static_cast<uint8_t*>(buf);
            while (got < size && !m_line.toProgram.empty()) {
                out[got++] = m_line.toProgram.front();
                m_line.toProgram.pop_front();
            }
            return true;
        }
        bool Write(const void* buf, size_t size, size_t& put) override
        {
            put = 0;
            if (!Usable())
                return false;
            const auto* in = static_cast<const uint8_t*>(buf);
            for (; put < size; ++put) {
                m_line.written.push_back(in[put]);
                m_line.pollsBeforeWrite = m_line.pollsSinceWrite;
                m_line.pollsSinceWrite = 0;
                if (m_line.onWrite)
                    m_line.onWrite(m_line);
            }
            return true;
        }
        bool GetModemLines(serial::ModemLines& out) override
        {
            out = m_line.lines;
            ++m_line.lineReads;
            return Usable();
        }
        bool WaitForInput(unsigned ms) override
        {
            ++m_line.waits;
            m_line.waitedMs += ms;
            if (m_line.onWait)
                m_line.onWait(m_line);
            if (!m_closed && !m_line.toProgram.empty()) {
                ++m_line.waitsCutShort;
                return true;
            }
            platform::SleepFor(ms);
            return false;
        }
        bool Close() override
        {
            if (!Usable())
                return false;
            m_closed = true;
            ++m_line.closeCount;
            return true;
        }

    private:
        bool Usable() const
        {
            if (m_closed)
                serial::SetLastError(EBADF);
            return !m_closed;
        }
        FakeLine& m_line;
        bool m_closed = false;
    };

    bool m_installed = false;
};
