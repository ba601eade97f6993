// Output that never makes its writer wait: texts are queued and a thread
// of their own writes them to the terminal, so a terminal stopped with
// Ctrl-S, a slow link or a full pipe holds up only that thread, and one
// that went away only drops what is queued for it. The queue is bounded:
// past the bound new texts are dropped rather than waited for.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "platform/ui/console/console_io.h"

namespace console {

class OutputQueue {
public:
    // Starts the writing thread. `limit`: bytes that may wait at most.
    explicit OutputQueue(size_t limit = 1 << 20);
    // Writes out what is queued (waiting as long as the streams make it
    // wait) and stops the thread.
    ~OutputQueue();
    OutputQueue(const OutputQueue&) = delete;
    OutputQueue& operator=(const OutputQueue&) = delete;

    // Queues `text` for `stream` and returns at once. A `transient` text
    // (a progress line redrawn in place) replaces one still queued right
    // before it for the same stream. Dropped when the stream has gone or
    // the queue is full.
    void Write(Stream stream, std::string text, bool transient = false);
    // Waits until everything queued has been written or dropped.
    void Drain();
    // Texts dropped so far because the queue was full or the stream gone.
    size_t Dropped() const;

private:
    struct Item {
        Stream stream;
        std::string text;
        bool transient;
    };
    void Run();

    const size_t m_limit;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Item> m_items;
    size_t m_queuedBytes = 0;
    size_t m_dropped = 0;
    bool m_writing = false; // the thread holds an item taken off the queue
    bool m_stopping = false;
    bool m_gone[2] = {false, false}; // a stream that refused a write
    std::thread m_thread;
};

} // namespace console
