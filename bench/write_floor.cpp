#include "bench/write_floor.h"

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace bench {
namespace {

constexpr int kPacketBytes = 1029; // a 1 KiB packet with its header and CRC-16
constexpr int kChunk = 115; // the line's bytes in 10 ms at 115200 bit/s
constexpr unsigned char kAck = 0x06;
constexpr int kReplyPolls = 10000;

// The far end: takes the line's bytes at its pace, one ACK a packet, until
// the sender closes its side.
[[noreturn]] void Receive(int master)
{
    unsigned char chunk[kChunk];
    long got = 0;
    for (;;) {
        const ssize_t n = ::read(master, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            _exit(0);
        got += n;
        ::usleep(10000);
        for (; got >= kPacketBytes; got -= kPacketBytes)
            while (::write(master, &kAck, 1) < 0 && errno == EINTR) { }
    }
}

double CpuSeconds(const rusage& r)
{
    return static_cast<double>(r.ru_utime.tv_sec + r.ru_stime.tv_sec) +
        static_cast<double>(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
}

std::string Why(const char* call)
{
    return std::string(call) + ": " + std::strerror(errno);
}

// Sends the packets on `slave`; returns "" or what failed.
std::string Send(int slave, int packets)
{
    const unsigned char byte = 0x55;
    for (int p = 0; p < packets; ++p) {
        for (int i = 0; i < kPacketBytes; ++i) {
            ssize_t n;
            while ((n = ::write(slave, &byte, 1)) < 0 && errno == EINTR) { }
            if (n != 1)
                return Why("write");
        }
        for (int polls = 0;; ++polls) {
            if (polls == kReplyPolls)
                return "no reply to packet " + std::to_string(p + 1);
            pollfd fd{slave, POLLIN, 0};
            if (::poll(&fd, 1, 1) > 0) {
                unsigned char reply = 0;
                if (::read(slave, &reply, 1) == 1 && reply == kAck)
                    break;
            }
        }
    }
    return "";
}

} // namespace

WriteFloor MeasureWriteFloor(int packets)
{
    WriteFloor floor;
    int master = -1, slave = -1;
    if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
        floor.fault = Why("openpty");
        return floor;
    }
    termios tio{};
    if (::tcgetattr(slave, &tio) != 0) {
        floor.fault = Why("tcgetattr");
    } else {
        ::cfmakeraw(&tio);
        tio.c_cc[VMIN] = 0;
        tio.c_cc[VTIME] = 0;
        if (::tcsetattr(slave, TCSANOW, &tio) != 0)
            floor.fault = Why("tcsetattr");
    }
    pid_t far = -1;
    if (floor.fault.empty() && (far = ::fork()) < 0)
        floor.fault = Why("fork");
    if (far == 0) {
        ::close(slave);
        Receive(master);
    }
    ::close(master);
    if (!floor.fault.empty()) {
        ::close(slave);
        return floor;
    }

    rusage before{}, after{};
    ::getrusage(RUSAGE_THREAD, &before);
    floor.fault = Send(slave, packets);
    ::getrusage(RUSAGE_THREAD, &after);
    ::close(slave);
    ::kill(far, SIGTERM);
    while (::waitpid(far, nullptr, 0) < 0 && errno == EINTR) { }

    floor.cpuSecondsPerPacket = (CpuSeconds(after) - CpuSeconds(before)) / packets;
    floor.involuntaryPerPacket = static_cast<double>(after.ru_nivcsw - before.ru_nivcsw) / packets;
    floor.voluntaryPerPacket = static_cast<double>(after.ru_nvcsw - before.ru_nvcsw) / packets;
    return floor;
}

} // namespace bench
