// One dialog on screen: the desktop's own modal dialog, built from the
// dialog's template, kept in step with the dialog's model, with the user's
// actions sent to the dialog's handlers one at a time.
#pragma once

#include "platform/ui/win32_system.h"

#include <functional>
#include <set>

#include "platform/ui/dialog.h"

namespace ui::win32 {

class Win32DialogView final : public DialogView {
public:
    // Called once the window has shown and before it takes input.
    using ShownHook = std::function<void(Dialog& dlg, Win32DialogView& view)>;

    Win32DialogView(Dialog& dlg, HINSTANCE instance, HWND owner);
    ~Win32DialogView() override;
    Win32DialogView(const Win32DialogView&) = delete;
    Win32DialogView& operator=(const Win32DialogView&) = delete;

    // Creates the window, runs OnInitDialog inside its initialisation and
    // services it until the dialog ends. Returns the dialog's result, or -1
    // when the window could not be created (the reason shown in a box).
    int Run(const ShownHook& shown);

    // Runs a handler unless one is already running or the dialog has ended;
    // the window takes no input meanwhile. Returns whether it ran.
    bool RunHandler(const std::function<void()>& handler);
    bool HandlerRunning() const { return m_handlerDepth > 0; }

    Dialog& Model() const { return m_dlg; }
    HWND Window() const { return m_hwnd; }

    // DialogView
    void TextChanged(int id) override;
    void ProgressChanged(int id) override;
    void IconChanged() override;
    void Ended() override;
    void Flush() override;

private:
    static INT_PTR CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void Initialize(HWND hwnd);
    void Command(int id, int code);
    void SyncSystemMenu();
    void PaintIcon();
    HICON IconHandle(int resourceId, bool big) const;

    Dialog& m_dlg;
    HINSTANCE m_instance;
    HWND m_owner;
    HWND m_hwnd = nullptr;
    ShownHook m_shown;
    std::set<HWND> m_changed; // controls to repaint at the next flush
    size_t m_menuItemsShown = 0;
    int m_stepsShown = 0;
    int m_handlerDepth = 0;
    bool m_settingText = false;
};

} // namespace ui::win32
