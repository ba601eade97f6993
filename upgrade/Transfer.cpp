#include "upgrade/Transfer.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <functional>
#include <string_view>

#include "app/QuilvexDlg.h"
#include "link/ComPort.h"
#include "platform/pause.h"
#include "platform/ui/message_box.h"
#include "upgrade/Image.h"

const char* const kMsgStartTimeout = "Startup Packet Timeout!\n\n*** No response from REMOTE ***";
const char* const kMsgDiskRead = "Error on disk read!";
const char* const kMsgPacketTimeout = "Packet Timeout!\n\n*** No response from REMOTE ***";
const char* const kMsgErrorLimit = "Transmission Aborted!\n\n*** Error limit exceeded ***";
const char* const kMsgCanceled = "Transmission Aborted!\n\n*** Transfer canceled by REMOTE ***";
const char* const kMsgUnknownReply = "Transmission Aborted!\n\n*** Unknown response from REMOTE ***";
const char* const kMsgEotTimeout = "EOT not acknowledged!\n\n*** No response from REMOTE ***";

namespace {

// Polls the port up to `attempts` times for one byte, pausing 1 ms after
// every attempt that found nothing; a byte arriving ends that pause early,
// so the next attempt takes it at once. Returns true with the byte if one came.
bool PollByte(int attempts, uint8_t& byte)
{
    for (int n = 0; n < attempts; ++n) {
        if (g_ComPort.ReadByte(byte))
            return true;
        g_ComPort.WaitForInput(1);
    }
    return false;
}

// Makes the main window show its members now (no window: nothing to show).
void Push()
{
    if (g_pMainDlg)
        g_pMainDlg->UpdateData(false);
}

void SetStatus(std::string_view text)
{
    if (g_pMainDlg) {
        g_pMainDlg->m_strStatus = text;
        Push();
    }
}

// The packets and the EOT go out as one stream of single-byte writes,
// which the port may let overlap where each write is slow.
class WriteStream {
public:
    WriteStream() { g_ComPort.BeginWriteStream(); }
    ~WriteStream() { g_ComPort.EndWriteStream(); }
    WriteStream(const WriteStream&) = delete;
    WriteStream& operator=(const WriteStream&) = delete;
};

} // namespace

int WaitForStartup(uint8_t& checkMode)
{
    SetStatus(kStatusWaiting);
    for (int n = kStartPeriods; n >= 1; --n) {
        uint8_t byte = 0;
        if (PollByte(kStartPollsPerPeriod, byte) && IsStartChar(byte)) {
            checkMode = byte;
            SetStatus(kStatusUpgrading);
            return 1;
        }
        // Nothing, or a stray byte (dropped): this period is over.
        if (g_pMainDlg)
            SetStatus(WaitingCountText(n));
    }
    return 0;
}

int SendPacket(
    int packetNumber, int size, const uint8_t* data, uint8_t checkMode, const std::function<void()>& onFirstSent)
{
    for (int attempt = 1;; ++attempt) {
        for (uint8_t byte : FramePacket(packetNumber, size, data, checkMode))
            g_ComPort.WriteByte(byte); // a lost byte shows up as the reply
        if (attempt == 1 && onFirstSent)
            onFirstSent();
        // The packet is on its way and nothing waits on us: answer the
        // desktop now rather than when the reply may be coming in.
        platform::AnswerDesktopEarly();
        platform::Pause(1);

        uint8_t reply = 0;
        if (!PollByte(kPacketReplyPolls, reply)) {
            ui::MessageBox(kMsgPacketTimeout);
            return 0;
        }
        if (reply == kACK)
            return 1;
        if (reply == kCAN) {
            ui::MessageBox(kMsgCanceled);
            return 0;
        }
        if (reply != kNAK) {
            ui::MessageBox(kMsgUnknownReply);
            return 0;
        }
        if (attempt + 1 > kMaxSends) {
            ui::MessageBox(kMsgErrorLimit);
            return 0;
        }
    }
}

int SendEot()
{
    for (int n = 0; n < kMaxEots; ++n) {
        g_ComPort.WriteByte(kEOT);
        uint8_t reply = 0;
        if (PollByte(kEotReplyPolls, reply) && reply == kACK)
            return 1;
    }
    return 0;
}

int SendFirmware(FILE* file, bool use1K, int64_t expectedSize)
{
    const int64_t size = file ? ImageFileSize(file) : -1;
    // A file that changed since the caller checked it is not the image the
    // user chose: sending it would flash something else.
    if (size < 0 || (expectedSize >= 0 && size != expectedSize)) {
        ui::MessageBox(kMsgDiskRead);
        return 0;
    }
    const PacketPlan plan = PlanPackets(size, use1K);

    uint8_t checkMode = kNAK;
    if (!WaitForStartup(checkMode)) {
        ui::MessageBox(kMsgStartTimeout);
        return 0;
    }
    if (g_pMainDlg)
        g_pMainDlg->m_ctlProgress.SetStep(5);
    platform::Pause(250);
    WriteStream stream;

    std::array<uint8_t, kBlock1K> data{};
    int barSteps = 0;
    // Packet i's number, percentage and bar go on show while its bytes are
    // on the line, not between the last reply and its first byte: the line
    // then never waits for the window.
    auto showProgress = [&](int64_t i) {
        if (!g_pMainDlg)
            return;
        g_pMainDlg->m_strPacket = PacketText(i);
        const ProgressUpdate progress = ProgressAt(i, plan.total);
        if (progress.show) {
            g_pMainDlg->m_strPercent = PercentText(progress.percent);
            for (; barSteps < progress.barSteps; ++barSteps)
                g_pMainDlg->m_ctlProgress.StepIt();
        }
        Push();
    };
    int64_t offset = 0; // bytes read so far
    for (int64_t i = 1; i <= plan.total; ++i) {
        const int packetSize = plan.SizeOf(i);
        const size_t got = std::fread(data.data(), 1, static_cast<size_t>(packetSize), file);
        // Only the last packet may be short, and only by what the measured
        // size leaves it; a file ending sooner shrank while being sent, and
        // padding its packet would deliver a different image.
        const int64_t due = std::min<int64_t>(packetSize, size - offset);
        if (got == 0 || static_cast<int64_t>(got) < due) {
            showProgress(i); // the packet that could not be read is on show
            ui::MessageBox(kMsgDiskRead);
            return 0;
        }
        offset += static_cast<int64_t>(got);
        std::fill(data.begin() + static_cast<std::ptrdiff_t>(got), data.begin() + packetSize, kPad);

        if (!SendPacket(static_cast<int>(i & 0xFF), packetSize, data.data(), checkMode, [&] { showProgress(i); }))
            return 0;
    }

    if (!SendEot()) {
        ui::MessageBox(kMsgEotTimeout);
        return 0;
    }
    return 1;
}
