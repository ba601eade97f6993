#include "platform/ui/qt/qt_app.h"

#include <QApplication>
#include <QStyleFactory>

#include "platform/ui/app_run.h"
#include "platform/ui/qt/qt_front_end.h"
#include "platform/ui/qt/qt_message_box.h"

namespace ui {

namespace {

// On X11, Qt hands each paint to the server through shared memory: before
// painting an area again it waits for the server to have copied it, and
// the server sends an event back for every paint. Our paints are a few
// small labels, many times a second while a transfer runs, and cost less
// sent through the connection. Qt reads the variable when it opens the
// display; a user's own setting of it is kept. (It stays set: once the
// application exists other threads run, and the program starts no other.)
void PaintThroughTheConnection()
{
    if (!qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM"))
        qputenv("QT_XCB_NO_MITSHM", "1");
}

} // namespace

int RunQtApplication(int argc, char** argv, App& app, const std::function<void(qt::QtFrontEnd&)>& prepare)
{
    PaintThroughTheConnection();
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
