// What the one-write-a-byte path costs this machine before any program of
// ours adds to it: a bare sender writes 1029-byte packets to a
// pseudo-terminal one write call a byte, as the transfer does, and waits
// for each one's reply in 1 ms polls; the far end reads at the pace of a
// 115200 bit/s line and acknowledges each packet. The floor under the
// upgrade benchmark's CPU figure; it swings with the machine, as that does.
#pragma once

#include <string>

namespace bench {

struct WriteFloor {
    double cpuSecondsPerPacket = 0; // the sending thread's, user and system
    double involuntaryPerPacket = 0, voluntaryPerPacket = 0; // its switches
    std::string fault; // empty when the run worked
};

// Sends `packets` packets as above from the calling thread, and measures
// that thread. A failed call ends the run with `fault` saying which, and
// leaves nothing open.
WriteFloor MeasureWriteFloor(int packets);

} // namespace bench
