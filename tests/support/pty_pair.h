// A pseudo-terminal whose master side a test plays the modem on, with the
// slave side reachable as a COM name through QUILVEX_COM<n>.
#pragma once

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <string>
#include <termios.h>
#include <unistd.h>

class PtyPair {
public:
    PtyPair()
    {
        termios raw{};
        cfmakeraw(&raw);
        char name[128] = {};
        if (openpty(&m_master, &m_slave, name, &raw, nullptr) == 0) {
            m_path = name;
            fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK);
        }
    }
    ~PtyPair() { Hangup(); }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool Ok() const { return m_master >= 0; }
    const std::string& Path() const { return m_path; }
    int Master() const { return m_master; }

    // Sends bytes as the modem would.
    void Send(const std::string& bytes) const
    {
        size_t off = 0;
        while (off < bytes.size()) {
            ssize_t n = write(m_master, bytes.data() + off, bytes.size() - off);
            if (n > 0)
                off += size_t(n);
            else if (n < 0 && errno != EAGAIN && errno != EINTR)
                return;
        }
    }

    // Everything the program sends until the line has been quiet for
    // `quietMs` (for a peer that serves in a loop, not to wait for a reply).
    std::string Drain(int quietMs) const
    {
        std::string out;
        for (;;) {
            pollfd p{m_master, POLLIN, 0};
            if (poll(&p, 1, quietMs) <= 0 || !(p.revents & POLLIN))
                return out;
            char buf[4096];
            ssize_t n = read(m_master, buf, sizeof buf);
            if (n <= 0)
                return out;
            out.append(buf, size_t(n));
        }
    }

    // Reads what the program sent until `count` bytes have come or five
    // seconds have passed; returns what came (short only on time-out).
    std::string ReceiveBytes(size_t count) const
    {
        std::string out;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (out.size() < count) {
            pollfd p{m_master, POLLIN, 0};
            if (poll(&p, 1, MsLeft(deadline)) <= 0)
                return out;
            char buf[4096];
            ssize_t n = read(m_master, buf, std::min(sizeof buf, count - out.size()));
            if (n < 0 && errno != EAGAIN && errno != EINTR)
                return out;
            if (n > 0)
                out.append(buf, size_t(n));
        }
        return out;
    }

    // Waits up to five seconds until at least `count` bytes wait on the
    // program's side of the line. False on time-out.
    bool AwaitQueued(size_t count) const
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        for (;;) {
            int queued = 0;
            if (ioctl(m_slave, TIOCINQ, &queued) == 0 && size_t(queued) >= count)
                return true;
            if (std::chrono::steady_clock::now() >= deadline)
                return false;
            pollfd p{m_slave, POLLIN, 0};
            poll(&p, 1, 1); // data may still be on its way through the pty
        }
    }

    // The modem goes away: both of our ends close.
    void Hangup()
    {
        if (m_slave >= 0)
            close(m_slave);
        if (m_master >= 0)
            close(m_master);
        m_slave = m_master = -1;
    }

private:
    static int MsLeft(std::chrono::steady_clock::time_point deadline)
    {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        return left.count() > 0 ? int(left.count()) : 0;
    }

    int m_master = -1;
    int m_slave = -1;
    std::string m_path;
};
