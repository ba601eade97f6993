// A download loader in memory: sits on a FakeLine, takes the program's
// bytes apart into packets and EOTs, and answers each as scripted (ACK
// unless told otherwise). Answers are queued at once, so the program finds
// them at its first poll.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/fake_serial.h"
#include "upgrade/Crc16.h"
#include "upgrade/Packet.h"

struct ReceivedPacket {
    uint8_t header = 0, number = 0, complement = 0;
    std::vector<uint8_t> data;
    std::vector<uint8_t> check; // one byte (checksum) or two (CRC, high first)
    bool checkOk = false;
    std::optional<uint8_t> reply;
};

class ScriptedReceiver {
public:
    // `checkMode` is the start character the receiver will have sent
    // (NAK: checksum; anything else: CRC).
    ScriptedReceiver(FakeLine& line, uint8_t checkMode) : m_line(line), m_mode(checkMode)
    {
        line.onWrite = [this](FakeLine& l) { Take(l.written.back()); };
    }

    // Answer to the n-th packet frame received (0-based); none: stay silent.
    std::function<std::optional<uint8_t>(const ReceivedPacket&, size_t n)> packetReply =
        [](const ReceivedPacket&, size_t) { return std::optional<uint8_t>(kACK); };
    // Answer to the n-th EOT (0-based).
    std::function<std::optional<uint8_t>(int n)> eotReply = [](int) { return std::optional<uint8_t>(kACK); };

    std::vector<ReceivedPacket> packets; // every frame, resends included
    int eots = 0;
    std::vector<uint8_t> stray; // bytes outside any frame
    // Runs for every line of stray bytes ended by LF (CR and LF dropped),
    // such as the AT commands around the transfer.
    std::function<void(const std::string& command)> onCommand;

    // The data of the acknowledged packets, in order.
    std::vector<uint8_t> Image() const
    {
        std::vector<uint8_t> out;
        for (const ReceivedPacket& p : packets)
            if (p.reply == kACK)
                out.insert(out.end(), p.data.begin(), p.data.end());
        return out;
    }

private:
    void Take(uint8_t byte)
    {
        if (m_frame.empty()) {
            if (byte == kEOT) {
                std::optional<uint8_t> r = eotReply(eots++);
                if (r)
                    m_line.toProgram.push_back(*r);
                return;
            }
            if (byte != kSOH && byte != kSTX) {
                stray.push_back(byte);
                if (byte == '\n') {
                    if (onCommand)
                        onCommand(m_command);
                    m_command.clear();
                } else if (byte != '\r') {
                    m_command += static_cast<char>(byte);
                }
                return;
            }
        }
        m_frame.push_back(byte);
        const size_t size = m_frame[0] == kSTX ? 1024 : 128;
        const size_t checkLen = m_mode == kNAK ? 1 : 2;
        if (m_frame.size() < 3 + size + checkLen)
            return;

        ReceivedPacket p;
        p.header = m_frame[0];
        p.number = m_frame[1];
        p.complement = m_frame[2];
        p.data.assign(m_frame.begin() + 3, m_frame.begin() + 3 + static_cast<long>(size));
        p.check.assign(m_frame.begin() + 3 + static_cast<long>(size), m_frame.end());
        if (m_mode == kNAK) {
            uint8_t sum = 0;
            for (uint8_t b : p.data)
                sum = static_cast<uint8_t>(sum + b);
            p.checkOk = p.check[0] == sum;
        } else {
            uint16_t crc = Crc16(p.data.data(), p.data.size());
            p.checkOk = p.check[0] == (crc >> 8) && p.check[1] == (crc & 0xFF);
        }
        m_frame.clear();
        p.reply = packetReply(p, packets.size());
        if (p.reply)
            m_line.toProgram.push_back(*p.reply);
        packets.push_back(std::move(p));
    }

    FakeLine& m_line;
    uint8_t m_mode;
    std::vector<uint8_t> m_frame;
    std::string m_command;
};
