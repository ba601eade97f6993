#include "tests/fuzz/sender_session.h"

#include <cerrno>
#include <cstdio>
#include <map>
#include <memory>

#include "testing/message_recorder.h"

#include "app/QuilvexDlg.h"
#include "link/ComPort.h"
#include "platform/serial/serial_device.h"
#include "upgrade/Packet.h"
#include "upgrade/Transfer.h"

namespace fuzz {
namespace {

// The loader: answers from the script, frames from the sender's bytes.
class ScriptedLoader {
public:
    ScriptedLoader(const uint8_t* script, size_t size, Session& s) : m_script(script), m_size(size), m_s(s) {}

    // Takes the next answer from the script and puts it on the line.
    void Answer()
    {
        for (;;) {
            if (m_pos >= m_size)
                return;
            const uint8_t h = m_script[m_pos++];
            const size_t count = h & 15u;
            const uint32_t delay = kAnswerDelays[h >> 4];
            for (size_t k = 0; k < count && m_pos < m_size; ++k) {
                const uint8_t byte = m_script[m_pos++];
                if (delay != kNeverArrives)
                    m_pending.emplace(m_polls + delay + 1, byte);
            }
            if (count != 15)
                return;
        }
    }

    // One status query: lets through what is due, says how much waits.
    size_t Poll()
    {
        ++m_polls;
        ++m_s.totalPolls;
        ++(m_s.units.empty() ? m_s.startPolls : m_s.units.back().polls);
        // Equal arrival polls keep the order they were sent in.
        while (!m_pending.empty() && m_pending.begin()->first <= m_polls) {
            m_queue.push_back(m_pending.begin()->second);
            m_pending.erase(m_pending.begin());
        }
        return m_queue.size();
    }

    size_t Read(uint8_t* out, size_t size)
    {
        size_t got = 0;
        for (; got < size && got < m_queue.size(); ++got) {
            out[got] = m_queue[got];
            (m_s.units.empty() ? m_s.startReads : m_s.units.back().reads).push_back(out[got]);
        }
        m_queue.erase(m_queue.begin(), m_queue.begin() + static_cast<std::ptrdiff_t>(got));
        return got;
    }

    void Purge()
    {
        m_queue.clear();
        m_pending.clear();
    }

    // One byte from the sender.
    void Take(uint8_t byte)
    {
        if (m_frame.empty()) {
            if (m_checkLen == 0) // first write: the last byte read picked the mode
                m_checkLen = !m_s.startReads.empty() && m_s.startReads.back() != kNAK ? 2 : 1;
            if (byte == kEOT) {
                Unit u;
                u.eot = true;
                m_s.units.push_back(std::move(u));
                Answer();
                return;
            }
            if (byte != kSOH && byte != kSTX) {
                m_s.strayWrites.push_back(byte);
                return;
            }
        }
        m_frame.push_back(byte);
        const size_t dataSize = m_frame[0] == kSTX ? 1024 : 128;
        if (m_frame.size() < 3 + dataSize + m_checkLen)
            return;
        Unit u;
        u.frame.swap(m_frame);
        m_s.units.push_back(std::move(u));
        Answer();
    }

    size_t Unfinished() const { return m_frame.size(); }

private:
    const uint8_t* m_script;
    size_t m_size;
    size_t m_pos = 0;
    Session& m_s;
    uint64_t m_polls = 0;
    std::multimap<uint64_t, uint8_t> m_pending; // arrival poll -> byte
    std::vector<uint8_t> m_queue;               // arrived, not yet read
    std::vector<uint8_t> m_frame;               // the frame being written
    size_t m_checkLen = 0;                      // 0 until the first write
};

// The loader as a serial device. Status lines always let data through.
class LoaderDevice final : public serial::Device {
public:
    explicit LoaderDevice(ScriptedLoader& loader) : m_loader(loader) {}
    bool SetQueueSizes(size_t, size_t) override { return Usable(); }
    bool Purge() override
    {
        if (Usable())
            m_loader.Purge();
        return Usable();
    }
    bool SetTimeouts(const serial::Timeouts&) override { return Usable(); }
    bool GetLineState(serial::LineState&) override { return Usable(); }
    bool SetLineState(const serial::LineState&) override { return Usable(); }
    bool ClearError(serial::Status& out) override
    {
        out = serial::Status{};
        if (!Usable())
            return false;
        out.inputQueued = m_loader.Poll();
        return true;
    }
    bool Read(void* buf, size_t size, size_t& got) override
    {
        got = Usable() ? m_loader.Read(static_cast<uint8_t*>(buf), size) : 0;
        return Usable();
    }
    bool Write(const void* buf, size_t size, size_t& put) override
    {
        put = 0;
        if (!Usable())
            return false;
        for (; put < size; ++put)
            m_loader.Take(static_cast<const uint8_t*>(buf)[put]);
        return true;
    }
    bool GetModemLines(serial::ModemLines& out) override
    {
        out = serial::ModemLines{true, true};
        return Usable();
    }
    bool Close() override
    {
        const bool ok = Usable();
        m_closed = true;
        return ok;
    }

private:
    bool Usable() const
    {
        if (m_closed)
            serial::SetLastError(EBADF);
        return !m_closed;
    }
    ScriptedLoader& m_loader;
    bool m_closed = false;
};

// Puts the real opener and no main dialog back, whatever happens.
struct Restore {
    ~Restore()
    {
        g_ComPort.Close();
        serial::SetOpener({});
        g_pMainDlg = nullptr;
    }
};

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};

} // namespace

