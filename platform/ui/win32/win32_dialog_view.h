// One dialog on screen: the desktop's own modal dialog, built from the
// dialog's template, kept in step with the dialog's model, with the user's
// actions sent to the dialog's handlers one at a time.
#pragma once

#include "platform/ui/win32/win32_system.h"

#include <functional>
#include <set>

#include "platform/ui/dialog.h"
#include "platform/ui/dialog_view_base.h"

namespace ui::win32 {

class Win32DialogView final : public DialogViewBase {
public:
    // Called once the window has shown and before it takes input.
    using ShownHook = std::function<void(Dialog& dlg, Win32DialogView& view)>;

    // A view of `dlg` whose window, once Run creates it, is owned by `owner`
    // and takes its icons from `instance`'s resources.
    Win32DialogView(Dialog& dlg, HINSTANCE instance, HWND owner);

    // Creates the window, runs OnInitDialog inside its initialisation and
    // services it until the dialog ends. Returns the dialog's result, or -1
    // when the window could not be created (the reason shown in a box).
    int Run(const ShownHook& shown);

    HWND Window() const { return m_hwnd; }

    // DialogView
    void TextChanged(int id) override;
    void ProgressChanged(int id) override;
    void IconChanged() override;
    void Ended() override;
    void Flush() override;

private:
    // DialogViewBase: the input gate holds the window (and its controls)
    // closed while a handler runs.
    void HoldInput() override;
    void ReleaseInput() override;

    static INT_PTR CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void Initialize(HWND hwnd);
    void ControlNotified(int id, int code);
    void SyncSystemMenu();
    void PaintIcon();
    HICON IconHandle(int resourceId, bool big) const;

    HINSTANCE m_instance;
    HWND m_owner;
    HWND m_hwnd = nullptr;
    HWND m_heldWindow = nullptr; // the window closed to input by HoldInput
    ShownHook m_shown;
    std::set<HWND> m_changed; // controls to repaint at the next flush
    size_t m_menuItemsShown = 0;
    int m_stepsShown = 0;
    bool m_settingText = false;
};

} // namespace ui::win32
