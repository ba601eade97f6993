// A serial line in memory: the one fake port for tests that put a scripted
// peer behind the modem link instead of a real port.
//
// Install() makes every port open hand out a device bound to this line
// (names are recorded); the destructor puts the real opener back. To give
// some COM names a fake line and leave the rest unmapped, attach lines to a
// PortMap (testing/com_ports.h) instead.
//
// The peer is scripted in three ways, freely mixed:
//   - `replies`: a command line (the text before CR, LFs dropped) queues the
//     mapped bytes for the program; every line lands in `commands`;
//   - hooks: onWrite runs after every byte the program writes (see
//     `written`), onPoll at every status query before the queue is
//     reported, onWait inside every wait for input (before it looks at the
//     queue), onPurge after each purge;
//   - `Send()` queues bytes at any time.
// A wait for input finding nothing sleeps its full time, as a real port's
// does (unless `waitsSleep` is cleared). The modem status lines are `lines`; any operation can be made to fail
// with an error code, and writes can be made to fall short (a time-out).
#pragma once

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <initializer_list>
#include <limits>
#include <map>
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

    // Routes serial::Open to this line. `openable` decides per name; a name
    // it refuses fails to open with ENOENT.
    void Install(std::function<bool(const std::string&)> openable = {})
    {
        m_installed = true;
        serial::SetOpener([this, openable](const std::string& name) -> std::unique_ptr<serial::Device> {
            opened.push_back(name);
            if (openable && !openable(name)) {
                serial::SetLastError(ENOENT);
                return nullptr;
            }
            return NewDevice();
        });
    }
    void Uninstall()
    {
        if (m_installed)
            serial::SetOpener({});
        m_installed = false;
    }

    // A newly opened device on this line (counted in openCount).
    std::unique_ptr<serial::Device> NewDevice()
    {
        ++openCount;
        return std::make_unique<Device>(*this);
    }

    // Queues bytes for the program to read.
    void Send(std::initializer_list<uint8_t> bytes) { toProgram.insert(toProgram.end(), bytes); }
    void Send(const std::string& text) { toProgram.insert(toProgram.end(), text.begin(), text.end()); }

    // What the program wrote / read, as text.
    std::string Written() const { return {written.begin(), written.end()}; }
    std::string Read() const { return {read.begin(), read.end()}; }

    // --- what the program did ---
    std::vector<uint8_t> written; // every byte the program wrote, in order
    std::vector<uint8_t> read; // every byte the program read, in order
    std::vector<std::string> commands; // command lines written (text before each CR)
    size_t polls = 0; // status queries (one per ReadByte)
    size_t pollsSinceWrite = 0; // status queries since the last write
    size_t pollsBeforeWrite = 0; // queries between the last two writes
    size_t lineReads = 0; // modem status line reads
    size_t writeCalls = 0; // Write calls, those that fell short included
    size_t purges = 0; // Purge calls (each discards toProgram)
    size_t waits = 0; // WaitForInput calls
    size_t waitsCutShort = 0; // of those, the ones a waiting byte ended
    uint64_t waitedMs = 0; // milliseconds the waits were asked for
    // False: a wait that finds nothing returns at once, so that waitedMs
    // is the only clock and the pauses' own clock never runs out.
    bool waitsSleep = true;
    int openCount = 0, closeCount = 0; // devices handed out and closed
    std::vector<std::string> opened; // names asked for through Install(), in order

    // --- the peer ---
    std::deque<uint8_t> toProgram; // bytes waiting for the program
    std::map<std::string, std::string> replies; // command line -> bytes sent back
    serial::ModemLines lines{true, false}; // CTS on, carrier detect off
    std::function<void(FakeLine&)> onWrite;
    std::function<void(FakeLine&)> onPoll;
    std::function<void(FakeLine&)> onWait;
    std::function<void(FakeLine&)> onPurge;
    // False: writes are not taken apart into command lines (`commands` and
    // `replies` unused), for peers that read `written` themselves.
    bool collectCommands = true;
    // What the devices say of the adapter's latency (empty: nothing).
    serial::Device::LatencySetting latency;

    // --- faults: an errno value makes that operation fail, 0 lets it work ---
    int failConfigure = 0; // queue sizes, time-outs, line state
    int failPoll = 0; // the error-and-status query
    int failRead = 0;
    int failWrite = 0;
    int failLines = 0; // the modem status lines
    int failClose = 0;
    // Bytes a write may still put out; a longer write falls short.
    size_t writeRoom = std::numeric_limits<size_t>::max();

