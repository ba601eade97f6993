// The trace's text: every kind of event reads back as written, packets
// show as header, data and check, a whole upgrade stays small, and lines
// that are not events are refused with their number.
#include <gtest/gtest.h>

#include <numeric>

#include "trace/TraceFormat.h"

namespace {

using trace::Event;
using trace::EventKind;

std::string Format(const std::vector<Event>& events)
{
    trace::Formatter f;
    std::string out;
    for (const Event& e : events)
        f.Append(e, out);
    return out;
}

Event Bytes(EventKind kind, int64_t us, std::string bytes)
{
    Event e;
    e.kind = kind;
    e.us = us;
    e.bytes = std::move(bytes);
    return e;
}

// A CRC packet as the sender puts it on the wire.
std::string Packet(uint8_t number, char fill)
{
    std::string p = {'\x02', static_cast<char>(number), static_cast<char>(255 - number)};
    p += std::string(1024, fill);
    return p + "\x12\x34";
}

TEST(TraceFormat, EveryEventReadsBackAsWritten)
{
    std::vector<Event> in(15);
    in[0].kind = EventKind::Open, in[0].port = "COM4", in[0].text = "/dev/pts/3";
    in[1].kind = EventKind::Open, in[1].port = "COM1", in[1].text = "C:\\\"odd\" path", in[1].code = 2,
    in[1].errorText = "No such file";
    in[2] = Bytes(EventKind::Wrote, 1500000, "ATE0\r\n");
    in[3] = Bytes(EventKind::Read, 1900001, std::string("\0\xFF|x y|", 7));
    in[4].kind = EventKind::Lines, in[4].on1 = false, in[4].on2 = true;
    in[5].kind = EventKind::LineSettings, in[5].text = "115200 8N1 cts-flow dtr rts";
    in[6].kind = EventKind::PortError, in[6].text = "read", in[6].code = 5, in[6].errorText = "Input/output error";
    in[7].kind = EventKind::ShortWrite, in[7].asked = 5, in[7].put = 2;
    in[8].kind = EventKind::Status, in[8].text = "Waiting for Startup Packet... [59 sec]";
    in[9].kind = EventKind::Box, in[9].on1 = true, in[9].text = "Do you\twant \xE9?\n\nOK";
    in[10].kind = EventKind::Close, in[10].code = 9, in[10].errorText = "Bad file descriptor";
    in[10].us = 123456789012;
    in[11].kind = EventKind::Latency, in[11].text = "low-latency off, latency timer 16 ms",
    in[11].inForce = "low-latency on, latency timer 1 ms";
    in[12].kind = EventKind::Stream;
    in[13].kind = EventKind::Stream, in[13].on1 = true;
    in[14].kind = EventKind::Stream, in[14].on1 = true, in[14].overlapped = true;

    std::vector<Event> out;
    std::string error;
    std::string text = Format(in);
    ASSERT_TRUE(trace::ParseTrace(text, out, error)) << error << "\n" << text;
    ASSERT_EQ(out.size(), in.size()) << text;
    for (size_t i = 0; i < in.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(out[i].kind, in[i].kind);
        EXPECT_EQ(out[i].us, in[i].us);
        EXPECT_EQ(out[i].port, in[i].port);
        EXPECT_EQ(out[i].text, in[i].text);
        EXPECT_EQ(out[i].bytes, in[i].bytes);
        EXPECT_EQ(out[i].code, in[i].code);
        EXPECT_EQ(out[i].errorText, in[i].errorText);
        EXPECT_EQ(out[i].on1, in[i].on1);
        EXPECT_EQ(out[i].on2, in[i].on2);
        EXPECT_EQ(out[i].asked, in[i].asked);
        EXPECT_EQ(out[i].put, in[i].put);
        EXPECT_EQ(out[i].inForce, in[i].inForce);
        EXPECT_EQ(out[i].overlapped, in[i].overlapped);
    }
    for (char c : text) // plain ASCII whatever the texts held
        EXPECT_TRUE(c == '\n' || (c >= 0x20 && c < 0x7F)) << int(c);
}

TEST(TraceFormat, PacketsShowHeaderDataAndCheckAndResendsAreNamed)
{
    Event first = Bytes(EventKind::Wrote, 0, Packet(1, 'a'));
    Event again = Bytes(EventKind::Wrote, 10, Packet(1, 'a'));
    Event second = Bytes(EventKind::Wrote, 20, Packet(2, 'b'));
    std::string text = Format({first, Bytes(EventKind::Read, 5, "\x15"), again, second});

    EXPECT_NE(text.find("0.000000 > 02 01 FE |...| ; packet 1, STX\n"), std::string::npos) << text;
    EXPECT_NE(text.find("0.000005 < 15 |.| ; NAK\n"), std::string::npos);
    EXPECT_NE(text.find("> 02 01 FE |...| ; packet 1 again, STX\n"), std::string::npos);
    EXPECT_NE(text.find("> 02 02 FD |...| ; packet 2, STX\n"), std::string::npos);
    EXPECT_NE(text.find("> 12 34 |.4| ; check, CRC-16\n"), std::string::npos);
    // Header, 16 lines of 64 data bytes, check: 18 lines a packet, one NAK.
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3 * 18 + 1);

