#include "platform/ui/qt/qt_input_gate.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

namespace ui::qt {

namespace {
bool IsUserInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
        return true;
    default:
        return false;
    }
}
} // namespace

InputGate::InputGate(QWidget* window) : m_window(window)
{
    QCoreApplication::instance()->installEventFilter(this);
}

InputGate::~InputGate()
{
    if (QCoreApplication* app = QCoreApplication::instance())
        app->removeEventFilter(this);
}

bool InputGate::eventFilter(QObject* watched, QEvent* event)
{
    if (!closed || !IsUserInput(event->type()) || !watched->isWidgetType())
        return false;
    return static_cast<QWidget*>(watched)->window() == m_window;
}

} // namespace ui::qt
