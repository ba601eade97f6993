#include "platform/ui/qt/qt_app.h"

#include <QApplication>
#include <QStyleFactory>

#include "platform/ui/app_run.h"
#include "platform/ui/qt/qt_front_end.h"
#include "platform/ui/qt/qt_message_box.h"

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
    return RunApp(app, frontEnd, qt::MakeMessagePresenter(frontEnd), [&] {
        if (prepare)
            prepare(frontEnd);
    });
}

} // namespace ui
