// Settings of one simulated modem, as given on the command line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

// Start characters the download loader can send.
inline constexpr std::uint8_t kStartCrc = 'C'; // CRC-16 packets
inline constexpr std::uint8_t kStartNak = 0x15; // additive checksum packets
inline constexpr std::uint8_t kStartFf = 0xFF; // CRC-16 packets, older loaders

// Where --hangup-at closes the line.
enum class HangupStage { None, Discovery, Start, Packet, Eot };

struct Options {
    // The port.
    std::string link_path; // symlink to the pty slave, "" = none
    std::string log_path; // raw log of bytes received in command mode
    long line_rate = 0; // baud of the paced line, 0 = unpaced
    int reply_latency_ms = 0; // a USB adapter's latency timer on replies, 0 = none

    // Command mode.
    int country = 22;
    std::string ati3 = "V2.301-V90_2M_DLP";
    std::string ati119 = "DRAVIK 56K RevC";
    std::optional<std::string> ati5_reply; // replaces the country in the ATI5 reply
    bool silent = false; // never answer anything
    bool no_ok = false; // leave out the final OK
    std::optional<std::string> restore_reply; // raw reply to AT*NC<n>&F
    bool restore_no_ok = false; // AT*NC<n>&F answers nothing

    // Download loader.
    std::string image_out; // where the received image goes at EOT
    std::uint8_t start_char = kStartCrc;
    bool start_repeat = false; // resend the start character on a quiet line
    int start_delay_ms = 80;
    bool loader_silent = false;
    int stray_before_start = 0;
    int stray_interval_ms = 250; // 0 = all stray bytes at once
    int nak_packet = 0; // 1-based; 0 = off (likewise below)
    int nak_count = 1;
    int can_packet = 0;
    int garbage_packet = 0;
    int silent_packet = 0;
    bool no_eot_ack = false;
    double noise = 0.0; // chance of one flipped bit per byte
    bool noise_both = false; // noise on the loader's replies too
    std::uint64_t seed = 1;
    bool timing = false; // time-stamped events for every packet header and reply

    // Hanging up.
    HangupStage hangup_stage = HangupStage::None;
    int hangup_packet = 0; // for HangupStage::Packet
    std::uint64_t hangup_after_bytes = 0; // 0 = never

    // Replay: the modem of a recorded trace instead of the simulated one.
    std::string replay_path;

    // Outside receiver.
    std::string loader_cmd; // run via /bin/sh -c instead of the built-in loader
    std::string loader_dir; // its working directory
};

struct ParsedArgs {
    Options options;
    bool help = false; // --help was given
    std::string error; // non-empty when the command line was rejected
};

// Parses the arguments after the program name. On bad input `error` says
// why and `options` holds whatever was parsed before the fault.
ParsedArgs parse_args(const std::vector<std::string>& args);

// The --help text, one entry for every flag.
std::string usage_text();

// Turns C-style escapes (\r \n \t \\ \xHH) into bytes. Returns nullopt on a
// malformed escape.
std::optional<std::string> unescape(std::string_view text);

} // namespace sim
