// Keeps user input away from one window while it is busy.
#pragma once

#include <QObject>

class QWidget;

namespace ui::qt {

// An application-wide event filter: while closed, it swallows mouse, key,
// wheel, touch and context-menu events aimed at `window` or its children.
class InputGate : public QObject {
public:
    // Installs itself on the application; removes itself when destroyed.
    explicit InputGate(QWidget* window);
    ~InputGate() override;
    InputGate(const InputGate&) = delete;
    InputGate& operator=(const InputGate&) = delete;

    bool closed = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* m_window;
};

} // namespace ui::qt
