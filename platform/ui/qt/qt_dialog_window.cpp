#include "platform/ui/qt/qt_dialog_window.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <utility>

namespace ui::qt {

DialogWindow::DialogWindow(QWidget* parent, Qt::WindowFlags flags, Requests requests)
    : QDialog(parent, flags), m_requests(std::move(requests))
{
}

void DialogWindow::reject()
{
    if (m_requests.cancel)
        m_requests.cancel();
}

void DialogWindow::accept()
{
    if (m_requests.enter)
        m_requests.enter();
}

void DialogWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->modifiers() & ~Qt::KeypadModifier) {
        QDialog::keyPressEvent(event);
        return;
    }
    switch (event->key()) {
    case Qt::Key_Escape:
        event->accept();
        reject();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        event->accept();
        accept();
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

void DialogWindow::closeEvent(QCloseEvent* event)
{
    event->ignore();
    reject();
}

void DialogWindow::contextMenuEvent(QContextMenuEvent* event)
{
    event->accept();
    if (m_requests.systemMenu)
        m_requests.systemMenu(event->globalPos());
}

} // namespace ui::qt
