// The block transfer that carries a firmware image to the modem's download
// loader over g_ComPort: the loader's start character picks checksum or
// CRC-16 mode, numbered 1024- or 128-byte packets each get ACK, NAK or CAN,
// and EOT ends it. Progress and status go to g_pMainDlg's members.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>

#include "upgrade/Crc16.h"
#include "upgrade/Packet.h"

// Poll budgets and limits. Every empty poll is followed by a 1 ms pause.
constexpr int kStartPeriods = 59; // start wait: periods, one "second" each
constexpr int kStartPollsPerPeriod = 199;
constexpr int kPacketReplyPolls = 1999;
constexpr int kEotReplyPolls = 799;
constexpr int kMaxSends = 5; // a packet goes at most this often
constexpr int kMaxEots = 10;

// Failure messages, as the user sees them.
extern const char* const kMsgStartTimeout; // no start character
extern const char* const kMsgDiskRead; // the image could not be read
extern const char* const kMsgPacketTimeout;
extern const char* const kMsgErrorLimit; // NAK to the fifth sending
extern const char* const kMsgCanceled; // CAN from the receiver
extern const char* const kMsgUnknownReply;
extern const char* const kMsgEotTimeout;

// Sends the whole open file, rewinding it first; the caller keeps and
// closes it. Returns 1 when every packet and the EOT were acknowledged, 0
// otherwise (its message already shown; the file position is then wherever
// reading stopped). Never discards input waiting on the port.
// With `expectedSize` set (not negative), a file that no longer measures
// that many bytes is a disk read error before anything is sent. A file
// that ends before its measured size is one too: only a last packet the
// measured size leaves short is padded.
int SendFirmware(FILE* file, bool use1K, int64_t expectedSize = -1);

// Waits up to 59 periods of 199 polls for NAK, 'C' or 0xFF, dropping any
// other byte (each ends its period). Returns 1 and the byte in `checkMode`,
// or 0 with `checkMode` untouched. Shows the countdown in the status line.
int WaitForStartup(uint8_t& checkMode);

// Sends one packet and waits for its reply, resending on NAK up to 5 sends
// in all. Returns 1 on ACK; 0 after showing why (time-out, error limit,
// CAN, other byte). Only the low 8 bits of `packetNumber` go on the wire.
// `onFirstSent` runs once, when the first sending's bytes are written and
// before the reply is awaited (while they cross the line).
int SendPacket(
    int packetNumber, int size, const uint8_t* data, uint8_t checkMode, const std::function<void()>& onFirstSent = {});

// Sends EOT up to 10 times, each followed by up to 799 polls for ACK.
// Returns 1 on ACK, 0 after the tenth (shows nothing: the caller does).
int SendEot();
