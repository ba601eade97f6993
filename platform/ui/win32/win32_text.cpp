#include "platform/ui/win32/win32_text.h"

#include "platform/ui/win32/win32_system.h"

namespace ui::win32 {

std::wstring Widen(const std::string& text)
{
    if (text.empty())
        return std::wstring();
    const int size = static_cast<int>(text.size());
    const int wide = MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
    if (wide <= 0)
        return std::wstring();
    std::wstring out(static_cast<size_t>(wide), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), size, out.data(), wide);
    return out;
}

bool NarrowExactly(const std::wstring& text, std::string& out)
{
    return NarrowExactlyIn(GetACP(), text, out);
}

namespace {

// WideCharToMultiByte into `out`, sized by a first call. False when the
// system refused.
bool Narrow(UINT codePage, DWORD flags, const std::wstring& text, std::string& out, const char* fallback, BOOL* lossy)
{
    const int size = static_cast<int>(text.size());
    const int narrow = WideCharToMultiByte(codePage, flags, text.data(), size, nullptr, 0, fallback, lossy);
    if (narrow <= 0)
        return false;
    out.assign(static_cast<size_t>(narrow), '\0');
    return WideCharToMultiByte(codePage, flags, text.data(), size, out.data(), narrow, fallback, lossy) == narrow;
}

} // namespace

bool NarrowExactlyIn(unsigned codePage, const std::wstring& text, std::string& out)
{
    out.clear();
    if (text.empty())
        return true;
    if (codePage == CP_UTF8 || codePage == 54936) {
        // These hold every character, and the system takes neither the
        // best-fit flag nor a default character for them: the call fails
        // with ERROR_INVALID_PARAMETER if given either. Only text that is
        // not proper UTF-16 has no place there.
        if (Narrow(codePage, WC_ERR_INVALID_CHARS, text, out, nullptr, nullptr))
            return true;
        Narrow(codePage, 0, text, out, nullptr, nullptr); // U+FFFD for what had none
        return false;
    }
    BOOL lossy = FALSE;
    return Narrow(codePage, WC_NO_BEST_FIT_CHARS, text, out, "?", &lossy) && !lossy;
}

std::string ProgramName()
{
    char path[MAX_PATH + 1] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string name(path, length < MAX_PATH ? length : 0);
    const size_t slash = name.find_last_of("\\/:");
    if (slash != std::string::npos)
        name.erase(0, slash + 1);
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0)
        name.erase(dot);
    return name.empty() ? std::string("quilvex") : name;
}

std::string SystemErrorText(unsigned long code)
{
    char* buffer = nullptr;
    const DWORD length =
        FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
            nullptr, code, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
    std::string text = length && buffer ? std::string(buffer, length) : std::string();
    if (buffer)
        LocalFree(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    return text.empty() ? "error " + std::to_string(code) : text;
}

} // namespace ui::win32
