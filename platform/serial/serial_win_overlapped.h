// Reads and writes on a Windows port handle that may be opened for
// overlapped I/O, and the writer that lets a stream of single-byte writes
// overlap where the port's driver makes each one wait long (a USB serial
// adapter completes a write with its USB transfer, about 1 ms).
// Windows back end only; error codes are GetLastError() values.
#pragma once

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace serial::winio {

// One read or write on `handle` (opened for overlapped I/O when
// `overlapped`), waited for to its end within the port's time-outs.
// Returns false with GetLastError() set on failure; `done` is the count
// moved. An overlapped read still going `limitMs` after it began (Wine does
// not always end one at its time-out) is cancelled and counts as timed out,
// with what it had read.
bool ReadNow(HANDLE handle, bool overlapped, void* buf, DWORD size, DWORD& done, DWORD limitMs = INFINITE);
bool WriteNow(HANDLE handle, bool overlapped, const void* buf, DWORD size, DWORD& done);

// How long a read of `size` bytes may last under time-outs `t`, with some
// slack; INFINITE when they set no limit.
DWORD ReadLimitMs(const COMMTIMEOUTS& t, DWORD size);

// What QUILVEX_TEST_WRITES asks of the ports, for tests and benchmarks:
// "plain" opens them without overlapped I/O (so no write overlaps),
// "overlapped" overlaps every stream's writes without timing them first.
// Anything else (or nothing): the choice is the port's.
enum class WriteMode { Chosen, Plain, Overlapped };
WriteMode TestWriteMode();

// Whether the port at `path` ("\\.\COM5") is to be opened for overlapped
// I/O: where QUILVEX_TEST_WRITES asks for overlapped writes, or where the
// system describes the port as a USB device (a USB vendor:product id),
// whose driver may make each write wait for its USB transfer. Other ports
// are opened as they always were: under Wine an overlapped handle makes
// every call cost more.
bool OpenOverlapped(const std::string& path);

// Whether the writes of the last stream that ended overlapped (for tests).
bool LastStreamOverlapped();

// The single-byte writes of one port. Outside a stream, and within one
// until its first kTimedWrites writes have gone out, each write is waited
// for. When even the quickest of those took longer than two byte times,
// each later byte's write in the stream is issued without waiting for
// those before it, up to kMaxInFlight at once.
class ByteWriter {
public:
    static constexpr size_t kTimedWrites = 8; // a stream's first writes, timed
    static constexpr size_t kMaxInFlight = 80; // the port's output queue

    ByteWriter(HANDLE handle, bool overlapped);
    ~ByteWriter(); // abandons what is in flight
    ByteWriter(const ByteWriter&) = delete;
    ByteWriter& operator=(const ByteWriter&) = delete;

    // Starts a stream on a line of `baudRate` bit/s; EndStream settles it
    // and returns whether its writes overlapped.
    void BeginStream(uint32_t baudRate);
    bool EndStream();
    // Writes one byte as the device's Write does: false with GetLastError()
    // set on failure, `put` 0 after a time-out, else 1. An overlapped write
    // that failed or timed out in flight is reported so by the next call,
    // which writes nothing; the writes issued after the failed one are
    // cancelled (the line is gone or stuck: their bytes would be lost).
    bool Write(uint8_t byte, DWORD& put);
    // Waits until every write in flight has ended. A failure among them is
    // dropped: what the modem answers, or that it does not, tells of it,
    // as it does for a single write that failed.
    void Settle();
    // Cancels what is in flight and waits for it to end (before a purge or
    // close).
    void Abandon();

private:
    struct Slot {
        OVERLAPPED ov{};
        HANDLE event = nullptr;
        uint8_t byte = 0;
    };
    // Ends the oldest write in flight, waiting for it when `wait`; false
    // when it has not ended yet.
    bool Finish(bool wait);
    bool Issue(uint8_t byte, DWORD& put);

    HANDLE m_handle;
    bool m_overlappedHandle;
    bool m_streaming = false;
    bool m_overlapping = false;
    size_t m_timed = 0; // writes of the stream timed so far
    double m_quickest = 0; // the quickest of them, in seconds
    double m_slowSeconds = 0; // two byte times
    std::array<Slot, kMaxInFlight> m_slots;
    size_t m_oldest = 0;
    size_t m_inFlight = 0;
    DWORD m_failure = 0; // the first failure in flight, not yet reported
    bool m_timedOut = false;
};

} // namespace serial::winio
