// The desktop front end of the dialog framework: dialogs as real windows,
// one modal run inside another, and the file chooser.
#pragma once

#include <functional>
#include <string>

#include "platform/ui/dialog.h"
#include "platform/ui/dialog_stack.h"
#include "platform/ui/qt/qt_dialog_view.h"

namespace ui::qt {

class QtFrontEnd final : public FrontEnd {
public:
    // Installs itself as the pauses' desktop hook (platform/pause.h): while a
    // handler pauses, the toolkit's paint and other non-input events are
    // handled; user input waits and is then dropped by the busy window.
    QtFrontEnd();
    // Puts the previous desktop hook back.
    ~QtFrontEnd() override;
    QtFrontEnd(const QtFrontEnd&) = delete;
    QtFrontEnd& operator=(const QtFrontEnd&) = delete;

    // Chooses a file instead of the desktop's dialog (tests script it).
    using FileChooser = std::function<bool(QWidget* parent, const FileOpenOptions& options, std::string& path)>;
    // Called for every dialog once its window shows, before it is serviced.
    using ShownHook = std::function<void(Dialog& dlg, QtDialogView& view)>;

    // Shows `dlg` over the active dialog and services it until it ends.
    // Returns its result; -1 (nothing shown) if it is already on screen.
    int RunModal(Dialog& dlg) override;
    // Asks for an existing file over `owner`'s window. Returns true with
    // the full path; false (path untouched) when cancelled.
    bool ChooseOpenFile(Dialog* owner, const FileOpenOptions& options, std::string& path) override;

    // Installs a chooser (empty: the desktop's dialog again).
    void SetFileChooser(FileChooser chooser) { m_chooser = std::move(chooser); }
    void SetShownHook(ShownHook hook) { m_shownHook = std::move(hook); }

    // The window of the innermost dialog on screen (or being set up), or null.
    QWidget* ActiveWindow() const { return m_shown.ActiveWindow(); }
    // The view showing `dlg`, or null.
    QtDialogView* ViewOf(const Dialog* dlg) const { return m_shown.ViewOf(dlg); }

private:
    DialogStack<QtDialogView> m_shown;
    FileChooser m_chooser;
    ShownHook m_shownHook;
    std::function<void()> m_previousDesktopHook;
};

} // namespace ui::qt
