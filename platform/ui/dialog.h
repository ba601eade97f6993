// The dialog framework the program's windows are built on: a dialog made
// from a template, its controls' state, data exchange with the dialog's
// members, and the handlers the front end calls. Nothing here depends on a
// toolkit; the desktop front end (a DialogView) shows the model and feeds
// user actions back into the handlers.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/dialog_template.h"
#include "platform/ui/message_box.h"

namespace ui {

class Dialog;

// A window icon, named by its resource id (0: none).
struct Icon {
    int resourceId = 0;
    bool operator==(const Icon&) const = default;
};
// The icon resource with this id (the front end draws it).
Icon LoadIcon(int resourceId);

// A progress-bar control. It lives in the dialog that binds it and tells
// the dialog's view when it changes.
class ProgressCtrl {
public:
    // Range and step as the control keeps them; the defaults are 0..100, step 10.
    void SetRange(int lower, int upper);
    int SetStep(int step); // returns the previous step
    int StepIt(); // advances by the step, wrapping to lower past upper; returns the old position
    void SetPos(int pos);
    int GetPos() const { return m_pos; }
    int GetStep() const { return m_step; }
    int Lower() const { return m_lower; }
    int Upper() const { return m_upper; }
    int StepCount() const { return m_steps; } // how often StepIt ran

    // Connects the control to a dialog's control id (data exchange does this).
    void Attach(Dialog* owner, int id);

private:
    void Changed();
    Dialog* m_owner = nullptr;
    int m_id = 0;
    int m_lower = 0, m_upper = 100, m_step = 10, m_pos = 0, m_steps = 0;
};

// The direction and the bindings of one data exchange.
class DataExchange {
public:
    DataExchange(Dialog& dlg, bool saving) : m_dlg(dlg), m_saving(saving) { }
    bool Saving() const { return m_saving; }
    // Binds a string member to a control's text.
    void Text(int id, std::string& member);
    // Binds a control object to a control.
    void Control(int id, ProgressCtrl& ctrl);

private:
    Dialog& m_dlg;
    bool m_saving;
};

// Told of every control text that a push to the window changes: the
// dialog, the control and its new text. Installs it and returns the one
// it replaces (empty: none).
using PushObserver = std::function<void(const Dialog& dlg, int id, const std::string& text)>;
PushObserver SetPushObserver(PushObserver observer);

// The system menu's items, as the front end offers them.
struct MenuItem {
    bool separator = false;
    unsigned commandId = 0;
    std::string text;
};
class Menu {
public:
    void AppendSeparator() { m_items.push_back({true, 0, {}}); }
    void AppendItem(unsigned commandId, const std::string& text) { m_items.push_back({false, commandId, text}); }
    const std::vector<MenuItem>& Items() const { return m_items; }

private:
    std::vector<MenuItem> m_items;
};

// What a front end does for one shown dialog.
class DialogView {
public:
    virtual ~DialogView() = default;
    virtual void TextChanged(int id) = 0; // the model's text of control `id` changed
    virtual void ProgressChanged(int id) = 0; // the progress bar `id` changed
    virtual void IconChanged() = 0;
    virtual void Ended() = 0; // EndDialog was called
    // Makes the latest texts visible now, painting again only the controls
    // that changed since the last Flush. Services no events: during a busy
    // handler the desktop is answered by the pauses' desktop hook
    // (platform/pause.h), which the front end installs.
    virtual void Flush() = 0;
};

class Dialog {
public:
    explicit Dialog(int templateId);
    virtual ~Dialog();
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // Shows the dialog modally through the installed front end and returns
    // the result it ended with. Without a front end: runs OnInitDialog and
    // returns the result if it ended there, else IDCANCEL.
    int DoModal();
    // Ends the dialog with `result`; the front end closes it.
    void EndDialog(int result);
    bool IsEnded() const { return m_ended; }
    int Result() const { return m_result; }

    // Data exchange: true pulls control texts into the members, false pushes
    // the members into the controls (and makes them visible at once).
    bool UpdateData(bool saveAndValidate = true);

    // Control state, as the user would see it.
    std::string GetControlText(int id) const;
    void SetControlText(int id, const std::string& text); // as if the user typed it
    const DialogTemplate& Template() const { return *m_template; }
    // The progress control that data exchange bound to `id`, or null.
    const ProgressCtrl* FindProgressCtrl(int id) const;

    void SetIcon(Icon icon, bool bigIcon);
    Icon GetIcon(bool bigIcon) const { return bigIcon ? m_bigIcon : m_smallIcon; }
    // The one icon of a window that shows a single one: the big icon, else
    // the small one (resource id 0 when neither is set).
    Icon WindowIcon() const { return m_bigIcon.resourceId ? m_bigIcon : m_smallIcon; }
    // The system menu, or null when the template has none.
    Menu* GetSystemMenu();

    // Handlers the front end calls.
    virtual bool OnInitDialog(); // base: pushes the members; returns true
    virtual void OnOK(); // base: pulls, then ends with IDOK
    virtual void OnCancel(); // base: ends with IDCANCEL
    virtual void OnCommand(int controlId); // a push button other than OK/Cancel
    virtual void OnSysCommand(unsigned commandId);
    virtual Icon OnQueryDragIcon();

    // The front end attaches itself while it shows the dialog.
    void AttachView(DialogView* view) { m_view = view; }
    DialogView* View() const { return m_view; }

protected:
    virtual void DoDataExchange(DataExchange& dx);

private:
    friend class DataExchange;
    friend class ProgressCtrl;
    void ProgressChanged(int id);

    const DialogTemplate* m_template;
    std::map<int, std::string> m_texts;
    std::map<int, const ProgressCtrl*> m_progressCtrls;
    std::unique_ptr<Menu> m_sysMenu;
    Icon m_bigIcon, m_smallIcon;
    DialogView* m_view = nullptr;
    bool m_ended = false;
    int m_result = 0;
};

// Options of the file-open chooser.
struct FileOpenOptions {
    std::string defaultExtension; // e.g. "*.dlf"
    std::string initialFile;
    std::string filter; // "Label|pattern|Label|pattern||"
    bool fileMustExist = true;
    bool pathMustExist = true;
};
// Asks the user for an existing file. Returns true and the full path when
// the user confirmed; false (path untouched) when cancelled.
bool ChooseOpenFile(Dialog* owner, const FileOpenOptions& options, std::string& path);

// What the front end provides: modal runs and the file chooser.
class FrontEnd {
public:
    virtual ~FrontEnd() = default;
    virtual int RunModal(Dialog& dlg) = 0;
    virtual bool ChooseOpenFile(Dialog* owner, const FileOpenOptions& options, std::string& path) = 0;
};
// Installs the front end (null: none) and returns the previous one.
FrontEnd* SetFrontEnd(FrontEnd* frontEnd);
FrontEnd* CurrentFrontEnd();

// The application object: one per program.
class App {
public:
    App();
    virtual ~App();
    // Runs the program; returning false ends it without a message loop.
    virtual bool InitInstance() = 0;
    Dialog* m_pMainWnd = nullptr;
};
// The program's one application object (null before it is constructed).
App* TheApp();

} // namespace ui
