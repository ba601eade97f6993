// A pseudo-terminal whose master side a test plays the modem on, with the
// slave side reachable as a COM name through QUILVEX_COM<n>.
#pragma once

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
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

    // Everything that arrives within `ms` of quiet.
    std::string Receive(int ms = 100) const
    {
        std::string out;
        for (;;) {
            pollfd p{m_master, POLLIN, 0};
            if (poll(&p, 1, ms) <= 0 || !(p.revents & POLLIN))
                return out;
            char buf[4096];
            ssize_t n = read(m_master, buf, sizeof buf);
            if (n <= 0)
                return out;
            out.append(buf, size_t(n));
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
    int m_master = -1;
    int m_slave = -1;
    std::string m_path;
};

// Points QUILVEX_COM1..9 at paths that do not exist, so no test touches a
// real serial port; a test then maps the names it needs.
inline void IsolateComPorts(const std::string& dir = "/nonexistent/quilvex-test")
{
    for (int n = 1; n <= 9; ++n)
        setenv(("QUILVEX_COM" + std::to_string(n)).c_str(), (dir + "/com" + std::to_string(n)).c_str(), 1);
}
