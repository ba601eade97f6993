#include "tests/fuzz/sender_checks.h"

#include <array>
#include <cstdarg>
#include <cstdio>

#include "upgrade/Packet.h"
#include "upgrade/Transfer.h"

namespace fuzz {
namespace {

constexpr uint64_t kStartPolls = uint64_t{kStartPeriods} * kStartPollsPerPeriod;

class Problems {
public:
    __attribute__((format(printf, 2, 3))) void Add(const char* format, ...)
    {
        char text[240];
        va_list args;
        va_start(args, format);
        std::vsnprintf(text, sizeof text, format, args);
        va_end(args);
        list.emplace_back(text);
    }
    std::vector<std::string> list;
};

// Where packet i's data starts in the image, and how long the packet is.
struct Slice {
    size_t offset = 0;
    size_t size = 0;
};

// The packets an image travels in: whole 1024-byte pieces first (1K mode),
// the rest in 128-byte pieces, the last one short if need be.
std::vector<Slice> Slices(size_t imageSize, bool use1K)
{
    std::vector<Slice> out;
    size_t offset = 0;
    if (use1K)
        for (; imageSize - offset >= 1024; offset += 1024)
            out.push_back({offset, 1024});
    for (; offset < imageSize; offset += 128)
        out.push_back({offset, 128});
    return out;
}

// CRC-16 with polynomial 0x1021, initial value 0: the bit-by-bit rule,
// applied once per byte value into a table of our own.
uint16_t Crc16Bitwise(const uint8_t* data, size_t size)
{
    static const std::array<uint16_t, 256> table = [] {
        std::array<uint16_t, 256> t{};
        for (unsigned byte = 0; byte < 256; ++byte) {
            uint16_t crc = static_cast<uint16_t>(byte << 8);
            for (int bit = 0; bit < 8; ++bit)
                crc = static_cast<uint16_t>(crc & 0x8000 ? (crc << 1) ^ 0x1021 : crc << 1);
            t[byte] = crc;
        }
        return t;
    }();
    uint16_t crc = 0;
    for (size_t k = 0; k < size; ++k)
        crc = static_cast<uint16_t>((crc << 8) ^ table[(crc >> 8) ^ data[k]]);
    return crc;
}

// The frame packet `number` (1-based) of the image must look like.
std::vector<uint8_t> ExpectedFrame(const Session& s, const Slice& slice, size_t number, bool crcMode)
{
    const uint8_t n = static_cast<uint8_t>(number & 0xFF);
    std::vector<uint8_t> frame = {slice.size == 1024 ? kSTX : kSOH, n, static_cast<uint8_t>(255 - n)};
    frame.reserve(3 + slice.size + 2);
    for (size_t k = 0; k < slice.size; ++k)
        frame.push_back(slice.offset + k < s.image.size() ? s.image[slice.offset + k] : kPad);
    if (crcMode) {
        const uint16_t crc = Crc16Bitwise(frame.data() + 3, slice.size);
        frame.push_back(static_cast<uint8_t>(crc >> 8));
        frame.push_back(static_cast<uint8_t>(crc & 0xFF));
    } else {
        uint8_t sum = 0;
        for (size_t k = 0; k < slice.size; ++k)
            sum = static_cast<uint8_t>(sum + frame[3 + k]);
        frame.push_back(sum);
    }
    return frame;
}

// Names the first difference between a frame and the one expected.
void CompareFrame(Problems& p, size_t unit, const std::vector<uint8_t>& got, const std::vector<uint8_t>& want)
{
    if (got == want)
        return;
    if (got.size() != want.size()) {
        p.Add("#%zu: frame of %zu bytes, expected %zu", unit, got.size(), want.size());
        return;
    }
    size_t k = 0;
    while (got[k] == want[k])
        ++k;
    const size_t dataEnd = 3 + (want[0] == kSTX ? 1024u : 128u);
    const char* part = k == 0 ? "header" : k == 1 ? "number" : k == 2 ? "complement" : k < dataEnd ? "data" : "check";
    p.Add("#%zu: %s byte %zu is %02X, expected %02X", unit, part, k, got[k], want[k]);
}

bool IsStart(uint8_t byte)
{
    return byte == kNAK || byte == kStartC || byte == kStartFF;
}

} // namespace

std::vector<std::string> CheckSession(const Session& s)
{
    Problems p;
    if (!s.setupError.empty()) {
        p.Add("setup: %s", s.setupError.c_str());
        return p.list;
    }
    if (s.sizeChanged) {
        // Not the file the caller checked: nothing may go out or be read.
        if (s.result != 0 || s.messages != std::vector<std::string>{kMsgDiskRead})
            p.Add("a changed file gave result %d and %zu messages", s.result, s.messages.size());
        if (s.totalPolls != 0 || !s.units.empty() || !s.strayWrites.empty() || s.partialFrame)
            p.Add("a changed file was sent or waited for");
        return p.list;
    }
    const std::vector<Slice> slices = Slices(s.image.size(), s.use1K);

    // The start wait: stray bytes dropped, one per period, then the start.
    if (s.startReads.size() > static_cast<size_t>(kStartPeriods))
        p.Add("start wait read %zu bytes", s.startReads.size());
    if (s.startPolls > kStartPolls)
        p.Add("start wait polled %llu times", static_cast<unsigned long long>(s.startPolls));
    const size_t dropped = s.units.empty() ? s.startReads.size() : s.startReads.size() - 1;
    for (size_t k = 0; k < dropped && k < s.startReads.size(); ++k)
        if (IsStart(s.startReads[k]))
            p.Add("start character %02X (read %zu) was passed over", s.startReads[k], k);
    if (!s.units.empty() && (s.startReads.empty() || !IsStart(s.startReads.back())))
        p.Add("wrote before reading a start character");
    const bool crcMode = !s.startReads.empty() && s.startReads.back() != kNAK;
    if (!s.strayWrites.empty())
        p.Add("%zu bytes written outside any frame", s.strayWrites.size());
    if (s.partialFrame)
        p.Add("a frame left unfinished after %zu bytes", s.partialFrame);

    std::string expectedMessage; // how the run must end when it fails
    bool expectSuccess = false;
    if (s.units.empty()) {
        expectedMessage = kMsgStartTimeout;
        if (s.startReads.empty() && s.startPolls != kStartPolls)
            p.Add("gave up on the start after %llu polls", static_cast<unsigned long long>(s.startPolls));
    }

    size_t next = 0; // index of the packet due
    int sends = 0, eots = 0;
    for (size_t k = 0; k < s.units.size(); ++k) {
        const Unit& u = s.units[k];
        const bool last = k + 1 == s.units.size();
        if (u.reads.size() > 1)
            p.Add("#%zu: read %zu bytes as one reply", k, u.reads.size());
        const bool silent = u.reads.empty();
        const uint8_t reply = silent ? 0 : u.reads[0];

        if (u.eot) {
            ++eots;
            if (next != slices.size())
                p.Add("#%zu: EOT after %zu of %zu packets", k, next, slices.size());
            if (eots > kMaxEots)
                p.Add("#%zu: EOT number %d", k, eots);
            if (u.polls > static_cast<uint64_t>(kEotReplyPolls) ||
                (silent && u.polls != static_cast<uint64_t>(kEotReplyPolls)))
                p.Add("#%zu: EOT reply awaited for %llu polls", k, static_cast<unsigned long long>(u.polls));
            if (!silent && reply == kACK) {
                if (!last)
                    p.Add("#%zu: went on after the EOT was acknowledged", k);
                expectSuccess = last;
            } else if (last) {
                if (eots != kMaxEots)
                    p.Add("#%zu: stopped after %d unacknowledged EOTs", k, eots);
                expectedMessage = kMsgEotTimeout;
            } else if (!s.units[k + 1].eot) {
                p.Add("#%zu: a frame after an EOT", k + 1);
            }
            continue;
        }

        if (next >= slices.size()) {
            p.Add("#%zu: a frame after the last packet", k);
            break;
        }
        ++sends;
        if (sends > kMaxSends)
            p.Add("#%zu: packet %zu sent %d times", k, next + 1, sends);
        if (sends > 1)
            CompareFrame(p, k, u.frame, s.units[k - 1].frame);
        else
            CompareFrame(p, k, u.frame, ExpectedFrame(s, slices[next], next + 1, crcMode));
        if (u.polls > static_cast<uint64_t>(kPacketReplyPolls) ||
            (silent && u.polls != static_cast<uint64_t>(kPacketReplyPolls)))
            p.Add("#%zu: packet reply awaited for %llu polls", k, static_cast<unsigned long long>(u.polls));

        // What the reply calls for: a failure ends the run here.
        const char* ending = nullptr;
        if (silent)
            ending = kMsgPacketTimeout;
        else if (reply == kCAN)
            ending = kMsgCanceled;
        else if (reply == kNAK && sends >= kMaxSends)
            ending = kMsgErrorLimit;
        else if (reply != kACK && reply != kNAK)
            ending = kMsgUnknownReply;
        if (ending) {
            if (!last)
                p.Add("#%zu: went on after a reply that ends the transfer", k);
            expectedMessage = ending;
        } else if (last) {
            p.Add("#%zu: stopped after %s", k, reply == kACK ? "an ACK" : "a NAK it may still resend on");
        }
        if (!silent && reply == kACK) {
            ++next;
            sends = 0;
        }
    }

    if (expectSuccess) {
        if (s.result != 1)
            p.Add("returned %d after the EOT was acknowledged", s.result);
        if (!s.messages.empty())
            p.Add("showed %zu messages on success", s.messages.size());
    } else {
        if (s.result != 0)
            p.Add("returned %d though the transfer did not finish", s.result);
        if (s.messages.size() != 1)
            p.Add("showed %zu messages on failure", s.messages.size());
        else if (!expectedMessage.empty() && s.messages[0] != expectedMessage)
            p.Add("showed \"%s\", expected \"%s\"", s.messages[0].c_str(), expectedMessage.c_str());
    }

    const uint64_t pollBound =
        kStartPolls + slices.size() * kMaxSends * uint64_t{kPacketReplyPolls} + uint64_t{kMaxEots} * kEotReplyPolls;
    if (s.totalPolls > pollBound)
        p.Add("polled %llu times, more than %llu", static_cast<unsigned long long>(s.totalPolls),
            static_cast<unsigned long long>(pollBound));

    const int maxSteps = s.withDialog ? 20 : 0;
    if (s.progressSteps > maxSteps || s.progressPos != 5 * s.progressSteps)
        p.Add("progress bar stepped %d times to %d", s.progressSteps, s.progressPos);
    return p.list;
}

} // namespace fuzz
