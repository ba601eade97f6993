// One dialog on screen: the window built from the dialog's template, kept
// in step with the dialog's model, with the user's actions sent to the
// dialog's handlers one at a time.
#pragma once

#include <QEventLoop>
#include <QFont>
#include <QPointer>
#include <map>
#include <memory>
#include <vector>

#include "platform/ui/dialog.h"
#include "platform/ui/dialog_view_base.h"
#include "platform/ui/qt/qt_layout.h"

class QMenu;
class QObject;
class QPushButton;
class QWidget;

namespace ui::qt {

class DialogWindow;
class InputGate;

class QtDialogView final : public DialogViewBase {
public:
    // Builds the dialog's window, hidden, under `parent` (ignored for
    // dialogs shown in the task bar), and attaches itself to the dialog.
    QtDialogView(Dialog& dlg, QWidget* parent);
    // Detaches from the dialog and destroys the window.
    ~QtDialogView() override;

    // Runs the dialog's OnInitDialog as a handler. Returns false when the
    // dialog ended there (the window then never shows).
    bool Initialize();
    // Shows the window modally and puts the focus on the first tab stop.
    void Show();
    // Services the window until the dialog ends; returns the dialog's
    // result (IDCANCEL if the application quits first).
    int Exec();

    // The dialog's system menu as a popup (null when it has no items); each
    // action's data holds its command id.
    std::unique_ptr<QMenu> BuildSystemMenu();

    QWidget* Window() const;
    // The widget of control `id`, or null.
    QWidget* Control(int id) const;
    // Every control's widget, in template order.
    const std::vector<QWidget*>& Widgets() const { return m_widgets; }
    const QFont& Font() const { return m_font; }
    const BaseUnits& Units() const { return m_units; }

    // DialogView
    void TextChanged(int id) override;
    void ProgressChanged(int id) override;
    void IconChanged() override;
    void Ended() override;
    void Flush() override;

private:
    // DialogViewBase: what the user does to the window while a handler runs
    // is held back, then dropped once it has ended.
    void HoldInput() override;
    void ReleaseInput() override;

    QWidget* CreateControl(const ControlTemplate& c);
    void PressEnter();
    void PopUpSystemMenu(QPoint globalPos);
    // Notes a control to paint again at the next Flush.
    void Changed(QWidget* widget);

    QFont m_font;
    BaseUnits m_units;
    std::unique_ptr<DialogWindow> m_window;
    std::unique_ptr<InputGate> m_gate;
    std::vector<QWidget*> m_widgets;
    std::map<int, QWidget*> m_byId;
    QEventLoop* m_loop = nullptr;
    std::vector<QWidget*> m_changed; // controls changed since the last Flush
};

} // namespace ui::qt
