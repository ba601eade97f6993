// The pure pieces of the block transfer: control characters, how a file is
// cut into packets, how a packet looks on the wire, and how far along the
// progress display is. Nothing here touches the port or the window.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Control characters exchanged with the download loader.
constexpr uint8_t kSOH = 0x01; // header of a 128-byte packet
constexpr uint8_t kSTX = 0x02; // header of a 1024-byte packet
constexpr uint8_t kEOT = 0x04; // end of transmission
constexpr uint8_t kACK = 0x06; // packet or EOT accepted
constexpr uint8_t kNAK = 0x15; // checksum-mode start; packet refused
constexpr uint8_t kCAN = 0x18; // transfer cancelled by the receiver
constexpr uint8_t kStartC = 0x43; // 'C': CRC-mode start
constexpr uint8_t kStartFF = 0xFF; // also a CRC-mode start
constexpr uint8_t kPad = 0x1A; // fills a short last packet

constexpr int kBlock1K = 1024;
constexpr int kBlock128 = 128;

// True for the start characters the loader may open a transfer with.
bool IsStartChar(uint8_t byte);

// How a file of a given size travels: K full 1024-byte packets first (1K
// mode only), then 128-byte packets; `total` is N = K + M.
struct PacketPlan {
    int64_t fullPackets = 0; // K
    int64_t total = 0; // N
    // Data size of packet i (1-based): 1024 up to K, then 128.
    int SizeOf(int64_t i) const { return i <= fullPackets ? kBlock1K : kBlock128; }
};

// Works out the packet plan for `fileSize` bytes (negative counts as 0).
// Returns the plan; has no side effects.
PacketPlan PlanPackets(int64_t fileSize, bool use1K);

// Lays out one packet as it goes on the wire: header (STX for 1024 bytes,
// SOH otherwise), number mod 256, its complement, the data, then one
// checksum byte when `checkMode` is NAK or the CRC high byte then low byte
// otherwise. Returns the bytes; reads exactly `size` bytes of `data`.
std::vector<uint8_t> FramePacket(int packetNumber, int size, const uint8_t* data, uint8_t checkMode);

// What the progress display does when packet i of n is about to go.
struct ProgressUpdate {
    bool show = false; // the percentage text changes
    int percent = 0; // the value to show (never above 100)
    int barSteps = 0; // steps of 5 the bar should have taken by now (0..20)
};

// The percentage rule: with D = N / 19 (at least 1), packet 1 and every
// multiple of D show ((i / D) + 1) * 100 / 20 percent, capped at 100. The
// bar follows the figure in steps of 5, so for 512 packets it steps once
// per update and never wraps. Returns the update for packet i.
ProgressUpdate ProgressAt(int64_t i, int64_t n);

// The window texts the transfer shows.
extern const char* const kStatusWaiting; // "Waiting for Startup Packet..."
extern const char* const kStatusUpgrading; // "Flash Upgrading... (WARNING: ...)"
// "Waiting for Startup Packet... [n sec]"
std::string WaitingCountText(int secondsLeft);
// "P#i"
std::string PacketText(int64_t packetNumber);
// "(p%)"
std::string PercentText(int percent);
