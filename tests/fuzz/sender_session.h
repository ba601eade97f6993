// The block transfer sender run against a download loader whose every
// answer comes from a byte script (a fuzz input). The loader sits behind
// g_ComPort on an in-memory line, takes the sender's writes apart into
// packet frames and EOTs, and records what the sender read and how often
// it polled after each; CheckSession (sender_checks.h) judges the record.
//
// Script layout:
//   byte 0      bit 0: 1K mode; bit 1: run with a main dialog (progress
//               output); bit 2: the caller expects one byte more than the
//               file holds (it changed after the caller checked it)
//   bytes 1-2   the image's size field, high byte first: a short image
//               of up to 40 packets, or for one value, in a small share
//               of runs, the full 512 KiB image (see sender_image.h)
//   the rest    answers. An answer is a header byte h followed by (h & 15)
//               bytes for the sender; they arrive after
//               kAnswerDelays[h >> 4] silent polls (kNeverArrives: lost on
//               the line). With (h & 15) == 15 another header follows for
//               the same answer. The loader answers at the start, once
//               after every complete frame and every EOT, and before the
//               first frame also at every poll that finds the line empty
//               with nothing on its way (a receiver repeating its start:
//               such an answer arrives at the next poll, unless lost).
//               When the script is used up and nothing is on its way, the
//               loader gives up: it sends CAN whenever the line is empty.
//               So a run spends silent polls only where the script asks
//               for them (a late or empty answer), never merely because
//               the input ended.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

// Defined beside the instant pause (no_pause.cpp): a program that calls it
// does not link without that pause in place of the real one.
bool InstantPauseLinked();

namespace fuzz {

constexpr uint32_t kNeverArrives = 0xFFFFFFFFu;
// Silent polls before an answer shows up: the edges of every poll budget
// (start period 199, EOT 799, packet 1999, whole start wait 11741) and a few
// in between.
constexpr std::array<uint32_t, 16> kAnswerDelays = {
    0, 1, 2, 40, 197, 198, 199, 797, 798, 799, 1997, 1998, 1999, 11740, 11741, kNeverArrives};

// One thing the sender wrote: a packet frame or an EOT, and what followed.
struct Unit {
    bool eot = false;
    std::vector<uint8_t> frame; // the frame as written (empty for an EOT)
    std::vector<uint8_t> reads; // bytes the sender read after it, before its next write
    uint64_t polls = 0; // status polls after it, before the next write or the end
};

// Everything seen in one run.
struct Session {
    bool use1K = false;
    bool withDialog = false;
    bool sizeChanged = false;
    std::span<const uint8_t> image; // the file's contents
    std::vector<uint8_t> startReads; // bytes read before the first write
    uint64_t startPolls = 0; // polls before the first write
    std::vector<Unit> units; // in the order written
    std::vector<uint8_t> strayWrites; // bytes written outside any frame
    size_t partialFrame = 0; // bytes of a frame left unfinished
    uint64_t totalPolls = 0;
    int result = -1; // what SendFirmware returned
    std::vector<std::string> messages;
    int progressSteps = 0, progressPos = 0; // the bar at the end (with a dialog)
    std::string setupError; // non-empty: the run could not be set up
};

// Decodes `script` and runs SendFirmware on the image it picks against the
// scripted loader. Returns the record; on a setup failure (no in-memory
// file, port not opened) only setupError is meaningful. Puts back the serial opener, the message presenter and
// g_pMainDlg, and leaves g_ComPort closed.
Session RunSender(const uint8_t* script, size_t size);

// A readable account of a session, for a failing fuzz input.
std::string Describe(const Session& s);

} // namespace fuzz
