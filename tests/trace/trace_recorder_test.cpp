// The recorder keeps the run in memory and writes only at message boxes
// and at the end; a file that fails stops the trace with one message and
// nothing else. The recording device shows the port's traffic as it was.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "trace/TraceDevice.h"
#include "trace/TraceRecorder.h"
#include "tests/support/fake_serial.h"

namespace {

// A file that takes `room` bytes and then fails as a full disk does.
class SmallDisk : public platform::OutputFile {
public:
    SmallDisk(std::string& text, size_t room, int& writes) : m_text(text), m_room(room), m_writes(writes) { }
    bool Write(std::string_view text, std::string& error) override
    {
        ++m_writes;
        size_t fits = std::min(text.size(), m_room);
        m_text.append(text.substr(0, fits));
        m_room -= fits;
        if (fits < text.size())
            error = "No space left on device";
        return fits == text.size();
    }
    bool Close(std::string&) override { return true; }

private:
    std::string& m_text;
    size_t m_room;
    int& m_writes;
};

struct Disk {
    std::string text;
    int writes = 0;
    std::unique_ptr<trace::Recorder> Recorder(size_t room = SIZE_MAX)
    {
        trace::Header h{"Quilvex 1.0a", "Test 1", "today", {"COM1 /dev/x"}};
        return std::make_unique<trace::Recorder>(std::make_unique<SmallDisk>(text, room, writes), h, "run.trace");
    }
};

TEST(TraceRecorder, WritesOnlyAtMessageBoxesAndTheEnd)
{
    Disk disk;
    auto rec = disk.Recorder();
    EXPECT_EQ(disk.writes, 1); // the header, before the run
    for (int i = 0; i < 100; ++i) {
        rec->Wrote("\x02\x01\xFE", 3);
        rec->Read("\x06", 1);
        rec->Status("Flash Upgrading...");
    }
    EXPECT_EQ(disk.writes, 1);
    rec->Box("Packet Timeout!", false);
    EXPECT_EQ(disk.writes, 2);
    EXPECT_NE(disk.text.find("box ok \"Packet Timeout!\""), std::string::npos);
    rec->Answer(true);
    EXPECT_EQ(rec->Finish(), "");
    EXPECT_NE(disk.text.find("answer ok"), std::string::npos);
    rec->Wrote("x", 1); // after the end: nothing more
    EXPECT_EQ(rec->Finish(), "");
    EXPECT_EQ(disk.text.find("|x|"), std::string::npos);
}

TEST(TraceRecorder, AFullDiskStopsTheTraceWithOneMessageAtTheEnd)
{
    Disk disk;
    auto rec = disk.Recorder(400);
    ASSERT_EQ(rec->Failure(), "");
    std::string packet(1029, 'p');
    rec->Wrote(packet.data(), packet.size());
    rec->Box("first", false); // the disk fills here
    const int writesWhenFull = disk.writes;
    rec->Answer(true);
    rec->Wrote(packet.data(), packet.size());
    rec->Box("second", false);
    EXPECT_EQ(disk.writes, writesWhenFull); // nothing tried once it failed

    std::string message = rec->Finish();
    EXPECT_NE(message.find("run.trace"), std::string::npos) << message;
    EXPECT_NE(message.find("No space left on device"), std::string::npos) << message;
    EXPECT_NE(message.find("not affected"), std::string::npos) << message;
    EXPECT_EQ(rec->Finish(), message);
    EXPECT_LE(disk.text.size(), 400u);
}

TEST(TraceRecorder, AFileThatCannotTakeTheHeaderFailsBeforeTheRun)
{
    Disk disk;
    auto rec = disk.Recorder(10);
    EXPECT_NE(rec->Failure().find("No space left on device"), std::string::npos);
    EXPECT_EQ(rec->Finish(), ""); // reported once, by whoever started it
}

TEST(TraceDevice, RecordsTrafficLineChangesAndEachNewFailureOnce)
{
    Disk disk;
    auto rec = disk.Recorder();
    trace::SetCurrent(rec.get());
    FakeLine line;
    auto dev = trace::Wrap(line.NewDevice());

    size_t n = 0;
    ASSERT_TRUE(dev->Write("AT\r", 3, n));
    serial::ModemLines lines;
    for (int i = 0; i < 3; ++i)
        dev->GetModemLines(lines); // unchanged: recorded once
    line.lines.cts = false;
    dev->GetModemLines(lines);
    line.Send("OK");
    uint8_t buf[8];
    ASSERT_TRUE(dev->Read(buf, sizeof buf, n));
    line.failPoll = EIO;
    serial::Status status;
    for (int i = 0; i < 1000; ++i)
        EXPECT_FALSE(dev->ClearError(status));
    EXPECT_EQ(serial::LastError(), EIO); // the caller still sees the fault
    line.writeRoom = 1;
    dev->Write("xy", 2, n);
    line.writeRoom = SIZE_MAX;
    trace::SetCurrent(nullptr);
    EXPECT_TRUE(dev->Write("z", 1, n)); // no trace in force: not recorded
    trace::SetCurrent(rec.get());
    dev->Close();
    trace::SetCurrent(nullptr);
    rec->Finish();

    const std::string& t = disk.text;
    EXPECT_NE(t.find("> 41540D |AT.|"), std::string::npos) << t;
    EXPECT_NE(t.find("lines cts=on dcd=off"), std::string::npos);
    EXPECT_NE(t.find("lines cts=off dcd=off"), std::string::npos);
    EXPECT_NE(t.find("< 4F4B |OK|"), std::string::npos);
    EXPECT_NE(t.find("short-write 2 1"), std::string::npos);
    EXPECT_NE(t.find("close ok"), std::string::npos);
    EXPECT_EQ(t.find("|z|"), std::string::npos);
    size_t first = t.find("error status 5 ");
    ASSERT_NE(first, std::string::npos) << t;
    EXPECT_EQ(t.find("error status", first + 1), std::string::npos);
    std::vector<trace::Event> events;
    std::string error;
    EXPECT_TRUE(trace::ParseTrace(t, events, error)) << error;
}

// What an open finds of the adapter's latency follows the open; a port
// that says nothing of it leaves nothing.
TEST(TraceDevice, RecordsTheLatencyFoundAndInForceAfterTheOpen)
{
    Disk disk;
    auto rec = disk.Recorder();
    trace::SetCurrent(rec.get());
    FakeLine line;
    line.Install();
    const serial::Opener fake = trace::TracePortOpens();
    line.latency = {"low-latency off, latency timer 16 ms", "low-latency on, latency timer 1 ms"};
    ASSERT_NE(serial::Open("COM1"), nullptr);
    line.latency = {};
    ASSERT_NE(serial::Open("/nonexistent/port"), nullptr); // no adapter of the system behind it
    serial::SetOpener(fake);
    trace::SetCurrent(nullptr);
    rec->Finish();

    std::vector<trace::Event> events;
    std::string error;
    ASSERT_TRUE(trace::ParseTrace(disk.text, events, error)) << error;
    ASSERT_EQ(events.size(), 3u) << disk.text;
    EXPECT_EQ(events[0].kind, trace::EventKind::Open);
    EXPECT_EQ(events[1].kind, trace::EventKind::Latency);
    EXPECT_EQ(events[1].text, "low-latency off, latency timer 16 ms");
    EXPECT_EQ(events[1].inForce, "low-latency on, latency timer 1 ms");
    EXPECT_EQ(events[2].kind, trace::EventKind::Open);
    EXPECT_EQ(events[2].port, "/nonexistent/port");
}

// A device that counts every call it gets and says its streams overlapped.
class CountingDevice : public serial::Device {
public:
    explicit CountingDevice(std::map<std::string, int>& calls) : m_calls(calls) { }
    bool SetQueueSizes(size_t, size_t) override { return Count("queue-sizes"); }
    bool Purge() override { return Count("purge"); }
    bool SetTimeouts(const serial::Timeouts&) override { return Count("timeouts"); }
    bool GetLineState(serial::LineState&) override { return Count("get-line"); }
    bool SetLineState(const serial::LineState&) override { return Count("set-line"); }
    bool ClearError(serial::Status&) override { return Count("status"); }
    bool Read(void*, size_t, size_t& got) override { return got = 0, Count("read"); }
    bool Write(const void*, size_t size, size_t& put) override { return put = size, Count("write"); }
    bool GetModemLines(serial::ModemLines&) override { return Count("modem-lines"); }
    bool WaitForInput(unsigned) override { return Count("wait"); }
    void BeginWriteStream() override { Count("begin-stream"); }
    serial::WritePath EndWriteStream() override
    {
        Count("end-stream");
        return serial::WritePath::Overlapped;
    }
    bool Close() override { return Count("close"); }

private:
    bool Count(const char* call)
    {
        ++m_calls[call];
        return true;
    }
    std::map<std::string, int>& m_calls;
};

// Traced, the port is driven exactly as untraced: every call reaches it,
// write streams included, and the trace says which path the writes took.
TEST(TraceDevice, PassesEveryCallThroughAndRecordsTheWritePath)
{
    Disk disk;
    auto rec = disk.Recorder();
    trace::SetCurrent(rec.get());
    std::map<std::string, int> calls;
    auto dev = trace::Wrap(std::make_unique<CountingDevice>(calls));

    serial::Timeouts timeouts;
    serial::LineState state;
    serial::Status status;
    serial::ModemLines lines;
    size_t n = 0;
    uint8_t byte = 0;
    dev->SetQueueSizes(80, 80);
    dev->Purge();
    dev->SetTimeouts(timeouts);
    dev->GetLineState(state);
    dev->SetLineState(state);
    dev->ClearError(status);
    dev->Read(&byte, 1, n);
    dev->GetModemLines(lines);
    dev->WaitForInput(1);
    dev->BeginWriteStream();
    dev->Write("\x02", 1, n);
    EXPECT_EQ(dev->EndWriteStream(), serial::WritePath::Overlapped);
    dev->Close();
    trace::SetCurrent(nullptr);
    rec->Finish();

    const std::map<std::string, int> all = {{"queue-sizes", 1}, {"purge", 1}, {"timeouts", 1}, {"get-line", 1},
        {"set-line", 1}, {"status", 1}, {"read", 1}, {"write", 1}, {"modem-lines", 1}, {"wait", 1}, {"begin-stream", 1},
        {"end-stream", 1}, {"close", 1}};
    EXPECT_EQ(calls, all);
    const std::string& t = disk.text;
    const size_t begin = t.find(" stream begin\n");
    ASSERT_NE(begin, std::string::npos) << t;
    EXPECT_LT(begin, t.find("> 02 "));
    EXPECT_NE(t.find(" stream end overlapped\n", begin), std::string::npos) << t;
    std::vector<trace::Event> events;
    std::string error;
    ASSERT_TRUE(trace::ParseTrace(t, events, error)) << error;
    bool sawEnd = false;
    for (const trace::Event& e : events)
        if (e.kind == trace::EventKind::Stream && e.on1)
            sawEnd = e.overlapped;
    EXPECT_TRUE(sawEnd);
}

} // namespace