    std::vector<Event> out;
    std::string error;
    ASSERT_TRUE(trace::ParseTrace(text, out, error)) << error;
    std::string wrote;
    for (const Event& e : out)
        if (e.kind == EventKind::Wrote)
            wrote += e.bytes;
    EXPECT_EQ(wrote, first.bytes + again.bytes + second.bytes);
}

TEST(TraceFormat, AWholeUpgradeStaysUnderTwoMegabytes)
{
    // 512 CRC packets of random-looking data, each answered, times of
    // nine digits (a slow upgrade), then EOT and its ACK.
    std::string text;
    trace::Formatter f;
    uint32_t seed = 1;
    for (int n = 1; n <= 512; ++n) {
        Event p = Bytes(EventKind::Wrote, 100000000 + n * 90000, Packet(static_cast<uint8_t>(n), 0));
        for (size_t i = 3; i < 1027; ++i)
            p.bytes[i] = static_cast<char>((seed = seed * 1103515245 + 12345) >> 16);
        f.Append(p, text);
        f.Append(Bytes(EventKind::Read, p.us + 89000, "\x06"), text);
    }
    f.Append(Bytes(EventKind::Wrote, 999000000, "\x04"), text);
    f.Append(Bytes(EventKind::Read, 999000100, "\x06"), text);
    EXPECT_LT(text.size(), 2u * 1024 * 1024);
}

TEST(TraceFormat, LinesThatAreNotEventsAreRefusedWithTheirNumber)
{
    const char* bad[] = {
        "1.5 > 41 |A|", // time without six decimals
        "1.000000 > 4 |A|", // half a byte
        "1.000000 > 41 |AB|", // printable column of the wrong length
        "1.000000 > 4G |A|", // not hex
        "1.000000 > |x|", // no bytes
        "1.000000 status \"open", // quote never closed
        "1.000000 status \"bad \\q\"", // unknown escape
        "1.000000 open COM1 \"p\" error 0 \"x\"", // an error that is success
        "1.000000 lines cts=maybe dcd=on",
        "1.000000 box yes \"x\"",
        "1.000000 stream end", // a stream's end names its path
        "1.000000 stream end sideways",
        "1.000000 stream begin waited",
        "1.000000 launch rockets",
        "-1.000000 close ok",
    };
    for (const char* line : bad) {
        std::vector<Event> out;
        std::string error;
        std::string text = std::string("# header\n0.000001 close ok\n") + line + "\n";
        EXPECT_FALSE(trace::ParseTrace(text, out, error)) << line;
        EXPECT_EQ(error.rfind("line 3 ", 0), 0u) << line << ": " << error;
        EXPECT_EQ(out.size(), 1u) << line;
    }
}

} // namespace
