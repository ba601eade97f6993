// Ctrl-C and Ctrl-Break through the console's control handler; the
// session's end through a hidden top-level window, which answers
// WM_QUERYENDSESSION as the session guard says and carries its shutdown
// block reason (a console cannot refuse for its own window). The window
// belongs to the main thread and is answered from the pauses.
#include "platform/ui/console/console_signals.h"

#include "platform/pause.h"
#include "platform/session_guard.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <atomic>

namespace console {

namespace {

std::string g_farewell;
std::string g_farewellOut;
int g_code = 0;
std::atomic<bool> g_refusing{false};
std::atomic<int> g_refused{0};
HWND g_window = nullptr;

void WriteRaw(DWORD which, const std::string& text)
{
    DWORD put = 0;
    if (!text.empty())
        ::WriteFile(::GetStdHandle(which), text.data(), static_cast<DWORD>(text.size()), &put, nullptr);
}

BOOL WINAPI OnControl(DWORD type)
{
    const bool interrupt = type == CTRL_C_EVENT || type == CTRL_BREAK_EVENT;
    if (g_refusing.load()) {
        g_refused.fetch_add(1);
        // The console's closing, logoff and shutdown cannot be refused
        // here; the hidden window holds the session off where it can.
        return interrupt ? TRUE : FALSE;
    }
    WriteRaw(STD_ERROR_HANDLE, g_farewell);
    WriteRaw(STD_OUTPUT_HANDLE, g_farewellOut);
    ::ExitProcess(static_cast<UINT>(g_code));
    return TRUE;
}

LRESULT CALLBACK SessionWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_QUERYENDSESSION)
        return platform::SessionEndRefused() ? FALSE : TRUE;
    return ::DefWindowProcA(window, message, wParam, lParam);
}

void CreateSessionWindow()
{
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = SessionWindowProc;
    windowClass.hInstance = ::GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "QuilvexConsoleSession";
    ::RegisterClassA(&windowClass);
    // Top-level (not message-only): only those are asked about the session's end.
    g_window = ::CreateWindowExA(0, windowClass.lpszClassName, "Quilvex", WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr,
        windowClass.hInstance, nullptr);
    if (!g_window)
        return;
    platform::SetSessionWindow(g_window);
    platform::SetDesktopHook([] {
        MSG msg;
        while (::PeekMessageA(&msg, g_window, 0, 0, PM_REMOVE))
            ::DispatchMessageA(&msg);
    });
}

} // namespace

void SetInterruptExit(int code, const std::string& farewell, const std::string& farewellOut)
{
    g_farewell = farewell;
    g_farewellOut = farewellOut;
    g_code = code;
}

void EndOnInterrupt()
{
    ::SetConsoleCtrlHandler(OnControl, TRUE);
    CreateSessionWindow();
}

void RefuseInterrupts()
{
    g_refusing = true;
}

void AllowInterrupts()
{
    g_refusing = false;
}

int TakeRefusedInterrupts()
{
    return g_refused.exchange(0);
}

} // namespace console