private:
    class Device final : public serial::Device {
    public:
        explicit Device(FakeLine& line) : m_line(line) { }
        bool SetQueueSizes(size_t, size_t) override { return Usable(m_line.failConfigure); }
        bool Purge() override
        {
            if (!Usable())
                return false;
            ++m_line.purges;
            m_line.toProgram.clear();
            if (m_line.onPurge)
                m_line.onPurge(m_line);
            return true;
        }
        bool SetTimeouts(const serial::Timeouts&) override { return Usable(m_line.failConfigure); }
        bool GetLineState(serial::LineState&) override { return Usable(m_line.failConfigure); }
        bool SetLineState(const serial::LineState&) override { return Usable(m_line.failConfigure); }
        bool ClearError(serial::Status& out) override
        {
            out = serial::Status{};
            if (!Usable(m_line.failPoll))
                return false;
            ++m_line.polls;
            ++m_line.pollsSinceWrite;
            if (m_line.onPoll)
                m_line.onPoll(m_line);
            out.inputQueued = m_line.toProgram.empty() ? 0 : m_line.toProgram.size(); // size() costs more, every poll
            return true;
        }
        bool Read(void* buf, size_t size, size_t& got) override
        {
            got = 0;
            if (!Usable(m_line.failRead))
                return false;
            // Byte by byte: most reads are of one byte, and the fuzz
            // targets make millions of them.
            auto* out = static_cast<uint8_t*>(buf);
            for (; got < size && !m_line.toProgram.empty(); ++got) {
                out[got] = m_line.toProgram.front();
                m_line.toProgram.pop_front();
                m_line.read.push_back(out[got]);
            }
            return true;
        }
        bool Write(const void* buf, size_t size, size_t& put) override
        {
            put = 0;
            if (!Usable(m_line.failWrite))
                return false;
            ++m_line.writeCalls;
            const auto* in = static_cast<const uint8_t*>(buf);
            for (; put < size && m_line.writeRoom > 0; ++put) {
                --m_line.writeRoom;
                m_line.written.push_back(in[put]);
                m_line.pollsBeforeWrite = m_line.pollsSinceWrite;
                m_line.pollsSinceWrite = 0;
                if (m_line.collectCommands)
                    Take(in[put]);
                if (m_line.onWrite)
                    m_line.onWrite(m_line);
            }
            return true;
        }
        bool GetModemLines(serial::ModemLines& out) override
        {
            out = m_line.lines;
            ++m_line.lineReads;
            return Usable(m_line.failLines);
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
            if (m_line.waitsSleep)
                platform::SleepFor(ms);
            return false;
        }
        LatencySetting Latency() const override { return m_line.latency; }
        bool Close() override
        {
            if (!Usable(m_line.failClose))
                return false;
            m_closed = true;
            ++m_line.closeCount;
            return true;
        }

    private:
        // False with the error set if the device is closed or `fault` is set.
        bool Usable(int fault = 0) const
        {
            int code = m_closed ? EBADF : fault;
            if (code != 0)
                serial::SetLastError(code);
            return code == 0;
        }
        // Collects command lines and answers them from the reply table.
        void Take(uint8_t c)
        {
            if (c == '\n')
                return;
            if (c != '\r') {
                m_command += char(c);
                return;
            }
            m_line.commands.push_back(m_command);
            if (auto it = m_line.replies.find(m_command); it != m_line.replies.end())
                m_line.Send(it->second);
            m_command.clear();
        }

        FakeLine& m_line;
        std::string m_command;
        bool m_closed = false;
    };

    bool m_installed = false;
};
