#include "upgrade/Packet.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "upgrade/Crc16.h"

const char* const kStatusWaiting = "Waiting for Startup Packet...";
const char* const kStatusUpgrading = "Flash Upgrading... (WARNING: DON'T INTERRUPT THE PROCESS!!!)";

bool IsStartChar(uint8_t byte)
{
    return byte == kNAK || byte == kStartC || byte == kStartFF;
}

PacketPlan PlanPackets(int64_t fileSize, bool use1K)
{
    const int64_t s = std::max<int64_t>(fileSize, 0);
    PacketPlan plan;
    plan.fullPackets = use1K ? s / kBlock1K : 0;
    int64_t rest = s - kBlock1K * plan.fullPackets;
    int64_t small = rest / kBlock128;
    if (kBlock128 * (small + 8 * plan.fullPackets) < s)
        ++small;
    plan.total = plan.fullPackets + small;
    return plan;
}

std::vector<uint8_t> FramePacket(int packetNumber, int size, const uint8_t* data, uint8_t checkMode)
{
    const uint8_t number = static_cast<uint8_t>(packetNumber & 0xFF);
    std::vector<uint8_t> frame;
    frame.reserve(static_cast<size_t>(size) + 5);
    frame.push_back(size == kBlock1K ? kSTX : kSOH);
    frame.push_back(number);
    frame.push_back(static_cast<uint8_t>(255 - number));
    frame.insert(frame.end(), data, data + size);
    if (checkMode == kNAK) {
        uint8_t sum = 0;
        for (int k = 0; k < size; ++k)
            sum = static_cast<uint8_t>(sum + data[k]);
        frame.push_back(sum);
    } else {
        const uint16_t crc = Crc16(data, static_cast<size_t>(size));
        frame.push_back(static_cast<uint8_t>(crc >> 8));
        frame.push_back(static_cast<uint8_t>(crc & 0xFF));
    }
    return frame;
}

ProgressUpdate ProgressAt(int64_t i, int64_t n)
{
    // Below 19 packets the plain N / 19 would be 0; one packet per step
    // then, and never more than a full bar.
    const int64_t d = std::max<int64_t>(n / 19, 1);
    ProgressUpdate u;
    if (i != 1 && i % d != 0)
        return u;
    const int64_t raw = ((i / d) + 1) * 100 / 20;
    u.show = true;
    u.percent = static_cast<int>(std::min<int64_t>(raw, 100));
    u.barSteps = u.percent / 5;
    return u;
}

std::string WaitingCountText(int secondsLeft)
{
    char text[64];
    std::snprintf(text, sizeof text, "Waiting for Startup Packet... [%d sec]", secondsLeft);
    return text;
}

std::string PacketText(int64_t packetNumber)
{
    char text[32];
    std::snprintf(text, sizeof text, "P#%" PRId64, packetNumber);
    return text;
}

std::string PercentText(int percent)
{
    char text[16];
    std::snprintf(text, sizeof text, "(%d%%)", percent);
    return text;
}
