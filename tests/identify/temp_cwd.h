// Runs a test inside a fresh temporary directory, where it can write the
// identity data file; the working directory is restored and the temporary
// one removed afterwards.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

class TempCwd {
public:
    TempCwd() : m_previous(std::filesystem::current_path())
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "quilvex-id-XXXXXX").string();
        if (char* made = mkdtemp(pattern.data()))
            m_dir = made;
        std::filesystem::current_path(m_dir);
    }
    ~TempCwd()
    {
        std::error_code ec;
        std::filesystem::current_path(m_previous, ec);
        std::filesystem::remove_all(m_dir, ec);
    }
    TempCwd(const TempCwd&) = delete;
    TempCwd& operator=(const TempCwd&) = delete;

    // Writes `name` in the temporary directory with exactly these bytes.
    void Write(const std::string& name, const std::string& bytes) const
    {
        std::ofstream(m_dir / name, std::ios::binary) << bytes;
    }
    const std::filesystem::path& Dir() const { return m_dir; }

private:
    std::filesystem::path m_previous;
    std::filesystem::path m_dir;
};
