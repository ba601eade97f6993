// Saves a picture of the main window as the program shows it after its
// start-up: the real application runs against the ports QUILVEX_COM<n>
// name (a simulated modem, say), every message box is answered with OK and
// echoed to standard error, and the window is drawn to the PNG named on the
// command line before Exit is pressed.
#include <QApplication>
#include <QWidget>
#include <QStyleFactory>
#include <cstdio>

#include "app/QuilvexApp.h"
#include "platform/ui/qt/qt_dialog_view.h"
#include "platform/ui/qt/qt_front_end.h"
#include "res/resource.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.png\n", argv[0]);
        return 2;
    }
    const QString output = QString::fromLocal8Bit(argv[1]);
    QApplication application(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setQuitOnLastWindowClosed(false);

    ui::qt::QtFrontEnd frontEnd;
    ui::SetFrontEnd(&frontEnd);
    ui::SetMessagePresenter([](const std::string& text, ui::MessageButtons) {
        std::fprintf(stderr, "message: %s\n", text.c_str());
        return IDOK; // res/resource.h makes IDOK a macro
    });
    bool saved = false;
    frontEnd.SetShownHook([&](ui::Dialog& dlg, ui::qt::QtDialogView& view) {
        if (dlg.Template().id != IDD_QUILVEX_DIALOG)
            return;
        QApplication::processEvents();
        saved = view.Window()->grab().save(output, "PNG");
        view.Command(IDCANCEL);
    });
    theApp.InitInstance();
    ui::SetFrontEnd(nullptr);
    if (!saved) {
        std::fprintf(stderr, "the main window never showed, or %s could not be written\n", argv[1]);
        return 1;
    }
    return 0;
}
