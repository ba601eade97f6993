#include "platform/ui/win32/win32_input_gate.h"

#include <map>

namespace ui::win32 {

namespace {

HHOOK g_hook = nullptr;
int g_gates = 0;

std::map<HWND, int>& Closed()
{
    static std::map<HWND, int> closed;
    return closed;
}

LRESULT CALLBACK GetMessageHook(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HC_ACTION && wParam == PM_REMOVE) {
        MSG* msg = reinterpret_cast<MSG*>(lParam);
        if (IsUserInput(msg->message) && InputGate::Blocks(msg->hwnd))
            msg->message = WM_NULL;
    }
    return CallNextHookEx(g_hook, code, wParam, lParam);
}

} // namespace

bool IsUserInput(UINT message)
{
    return (message >= WM_KEYFIRST && message <= WM_KEYLAST) || (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST) ||
        (message >= WM_NCMOUSEMOVE && message <= WM_NCXBUTTONDBLCLK) || message == WM_NCMOUSEHOVER ||
        message == WM_NCMOUSELEAVE || message == WM_MOUSEHOVER || message == WM_MOUSELEAVE || message == WM_INPUT;
}

InputGate::InputGate()
{
    if (g_gates++ == 0)
        g_hook = SetWindowsHookExW(WH_GETMESSAGE, GetMessageHook, nullptr, GetCurrentThreadId());
}

InputGate::~InputGate()
{
    if (--g_gates == 0 && g_hook) {
        UnhookWindowsHookEx(g_hook);
        g_hook = nullptr;
    }
}

void InputGate::Close(HWND window)
{
    ++Closed()[window];
}

void InputGate::Open(HWND window)
{
    auto it = Closed().find(window);
    if (it != Closed().end() && --it->second <= 0)
        Closed().erase(it);
}

bool InputGate::Blocks(HWND target)
{
    for (const auto& [window, count] : Closed())
        if (target == window || IsChild(window, target))
            return true;
    return false;
}

int ServiceDesktop()
{
    // Bounded, so a stream of timer or paint messages cannot keep a handler
    // from going on.
    constexpr int kMaxMessages = 200;
    MSG msg;
    int handled = 0;
    bool quit = false;
    WPARAM quitCode = 0;
    while (handled < kMaxMessages && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ++handled;
        if (msg.message == WM_QUIT) {
            quit = true;
            quitCode = msg.wParam;
            continue;
        }
        if (IsUserInput(msg.message))
            continue; // meant for a window that is busy: dropped
        DispatchMessageW(&msg);
    }
    if (quit)
        PostQuitMessage(static_cast<int>(quitCode));
    return handled;
}

} // namespace ui::win32
