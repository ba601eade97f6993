// A stand-in for the operating system's serial communications: one open
// serial device with the operations the modem link needs. The real
// implementations sit on termios (Linux) and the Win32 communications calls
// (Windows); tests may install their own opener.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace serial {

// Read and write deadlines, in the shape the link configures them.
struct Timeouts {
    uint32_t readIntervalMs = 0; // 0xFFFFFFFF: no gap limit between bytes
    uint32_t readTotalMultiplierMs = 0; // per requested byte
    uint32_t readTotalConstantMs = 0;
    uint32_t writeTotalMultiplierMs = 0;
    uint32_t writeTotalConstantMs = 0;
};

// The line settings that matter to the link.
struct LineState {
    int32_t baudRate = 9600;
    int dataBits = 8;
    bool parity = false;
    int stopBits = 1;
    bool ctsOutputFlow = false;
    bool dsrOutputFlow = false;
    bool dtrOn = false;
    bool rtsOn = false;
    bool rawMode = false;
};

// What the modem's status lines say.
struct ModemLines {
    bool cts = false;
    bool carrierDetect = false;
};

// How a stream's single-byte writes went out: each waited for before the
// next, or issued while those before it were still going.
enum class WritePath { Waited, Overlapped };

// Result of the error-and-status call.
struct Status {
    size_t inputQueued = 0; // bytes waiting to be read
};

class Device {
public:
    virtual ~Device() = default;

    // Each call returns true on success; on failure it returns false and
    // sets LastError(), leaving the device open and usable.
    virtual bool SetQueueSizes(size_t input, size_t output) = 0;
    virtual bool Purge() = 0; // discard everything queued in both directions
    virtual bool SetTimeouts(const Timeouts& t) = 0;
    virtual bool GetLineState(LineState& out) = 0;
    virtual bool SetLineState(const LineState& s) = 0;
    virtual bool ClearError(Status& out) = 0;
    // Reads up to `size` bytes, waiting no longer than the read time-outs
    // allow; `got` says how many arrived. A hung-up line fails (EIO).
    virtual bool Read(void* buf, size_t size, size_t& got) = 0;
    // Writes up to `size` bytes within the write time-out; `put` says how
    // many left. A time-out is a success with put < size.
    virtual bool Write(const void* buf, size_t size, size_t& put) = 0;
    virtual bool GetModemLines(ModemLines& out) = 0;
    // Waits up to `ms` milliseconds for input, reading none of it. Returns
    // true as soon as at least one byte is waiting (at once if one already
    // is), false when the time passed without one. A hung-up or failing
    // line ends nothing early: the wait lasts its full time and the next
    // ClearError or Read reports the fault. The base version only sleeps
    // (platform::SleepFor) and returns false; back ends wait on the device.
    virtual bool WaitForInput(unsigned ms);
    // The single-byte writes from here to EndWriteStream form one stream
    // (a block transfer). Where the system makes each write wait long for
    // the one before, a back end may let them overlap: they are then still
    // written one call a byte, in order, and every other call of the device
    // first waits for them to end. EndWriteStream waits for them too, and
    // returns the path the stream's writes took: Overlapped if any of them
    // overlapped. The base versions do nothing and say Waited.
    virtual void BeginWriteStream() { }
    virtual WritePath EndWriteStream() { return WritePath::Waited; }
    // How long the port's adapter holds received bytes: the setting found
    // when the device was opened and the one in force now, in words for
    // the trace ("low-latency off, latency timer 16 ms"). Both empty where
    // the back end knows nothing of it (the base version).
    struct LatencySetting {
        std::string found, inForce;
    };
    virtual LatencySetting Latency() const { return {}; }
    // Closes the device, restoring its original settings. Further calls fail.
    virtual bool Close() = 0;
};

// Opens a port by name: "COM1".."COM9" as DevicePath maps them; any other
// name is taken as a path. Exclusive.
// Returns null on failure, with LastError() set.
std::unique_ptr<Device> Open(const std::string& name);

// Opens the device at `path` itself, with neither the name mapping nor a
// replaced opener (a test's opener may wrap the real device with it).
// Returns null on failure, with LastError() set.
std::unique_ptr<Device> OpenNative(const std::string& path);

// The device path a port name stands for: on Linux QUILVEX_COM<n> when set,
// otherwise the system's serial ports numbered (see com_names.h); empty
// when COM<n> stands for nothing. On Windows "COMn" is the system's own
// port, "\\.\COMn". Other names are returned unchanged.
std::string DevicePath(const std::string& name);

// Replaces the opener that Open() uses; an empty function restores the
// real one. For tests that put a fake device behind the link.
using Opener = std::function<std::unique_ptr<Device>(const std::string& name)>;
void SetOpener(Opener opener);
// The opener in force (empty: the real one).
Opener GetOpener();

// The last error code of this thread's serial calls (errno values on Linux,
// GetLastError() values on Windows) and the operating system's text for a code.
int LastError();
void SetLastError(int code);
std::string ErrorText(int code);

// This system's codes for the failures the link finds itself: a port that
// is not open, and a deadline that passed.
int NotOpenError();
int TimedOutError();

} // namespace serial
