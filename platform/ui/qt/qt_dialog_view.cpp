#include "platform/ui/qt/qt_dialog_view.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>

#include "platform/ui/qt/qt_controls.h"
#include "platform/ui/qt/qt_dialog_window.h"
#include "platform/ui/qt/qt_icons.h"
#include "platform/ui/qt/qt_input_gate.h"
#include "platform/ui/qt/qt_text.h"

namespace ui::qt {

namespace {

Qt::WindowFlags WindowFlagsFor(unsigned style)
{
    Qt::WindowFlags flags = (style & DialogAppWindow) ? Qt::Window : Qt::Dialog;
    flags |= Qt::CustomizeWindowHint; // only the hints below: no minimize, maximize or help
    if (style & DialogCaption)
        flags |= Qt::WindowTitleHint;
    if (style & DialogSysMenu)
        flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    return flags;
}

} // namespace

QtDialogView::QtDialogView(Dialog& dlg, QWidget* parent) : DialogViewBase(dlg)
{
    const DialogTemplate& tmpl = dlg.Template();
    m_font = DialogFont(tmpl);
    m_units = BaseUnitsOf(m_font);

    DialogWindow::Requests requests;
    requests.cancel = [this] { RunHandler([this] { m_dlg.OnCancel(); }); };
    requests.enter = [this] { PressEnter(); };
    requests.systemMenu = [this](QPoint pos) { PopUpSystemMenu(pos); };
    QWidget* owner = (tmpl.style & DialogAppWindow) ? nullptr : parent;
    m_window = std::make_unique<DialogWindow>(owner, WindowFlagsFor(tmpl.style), std::move(requests));
    m_window->setWindowModality(Qt::ApplicationModal);
    m_window->setFont(m_font);
    m_window->setWindowTitle(ToQString(tmpl.title));
    m_window->setAccessibleName(ToQString(tmpl.title).trimmed());
    m_window->setFixedSize(MapDialogSize(m_units, tmpl.cx, tmpl.cy));

    for (const ControlTemplate& c : tmpl.controls) {
        QWidget* widget = CreateControl(c);
        widget->setGeometry(MapDialogRect(m_units, c.x, c.y, c.cx, c.cy));
        m_widgets.push_back(widget);
        if (c.id != IDC_STATIC)
            m_byId.emplace(c.id, widget);
    }
    // Group boxes only frame the controls they hold: keep them underneath.
    for (size_t i = 0; i < m_widgets.size(); ++i) {
        if (tmpl.controls[i].kind == ControlKind::GroupBox)
            m_widgets[i]->lower();
        else
            NameAfterGroupBox(m_widgets[i], tmpl.controls[i], tmpl);
        // A label standing on nothing but the window's background fills
        // that background itself, so a change of its text (a packet's
        // number, many times a second) paints the label alone, not the
        // group box around it as well. It looks the same.
        if (tmpl.controls[i].kind == ControlKind::Label && OnPlainBackground(tmpl, i))
            m_widgets[i]->setAutoFillBackground(true);
    }

    m_gate = std::make_unique<InputGate>(m_window.get());
    dlg.AttachView(this);
    IconChanged();
}

QtDialogView::~QtDialogView() = default;

QWidget* QtDialogView::CreateControl(const ControlTemplate& c)
{
    const std::string& text = c.id == IDC_STATIC ? c.text : m_dlg.GetControlText(c.id);
    QWidget* widget = CreateControlWidget(c, text, m_window.get());
    const int id = c.id;
    if (auto* button = qobject_cast<QPushButton*>(widget))
        QObject::connect(button, &QPushButton::clicked, button, [this, id] { Command(id); });
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        // Only what the user types goes into the model; texts pushed from
        // the model are there already, byte for byte.
        QObject::connect(edit, &QLineEdit::textEdited, edit,
            [this, id](const QString& typed) { m_dlg.SetControlText(id, FromQString(typed)); });
    }
    return widget;
}

bool QtDialogView::Initialize()
{
    RunHandler([this] { m_dlg.OnInitDialog(); });
    return !m_dlg.IsEnded();
}

void QtDialogView::Show()
{
    if (m_dlg.IsEnded())
        return;
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
    const DialogTemplate& tmpl = m_dlg.Template();
    for (size_t i = 0; i < m_widgets.size(); ++i)
        if ((tmpl.controls[i].style & StyleTabStop) && m_widgets[i]->isEnabled()) {
            m_widgets[i]->setFocus(Qt::TabFocusReason);
            break;
        }
}

