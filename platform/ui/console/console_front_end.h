// The terminal front end of the dialog framework: a dialog has no window;
// its start-up runs, then the program's stand-in for the user acts on it
// (fills a field, presses a button) as a person at the window would. The
// file chooser is a question on the terminal. Every push of the dialog's
// members reaches a listener, which shows what it wants of them.
#pragma once

#include <functional>
#include <string>

#include "platform/ui/dialog.h"

namespace ui::console {

class ConsoleFrontEnd final : public FrontEnd {
public:
    // What the user does with a dialog its start-up left open. A dialog
    // still open afterwards is closed as with Escape (OnCancel).
    using Act = std::function<void(Dialog& dlg)>;
    // Told after every push of a shown dialog's members (UpdateData(false)).
    using Pushed = std::function<void(Dialog& dlg)>;
    // Asks the user for a file name; false when none was given.
    using AskFile = std::function<bool(const FileOpenOptions& options, std::string& path)>;

    ConsoleFrontEnd(Act act, Pushed pushed, AskFile askFile);

    // Runs `dlg`'s start-up and then the Act. Returns the result it ended
    // with; -1 if it is already being shown.
    int RunModal(Dialog& dlg) override;
    // Asks through AskFile. Returns true with the path made absolute;
    // false (path untouched) when nothing was given.
    bool ChooseOpenFile(Dialog* owner, const FileOpenOptions& options, std::string& path) override;

private:
    Act m_act;
    Pushed m_pushed;
    AskFile m_askFile;
};

} // namespace ui::console
