// The desktop front end of the dialog framework on Win32: dialogs as the
// system's own modal dialogs, one inside another, and the file chooser.
#pragma once

#include "platform/ui/win32/win32_system.h"

#include <functional>
#include <string>

#include "platform/pause.h"
#include "platform/ui/dialog.h"
#include "platform/ui/dialog_stack.h"
#include "platform/ui/win32/win32_dialog_view.h"
#include "platform/ui/win32/win32_input_gate.h"

namespace ui::win32 {

class Win32FrontEnd final : public FrontEnd {
public:
    // Dialogs load their icons from `instance`'s resources. For its lifetime
    // the pauses answer the desktop (ServiceDesktop: paint and other
    // non-input messages, never input or a close request).
    explicit Win32FrontEnd(HINSTANCE instance);
    ~Win32FrontEnd() override;
    Win32FrontEnd(const Win32FrontEnd&) = delete;
    Win32FrontEnd& operator=(const Win32FrontEnd&) = delete;

    // Shows `dlg` over the innermost dialog and services it until it ends.
    // Returns its result; -1 if it is already on screen or cannot be shown.
    int RunModal(Dialog& dlg) override;
    // Asks for an existing file over `owner`'s window (the innermost one when
    // `owner` is not on screen). Returns true with the full path; false
    // (path untouched) when cancelled or when the chooser failed.
    bool ChooseOpenFile(Dialog* owner, const FileOpenOptions& options, std::string& path) override;

    void SetShownHook(Win32DialogView::ShownHook hook) { m_shownHook = std::move(hook); }
    // The window of the innermost dialog on screen (or being set up), or null.
    HWND ActiveWindow() const { return m_shown.ActiveWindow(); }
    // The view showing `dlg`, or null.
    Win32DialogView* ViewOf(const Dialog* dlg) const { return m_shown.ViewOf(dlg); }

private:
    HINSTANCE m_instance;
    InputGate m_gate;
    DialogStack<Win32DialogView> m_shown;
    Win32DialogView::ShownHook m_shownHook;
    platform::DesktopHook m_previousDesktopHook;
};

// The file-open dialog of the system: `options` as it reads them. Returns
// true with the chosen full path; false (path untouched) otherwise.
bool RunFileOpenDialog(HWND owner, const FileOpenOptions& options, std::string& path);

} // namespace ui::win32
