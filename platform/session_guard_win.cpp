// The desktop session on Windows: the main window refuses the session's
// end (its window procedure asks SessionEndRefused) and registers the
// reason Windows shows beside it, and the thread keeps the machine awake.
#include "platform/session_guard.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <string>

namespace platform {

namespace {

HWND g_window = nullptr;
int g_guards = 0;

// The reason in UTF-16, read in the system's ANSI code page as every
// string of the program is; within the system's limit on its length.
std::wstring Wide(const std::string& text)
{
    std::wstring wide(MAX_STR_BLOCKREASON, L'\0');
    const int n = text.empty() ? 0
                               : ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                     wide.data(), MAX_STR_BLOCKREASON - 1);
    wide.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return wide;
}

} // namespace

struct SessionGuard::Held {
    HWND window = nullptr; // where the reason is registered; null: not registered
    EXECUTION_STATE previous = 0; // the thread's state before; 0: unchanged
};

SessionGuard::SessionGuard(const std::string& reason) : m_held(std::make_unique<Held>())
{
    if (++g_guards == 1)
        NotifySessionHold(true);
    m_held->previous = ::SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
    if (g_window && ::ShutdownBlockReasonCreate(g_window, Wide(reason).c_str()))
        m_held->window = g_window;
}

SessionGuard::~SessionGuard()
{
    if (m_held->window)
        ::ShutdownBlockReasonDestroy(m_held->window);
    if (m_held->previous) {
        // Back to what the thread asked for before (nothing, normally).
        const EXECUTION_STATE kept = ES_SYSTEM_REQUIRED | ES_DISPLAY_REQUIRED | ES_AWAYMODE_REQUIRED;
        ::SetThreadExecutionState(
            (m_held->previous & ES_CONTINUOUS) ? ES_CONTINUOUS | (m_held->previous & kept) : ES_CONTINUOUS);
    }
    if (--g_guards == 0)
        NotifySessionHold(false);
}

bool SessionEndRefused()
{
    return g_guards > 0;
}

void SetSessionWindow(void* window)
{
    g_window = static_cast<HWND>(window);
}

} // namespace platform
