#include "tests/fuzz/sender_session.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <tuple>

#include "app/QuilvexDlg.h"
#include "link/ComPort.h"
#include "platform/serial/serial_device.h"
#include "testing/message_recorder.h"
#include "tests/fuzz/sender_image.h"
#include "tests/support/fake_serial.h"
#include "upgrade/Packet.h"
#include "upgrade/Transfer.h"

namespace fuzz {
namespace {

// The loader: answers from the script, frames from the sender's bytes.
class ScriptedLoader {
public:
    ScriptedLoader(const uint8_t* script, size_t size, Session& s, FakeLine& line)
        : m_script(script), m_size(size), m_s(s), m_line(line)
    {
        line.lines = serial::ModemLines{true, true}; // status lines always let data through
        line.collectCommands = false; // it takes frames apart itself
        line.onPoll = [this](FakeLine&) { Poll(); };
        line.onWrite = [this](FakeLine& l) { Take(l.written.back()); };
        line.onPurge = [this](FakeLine&) { m_pending.clear(); };
        m_pending.reserve(64);
    }

    // Takes the next answer from the script and puts it on the line; a
    // repeated start comes at once, whatever delay its header names.
    void Answer(bool repeatedStart = false)
    {
        for (;;) {
            if (m_pos >= m_size)
                return;
            const uint8_t h = m_script[m_pos++];
            const size_t count = h & 15u;
            uint32_t delay = kAnswerDelays[h >> 4];
            if (repeatedStart && delay != kNeverArrives)
                delay = 0;
            for (size_t k = 0; k < count && m_pos < m_size; ++k) {
                const uint8_t byte = m_script[m_pos++];
                if (delay != kNeverArrives) {
                    m_pending.push_back({m_polls + delay + 1, m_sent++, byte});
                    std::push_heap(m_pending.begin(), m_pending.end(), Later);
                }
            }
            if (count != 15)
                return;
        }
    }

    // One status query: lets through what is due.
    void Poll()
    {
        Collect();
        ++m_polls;
        ++m_s.totalPolls;
        ++(m_s.units.empty() ? m_s.startPolls : m_s.units.back().polls);
        // Equal arrival polls keep the order they were sent in.
        while (!m_pending.empty() && m_pending.front().at <= m_polls) {
            m_line.toProgram.push_back(m_pending.front().byte);
            std::pop_heap(m_pending.begin(), m_pending.end(), Later);
            m_pending.pop_back();
        }
        if (!m_pending.empty() || !m_line.toProgram.empty())
            return;
        if (m_s.units.empty() && m_pos < m_size)
            Answer(true); // still waiting for a first frame: it says something more
        else if (m_pos >= m_size)
            m_line.toProgram.push_back(kCAN); // nothing left to say: it gives up
    }

    // Books what the sender read since the last look to the current unit.
    void Collect()
    {
        for (; m_seenRead < m_line.read.size(); ++m_seenRead)
            (m_s.units.empty() ? m_s.startReads : m_s.units.back().reads).push_back(m_line.read[m_seenRead]);
    }

    // One byte from the sender.
    void Take(uint8_t byte)
    {
        Collect();
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
        if (m_frame.empty())
            m_frame.reserve(3 + 1024 + 2);
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
    FakeLine& m_line;
    size_t m_seenRead = 0; // bytes of m_line.read booked
    uint64_t m_polls = 0;
    // A byte on its way: due at poll `at`; `seq` keeps equal arrivals in
    // the order they were sent.
    struct OnItsWay {
        uint64_t at, seq;
        uint8_t byte;
    };
    static bool Later(const OnItsWay& a, const OnItsWay& b) { return std::tie(a.at, a.seq) > std::tie(b.at, b.seq); }
    std::vector<OnItsWay> m_pending; // a heap, the next byte due at its front
    uint64_t m_sent = 0;
    std::vector<uint8_t> m_frame; // the frame being written
    size_t m_checkLen = 0; // 0 until the first write
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
    const size_t used = size < 3 ? size : 3;
    s.image = ImageBytes(ImageSizeFor({script, size}));
    const size_t imageSize = s.image.size();
    std::unique_ptr<FILE, FileCloser> file(OpenInMemory(s.image));
    if (!file) {
        s.setupError = std::string("cannot open the image in memory: ") + std::strerror(errno);
        return s;
    }

    FakeLine line;
    ScriptedLoader loader(script + used, size - used, s, line);
    // Room for one pass of frames: a run that only sends grows nothing.
    line.written.reserve(imageSize + imageSize / 16 + 64);
    MessageRecorder messages;
    std::optional<CQuilvexDlg> dlg;
    Restore restore;
    line.Install();
    if (!g_ComPort.Open("COM1")) {
        s.setupError = "cannot open the scripted line";
        return s;
    }
    if (s.withDialog) {
        g_pMainDlg = &dlg.emplace();
        dlg->UpdateData(false); // binds the progress bar, as start-up does
    }

    loader.Answer(); // the loader's first word: the start character, or not
    s.result = SendFirmware(file.get(), s.use1K, static_cast<int64_t>(imageSize + (s.sizeChanged ? 1 : 0)));
    loader.Collect();
    s.partialFrame = loader.Unfinished();
    s.messages = messages.texts;
    if (dlg) {
        s.progressSteps = dlg->m_ctlProgress.StepCount();
        s.progressPos = dlg->m_ctlProgress.GetPos();
    }
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
        s.sizeChanged ? " (one more expected)" : "", s.use1K ? "1K" : "128", s.withDialog ? "with" : "no", s.result);
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
