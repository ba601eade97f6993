// The run's trace, kept in memory while the program works and written out
// only where it waits anyway (a message box, the end), so that recording
// never sits between a reply and the next packet. A trace that cannot be
// written stops recording; the run itself goes on unchanged.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "trace/TraceFormat.h"
#include "platform/trace_file.h"

namespace trace {

// Where the formatted text goes.
using Sink = platform::OutputFile;

class Recorder {
public:
    // Writes the header at once: a file that cannot take it fails before the
    // run begins (see Failure()).
    Recorder(std::unique_ptr<Sink> sink, const Header& header, std::string fileName);

    // What the program did and saw; each is stamped with the steady clock.
    void Opened(const std::string& port, const std::string& path, int code, const std::string& errorText);
    void Closed(int code, const std::string& errorText);
    void Wrote(const void* data, size_t size);
    void Read(const void* data, size_t size);
    void PortError(const char* operation, int code, const std::string& errorText);
    void ShortWrite(size_t asked, size_t put);
    void Lines(bool cts, bool carrierDetect);
    void LineSettings(const std::string& text);
    void Latency(const std::string& found, const std::string& inForce);
    // A write stream began, and ended with its writes waited for one by
    // one or overlapped.
    void StreamBegan();
    void StreamEnded(bool overlapped);
    void Status(const std::string& text);
    // A message box about to show (written out at once, as the program
    // waits for the user from here), and the answer once given.
    void Box(const std::string& text, bool okCancel);
    void Answer(bool ok);

    // Writes out what is held. Returns false once writing has failed.
    bool Flush();
    // Writes out the rest and closes the file; records nothing afterwards.
    // Returns "" or, if the trace could not be written whole after it
    // began, one message for the user saying so.
    std::string Finish();
    // The message for a trace that could not even begin, else "".
    const std::string& Failure() const { return m_failure; }

private:
    int64_t Now() const;
    Event* Add(EventKind kind); // null once recording has stopped
    void AddBytes(EventKind kind, const void* data, size_t size);
    void Fail(const std::string& error);

    std::unique_ptr<Sink> m_sink;
    std::string m_fileName;
    std::chrono::steady_clock::time_point m_start;
    std::vector<Event> m_pending;
    Formatter m_formatter;
    std::string m_text;
    int64_t m_written = 0; // seconds' worth of run that reached the file, in microseconds
    bool m_failed = false;
    bool m_startFailed = false;
    bool m_finished = false;
    std::string m_failure;
};

// The trace in force (null: the run is not traced). Tracing code looks here.
Recorder* Current();
void SetCurrent(Recorder* recorder);

} // namespace trace
