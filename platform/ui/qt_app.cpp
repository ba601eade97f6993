#include "platform/ui/qt_app.h"

#include <QApplication>
#include <QStyleFactory>

#include "platform/ui/qt_front_end.h"
#include "platform/ui/qt_message_box.h"

namespace ui {

int RunQtApplication(int argc, char** argv, App& app, const std::function<void(qt::QtFrontEnd&)>& prepare)
{
    QApplication application(argc, argv);
    // The layouts are measured against this style's margins.
    if (QStyle* style = QStyleFactory::create(QStringLiteral("Fusion")))
        QApplication::setStyle(style);
    // Dialogs end the program themselves; a window closing does not.
    QApplication::setQuitOnLastWindowClosed(false);

    qt::QtFrontEnd frontEnd;
    FrontEnd* previousFrontEnd = SetFrontEnd(&frontEnd);
    MessagePresenter previousPresenter = SetMessagePresenter(qt::MakeMessagePresenter(frontEnd));

    // There is no message loop after the dialogs: InitInstance runs them
    // all and its answer only says the program is done.
    if (prepare)
        prepare(frontEnd);
    app.InitInstance();

    SetMessagePresenter(std::move(previousPresenter));
    SetFrontEnd(previousFrontEnd);
    return 0;
}

} // namespace ui
