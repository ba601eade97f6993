// The test's side of the modem-lines shim (modem_lines_shim.cpp, loaded
// with LD_PRELOAD): says which lines chosen terminals have, and reads back
// what the program did to them. The file is named by QUILVEX_MODEM_LINES,
// set here for this process and its children (Wine among them).
#pragma once

#include <dlfcn.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

class ModemLines {
public:
    // Files in `dir` (which must exist): the lines and the shim's log.
    explicit ModemLines(const std::string& dir) : m_file(dir + "/modem-lines"), m_log(dir + "/modem-lines.log")
    {
        setenv("QUILVEX_MODEM_LINES", m_file.c_str(), 1);
        setenv("QUILVEX_MODEM_LINES_LOG", m_log.c_str(), 1);
    }
    ~ModemLines()
    {
        unsetenv("QUILVEX_MODEM_LINES");
        unsetenv("QUILVEX_MODEM_LINES_LOG");
        std::remove(m_file.c_str());
        std::remove(m_log.c_str());
    }
    ModemLines(const ModemLines&) = delete;
    ModemLines& operator=(const ModemLines&) = delete;

    // Whether the shim is loaded into this process.
    static bool Loaded() { return dlsym(RTLD_DEFAULT, "quilvex_modem_lines_shim") != nullptr; }

    // Gives each terminal (path) the lines named ("cts dcd", "" for none);
    // terminals not named keep the system's answer. Replaces the file
    // whole, so the shim never reads half of it. False if it could not.
    bool Set(const std::map<std::string, std::string>& lines)
    {
        const std::string next = m_file + ".next";
        {
            std::ofstream out(next, std::ios::trunc);
            for (const auto& [path, on] : lines)
                out << path << ' ' << on << '\n';
            if (!out.flush())
                return false;
        }
        return std::rename(next.c_str(), m_file.c_str()) == 0;
    }

    // What the shim logged ("" when nothing): a line for each call that set
    // a chosen terminal's lines and each changed TIOCMGET answer.
    std::string Log() const
    {
        std::ifstream in(m_log);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

private:
    std::string m_file, m_log;
};
