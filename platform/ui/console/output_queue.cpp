#include "platform/ui/console/output_queue.h"

#include <utility>

namespace console {

namespace {
int Index(Stream stream)
{
    return stream == Stream::Out ? 0 : 1;
}
} // namespace

OutputQueue::OutputQueue(size_t limit) : m_limit(limit), m_thread([this] { Run(); })
{
}

OutputQueue::~OutputQueue()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void OutputQueue::Write(Stream stream, std::string text, bool transient)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_gone[Index(stream)]) {
            ++m_dropped;
            return;
        }
        if (transient && !m_items.empty() && m_items.back().transient && m_items.back().stream == stream) {
            m_queuedBytes -= m_items.back().text.size();
            m_items.pop_back();
        }
        if (m_queuedBytes + text.size() > m_limit) {
            ++m_dropped;
            return;
        }
        m_queuedBytes += text.size();
        m_items.push_back({stream, std::move(text), transient});
    }
    m_changed.notify_all();
}

void OutputQueue::Drain()
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_items.empty() && !m_writing; });
}

size_t OutputQueue::Dropped() const
{
    std::lock_guard lock(m_mutex);
    return m_dropped;
}

void OutputQueue::Run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_stopping || !m_items.empty(); });
        if (m_items.empty())
            return; // stopping, and all written
        Item item = std::move(m_items.front());
        m_items.pop_front();
        m_queuedBytes -= item.text.size();
        m_writing = true;
        lock.unlock();
        const bool written = WriteAll(item.stream, item.text);
        lock.lock();
        m_writing = false;
        if (!written) {
            // Gone for good: what waits for it goes too.
            m_gone[Index(item.stream)] = true;
            for (auto it = m_items.begin(); it != m_items.end();) {
                if (it->stream == item.stream) {
                    m_queuedBytes -= it->text.size();
                    it = m_items.erase(it);
                    ++m_dropped;
                } else {
                    ++it;
                }
            }
        }
        m_changed.notify_all();
    }
}

} // namespace console
