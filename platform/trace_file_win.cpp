// The trace file on Windows: the ANSI file calls, so that the name is read
// in the system's code page like every other string of the program.
#include "platform/trace_file.h"
#include "platform/trace_file_refusal.h"

#include "platform/serial/serial_device.h"

#include <windows.h>

#include <cctype>
#include <cstdio>
#include <cstring>

namespace platform {

namespace {

std::string SystemText(DWORD code)
{
    return serial::ErrorText(static_cast<int>(code));
}

// Whether `path` stands for a device rather than a file on a disk, judged
// from its full name alone: "\\.\" names (the system gives reserved names
// such as COM3 or NUL that form), and "\\?\" names other than a drive's
// or a share's.
bool NamesADevice(const std::string& path)
{
    char full[MAX_PATH * 4];
    const DWORD n = ::GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
    const std::string name = n > 0 && n < sizeof full ? std::string(full, n) : path;
    auto starts = [&](const char* prefix) { return ::_strnicmp(name.c_str(), prefix, std::strlen(prefix)) == 0; };
    if (starts("\\\\.\\"))
        return true;
    if (!starts("\\\\?\\"))
        return false;
    const std::string rest = name.substr(4);
    const bool drive =
        rest.size() >= 3 && std::isalpha(static_cast<unsigned char>(rest[0])) && rest[1] == ':' && rest[2] == '\\';
    return !drive && ::_strnicmp(rest.c_str(), "UNC\\", 4) != 0;
}

class WinFile : public OutputFile {
public:
    explicit WinFile(HANDLE h) : m_h(h) { }
    ~WinFile() override
    {
        if (m_h != INVALID_HANDLE_VALUE)
            ::CloseHandle(m_h);
    }
    bool Write(std::string_view text, std::string& error) override
    {
        while (!text.empty()) {
            DWORD chunk = text.size() > 0x10000000 ? 0x10000000 : static_cast<DWORD>(text.size());
            DWORD put = 0;
            if (!::WriteFile(m_h, text.data(), chunk, &put, nullptr) || put == 0) {
                DWORD code = ::GetLastError();
                error = SystemText(code ? code : ERROR_DISK_FULL);
                return false;
            }
            text.remove_prefix(put);
        }
        return true;
    }
    bool Close(std::string& error) override
    {
        HANDLE h = m_h;
        m_h = INVALID_HANDLE_VALUE;
        if (!::CloseHandle(h)) {
            error = SystemText(::GetLastError());
            return false;
        }
        return true;
    }

private:
    HANDLE m_h;
};

} // namespace

std::unique_ptr<OutputFile> CreateTraceFile(const std::string& path, std::string& error)
{
    // A device is refused before it is opened: opening a serial port raises
    // its DTR and RTS lines. Found without opening anything, by the name the
    // system makes of it: device names (COM3, NUL, "\\.\COM3") come out in
    // the device namespace.
    if (NamesADevice(path)) {
        error = TraceFileRefusal(path, kTraceFileNotRegular);
        return nullptr;
    }
    DWORD attributes = ::GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        error = TraceFileRefusal(path, kTraceFileNotRegular);
        return nullptr;
    }
    // OPEN_ALWAYS rather than CREATE_ALWAYS: what is there is emptied only
    // once it proved a file on a disk (not a device name such as NUL or COM1).
    HANDLE h = ::CreateFileA(
        path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error = TraceFileRefusal(path, SystemText(::GetLastError()));
        return nullptr;
    }
    if (::GetFileType(h) != FILE_TYPE_DISK) {
        ::CloseHandle(h);
        error = TraceFileRefusal(path, kTraceFileNotRegular);
        return nullptr;
    }
    if (!::SetEndOfFile(h)) {
        DWORD code = ::GetLastError();
        ::CloseHandle(h);
        error = TraceFileRefusal(path, SystemText(code));
        return nullptr;
    }
    return std::make_unique<WinFile>(h);
}

std::string SystemDescription()
{
    // The version the system reports to programs without a compatibility
    // manifest entry may be capped; the build number still tells.
    OSVERSIONINFOA v{};
    v.dwOSVersionInfoSize = sizeof v;
    char text[96] = "Windows";
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (::GetVersionExA(&v))
#pragma GCC diagnostic pop
        std::snprintf(
            text, sizeof text, "Windows %lu.%lu build %lu", v.dwMajorVersion, v.dwMinorVersion, v.dwBuildNumber);
    SYSTEM_INFO si{};
    ::GetNativeSystemInfo(&si);
    const char* machine = si.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64 ? " x86_64"
        : si.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_INTEL                 ? " x86"
                                                                                    : "";
    return std::string(text) + machine + (sizeof(void*) == 8 ? ", 64-bit program" : ", 32-bit program");
}

} // namespace platform
