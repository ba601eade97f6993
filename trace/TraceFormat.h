// The trace file's text: one event a line, readable in a text viewer and
// parsable back. A line is "SECONDS.MICROS TAG REST":
//
//   0.512034 open COM4 "/dev/ttyUSB0" ok
//   0.512100 open COM5 "/dev/ttyUSB1" error 13 "Permission denied"
//   0.512101 latency "low-latency off" "low-latency on"   found, in force
//   0.513002 > 41544530 0D0A |ATE0..|           bytes the program wrote
//   0.913310 < 0D0A4F4B 0D0A |..OK..|           bytes the program read
//   3.004512 > 02 01 FE |...| ; packet 1 STX    a packet: header, data, check
//   3.004530 > 1F8B0800 ... |....|
//   3.093301 > 5A7C |Z|| ; check CRC-16
//   4.000001 lines cts=on dcd=off               the modem-status lines changed
//   4.000002 line "115200 8N1 cts-flow dtr rts" the line settings applied
//   4.000003 error read 5 "Input/output error"
//   4.000004 short-write 5 2                    asked, written: the write timed out
//   4.000005 close ok
//   3.004000 stream begin                       a write stream (the transfer)
//   9.000000 stream end overlapped              ended; its writes' path:
//                                               "waited" or "overlapped"
//   4.000006 status "Flash Upgrading..."        the status line as pushed
//   4.000007 box ok "Packet Timeout!\n\n..."    a message box, then its answer
//   9.100000 answer ok
//
// Lines starting with '#' are the header. Hex is in groups of up to 8 bytes;
// the column between bars holds one character a byte ('.' if unprintable);
// anything after " ; " is a remark for the reader. Texts are quoted, with
// \\ \" \n \r \t and \xHH escapes, so the file is plain ASCII.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace trace {

enum class EventKind {
    Open,
    Close,
    Wrote,
    Read,
    PortError,
    ShortWrite,
    Lines,
    LineSettings,
    Status,
    Box,
    Answer,
    Latency,
    Stream
};

struct Event {
    int64_t us = 0; // since the trace began, on the steady clock
    EventKind kind = EventKind::Wrote;
    std::string port; // Open: the COM name
    std::string text; // Open: device path; PortError: operation; Status, Box, LineSettings: text;
                      // Latency: the setting found at open
    std::string inForce; // Latency: the setting in force
    std::string bytes; // Wrote, Read
    std::vector<int64_t> byteUs; // Wrote, Read: when each byte went (empty: all at `us`)
    int code = 0; // Open, Close, PortError: the error code, 0 for success
    std::string errorText; // the system's text for `code`
    bool on1 = false; // Lines: CTS; Box: OK and Cancel; Answer: OK; Stream: ended
    bool overlapped = false; // Stream, ended: its writes overlapped
    bool on2 = false; // Lines: carrier detect
    size_t asked = 0, put = 0; // ShortWrite
    int lineNumber = 0; // set by ParseTrace
};

// What the header records.
struct Header {
    std::string program; // "Quilvex 1.0a"
    std::string system; // operating system and machine
    std::string date; // when the trace began, UTC
    std::vector<std::string> com; // "COM1 /dev/ttyS0", one a port that stands for something
};

// The header's lines, each starting with '#'. Never fails.
std::string FormatHeader(const Header& h);

// Turns events into lines. Keeps what it needs across calls (the packet
// count), so a trace may be formatted in pieces.
class Formatter {
public:
    // Appends the lines of `e` to `out`. Never fails.
    void Append(const Event& e, std::string& out);

private:
    void AppendWrite(const Event& e, std::string& out);
    int m_lastNumber = -1; // number byte of the last packet seen
    long m_packets = 0; // packets counted so far, resends not
};

// A whole trace read back. Returns false with `error` naming the line and
// what is wrong with it; `out` then holds the events before it.
bool ParseTrace(std::string_view text, std::vector<Event>& out, std::string& error);

// A text in quotes with escapes, and back (false on a malformed quote).
std::string Quote(std::string_view text);
bool Unquote(std::string_view quoted, std::string& out);

} // namespace trace
