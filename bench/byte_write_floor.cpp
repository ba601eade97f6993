// The floor under the upgrade's CPU on this machine: a bare sender's one
// write call a byte to a pseudo-terminal, with nothing of ours around it
// (see write_floor.h). Prints its CPU per packet and what 512 packets would
// take as a share of one core over an Upgrade command of 47.2 s.
//
//   byte_write_floor [packets]      (default 100)
#include <cstdio>
#include <cstdlib>

#include "bench/write_floor.h"

int main(int argc, char** argv)
{
    const int packets = argc > 1 ? std::atoi(argv[1]) : 100;
    if (packets <= 0) {
        std::fprintf(stderr, "usage: byte_write_floor [packets]\n");
        return 2;
    }
    const bench::WriteFloor f = bench::MeasureWriteFloor(packets);
    if (!f.fault.empty()) {
        std::fprintf(stderr, "byte_write_floor: %s\n", f.fault.c_str());
        return 1;
    }
    constexpr double kCommandSeconds = 47.2;
    std::printf(
        "One write call a byte to a pseudo-terminal, %d packets of 1029 bytes, replies polled every 1 ms\n", packets);
    std::printf("  sender CPU per packet                          %8.2f ms (%.2f us a byte)\n",
        f.cpuSecondsPerPacket * 1e3, f.cpuSecondsPerPacket * 1e6 / 1029);
    std::printf("  for 512 packets                                %8.2f s = %.1f %% of one core over %.1f s\n",
        f.cpuSecondsPerPacket * 512, 100.0 * f.cpuSecondsPerPacket * 512 / kCommandSeconds, kCommandSeconds);
    std::printf("  involuntary / voluntary switches per packet    %8.0f / %.0f\n", f.involuntaryPerPacket,
        f.voluntaryPerPacket);
    return 0;
}
