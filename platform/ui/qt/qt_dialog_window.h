// The top-level window of one shown dialog. It turns the keyboard's Enter
// and Escape, the close box and right clicks into requests to its view.
#pragma once

#include <QDialog>
#include <QPoint>
#include <functional>

namespace ui::qt {

class DialogWindow : public QDialog {
public:
    struct Requests {
        std::function<void()> cancel; // Escape or the close box
        std::function<void()> enter; // Enter, outside a push button
        std::function<void(QPoint)> systemMenu; // right click or the menu key, at a global position
    };
    DialogWindow(QWidget* parent, Qt::WindowFlags flags, Requests requests);

    // The window never closes itself: every way out goes through the view.
    void reject() override;
    void accept() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    Requests m_requests;
};

} // namespace ui::qt