int QtDialogView::Exec()
{
    if (!m_dlg.IsEnded()) {
        QEventLoop loop;
        m_loop = &loop;
        loop.exec(QEventLoop::DialogExec);
        m_loop = nullptr;
    }
    m_window->hide();
    return m_dlg.IsEnded() ? m_dlg.Result() : IDCANCEL;
}

void QtDialogView::HoldInput()
{
    // The window takes no input while its handler runs, whichever event
    // loop (a message box's, a nested dialog's) would deliver it.
    m_gate->closed = true;
}

void QtDialogView::ReleaseInput()
{
    // Clicks and keys that arrived while the handler ran were held back;
    // they were meant for a window that was busy, so the closed gate
    // swallows them now.
    QCoreApplication::processEvents();
    m_gate->closed = false;
}

void QtDialogView::PressEnter()
{
    if (Busy())
        return;
    // Enter presses the focused push button, else the default one, else OK.
    if (auto* focused = qobject_cast<QPushButton*>(m_window->focusWidget()); focused && focused->isEnabled()) {
        focused->click();
        return;
    }
    for (QWidget* widget : m_widgets)
        if (auto* button = qobject_cast<QPushButton*>(widget); button && button->isDefault() && button->isEnabled()) {
            button->click();
            return;
        }
    Command(IDOK);
}

std::unique_ptr<QMenu> QtDialogView::BuildSystemMenu()
{
    Menu* sysMenu = m_dlg.GetSystemMenu();
    if (!sysMenu || sysMenu->Items().empty())
        return nullptr;
    auto menu = std::make_unique<QMenu>(m_window.get());
    for (const MenuItem& item : sysMenu->Items()) {
        if (item.separator) {
            menu->addSeparator();
            continue;
        }
        QAction* action = menu->addAction(ToQString(item.text));
        action->setData(item.commandId);
    }
    return menu;
}

void QtDialogView::PopUpSystemMenu(QPoint globalPos)
{
    if (Busy())
        return;
    std::unique_ptr<QMenu> menu = BuildSystemMenu();
    if (!menu)
        return;
    QAction* chosen = menu->exec(globalPos);
    if (chosen && !chosen->isSeparator())
        SystemCommand(chosen->data().toUInt());
}

QWidget* QtDialogView::Window() const
{
    return m_window.get();
}

QWidget* QtDialogView::Control(int id) const
{
    auto it = m_byId.find(id);
    return it == m_byId.end() ? nullptr : it->second;
}

void QtDialogView::TextChanged(int id)
{
    const ControlTemplate* c = m_dlg.Template().Find(id);
    QWidget* widget = Control(id);
    if (c && widget) {
        ShowControlText(widget, c->kind, m_dlg.GetControlText(id));
        Changed(widget);
    }
}

void QtDialogView::Changed(QWidget* widget)
{
    if (std::find(m_changed.begin(), m_changed.end(), widget) == m_changed.end())
        m_changed.push_back(widget);
}

void QtDialogView::ProgressChanged(int id)
{
    const ProgressCtrl* ctrl = m_dlg.FindProgressCtrl(id);
    auto* bar = qobject_cast<QProgressBar*>(Control(id));
    if (!ctrl || !bar)
        return;
    bar->setRange(ctrl->Lower(), ctrl->Upper());
    bar->setValue(ctrl->GetPos());
    Changed(bar);
}

void QtDialogView::IconChanged()
{
    const Icon icon = m_dlg.WindowIcon();
    m_window->setWindowIcon(icon.resourceId ? IconForResource(icon.resourceId) : QIcon());
}

void QtDialogView::Ended()
{
    m_window->hide();
    if (m_loop)
        m_loop->quit();
}

void QtDialogView::Flush()
{
    // Only what changed is painted again, and at once; the rest of the
    // window still shows what it showed. The desktop's own events are left
    // to the pauses (the desktop hook), so a push costs a few labels' paint.
    std::vector<QWidget*> changed;
    changed.swap(m_changed);
    if (!m_window->isVisible())
        return;
    for (QWidget* widget : changed)
        if (widget->isVisible())
            widget->repaint();
}

} // namespace ui::qt