Session RunSender(const uint8_t* script, size_t size)
{
    Session s;
    const uint8_t flags = size > 0 ? script[0] : 0;
    s.use1K = (flags & 1) != 0;
    s.withDialog = (flags & 2) != 0;
    s.sizeChanged = (flags & 4) != 0;
    const size_t imageSize = size >= 3 ? ((size_t{script[1]} << 8) | script[2]) % (kMaxImage + 1) : 0;
    const size_t used = size < 3 ? size : 3;

    s.image.resize(imageSize);
    for (size_t k = 0; k < imageSize; ++k)
        s.image[k] = static_cast<uint8_t>(k * 31 + k / 256 + 7);
    std::unique_ptr<FILE, FileCloser> file(std::tmpfile());
    // (An empty image has no buffer, and fwrite may not be given none.)
    if (!file || (imageSize && std::fwrite(s.image.data(), 1, imageSize, file.get()) != imageSize) ||
        std::fflush(file.get()) != 0) {
        s.setupError = "cannot write the image to a temporary file";
        return s;
    }

    ScriptedLoader loader(script + used, size - used, s);
    MessageRecorder messages;
    CQuilvexDlg dlg;
    Restore restore;
    serial::SetOpener([&loader](const std::string&) { return std::make_unique<LoaderDevice>(loader); });
    if (!g_ComPort.Open("COM1")) {
        s.setupError = "cannot open the scripted line";
        return s;
    }
    if (s.withDialog) {
        g_pMainDlg = &dlg;
        dlg.UpdateData(false); // binds the progress bar, as start-up does
    }

    loader.Answer(); // the loader's first word: the start character, or not
    s.result = SendFirmware(file.get(), s.use1K, static_cast<int64_t>(imageSize + (s.sizeChanged ? 1 : 0)));
    s.partialFrame = loader.Unfinished();
    s.messages = messages.texts;
    s.progressSteps = dlg.m_ctlProgress.StepCount();
    s.progressPos = dlg.m_ctlProgress.GetPos();
    return s;
}

std::string Describe(const Session& s)
{
    std::string out;
    char line[160];
    auto bytes = [](const std::vector<uint8_t>& v) {
        std::string t;
        char hex[4];
        for (size_t k = 0; k < v.size() && k < 16; ++k) {
            std::snprintf(hex, sizeof hex, " %02X", v[k]);
            t += hex;
        }
        return v.size() > 16 ? t + " ..." : t;
    };
    std::snprintf(line, sizeof line, "image %zu bytes%s, %s mode, %s dialog; result %d\n", s.image.size(),
                  s.sizeChanged ? " (one more expected)" : "", s.use1K ? "1K" : "128", s.withDialog ? "with" : "no",
                  s.result);
    out += line;
    std::snprintf(line, sizeof line, "start: %llu polls, read", static_cast<unsigned long long>(s.startPolls));
    out += line + bytes(s.startReads) + "\n";
    for (size_t k = 0; k < s.units.size(); ++k) {
        const Unit& u = s.units[k];
        std::snprintf(line, sizeof line, "#%zu %s: %llu polls, read", k, u.eot ? "EOT" : "frame",
                      static_cast<unsigned long long>(u.polls));
        out += line + bytes(u.reads) + (u.eot ? "" : "; frame" + bytes(u.frame)) + "\n";
    }
    if (!s.strayWrites.empty())
        out += "stray writes:" + bytes(s.strayWrites) + "\n";
    for (const std::string& m : s.messages)
        out += "message: " + m + "\n";
    return out;
}

} // namespace fuzz
