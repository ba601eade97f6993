#include "platform/ui/console/console_io.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace console {

namespace {
HANDLE Handle(Stream stream)
{
    return ::GetStdHandle(stream == Stream::Out ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
}

bool IsConsole(HANDLE handle)
{
    DWORD mode = 0;
    return handle && handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode);
}
} // namespace

bool InputIsTerminal()
{
    return IsConsole(::GetStdHandle(STD_INPUT_HANDLE));
}

bool IsTerminal(Stream stream)
{
    return IsConsole(Handle(stream));
}

bool ReadLine(std::string& line)
{
    line.clear();
    HANDLE in = ::GetStdHandle(STD_INPUT_HANDLE);
    for (;;) {
        char c = 0;
        DWORD got = 0;
        if (!::ReadFile(in, &c, 1, &got, nullptr) || got == 0)
            return false;
        if (c == 0x1A) // Ctrl-Z: the console's end of input
            return false;
        if (c == '\n')
            return true;
        if (c != '\r')
            line += c;
    }
}

bool WriteAll(Stream stream, std::string_view text)
{
    HANDLE out = Handle(stream);
    while (!text.empty()) {
        DWORD put = 0;
        const DWORD size = text.size() > 0x10000 ? 0x10000 : static_cast<DWORD>(text.size());
        if (!::WriteFile(out, text.data(), size, &put, nullptr) || put == 0)
            return false;
        text.remove_prefix(put);
    }
    return true;
}

} // namespace console
