#include "tests/app/qt_test_env.h"

#include <QMenu>
#include <QMessageBox>
#include <QStyleFactory>
#include <QTimer>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>

#include "testing/com_ports.h"

QApplication& TestApp()
{
    static QApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static PortMap noPorts; // for the whole process
        // The off-screen platform says so whenever a window is raised or
        // grabs the keyboard; that is noise here.
        static QtMessageHandler previous =
            qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context, const QString& message) {
                if (!message.startsWith(QLatin1String("This plugin does not support")))
                    previous(type, context, message);
            });
        static int argc = 1;
        static char arg0[] = "app_window_tests";
        static char* argv[] = {arg0, nullptr};
        auto* created = new QApplication(argc, argv);
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
        QApplication::setQuitOnLastWindowClosed(false);
        return created;
    }();
    return *app;
}

void WhenShown(const char* typeName, std::function<bool(QWidget*)> matches, std::function<void(QWidget*)> act)
{
    auto* timer = new QTimer(&TestApp());
    auto tries = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, timer, [=] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible() && matches(w)) {
                timer->stop();
                timer->deleteLater();
                act(w);
                return;
            }
        if (++*tries < 500)
            return;
        timer->stop();
        timer->deleteLater();
        ADD_FAILURE() << "no " << typeName << " showed up";
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible() && (qobject_cast<QMenu*>(w) || qobject_cast<QMessageBox*>(w)))
                w->close();
    });
    timer->start(10);
}

int DarkPixels(const QImage& image, const QRect& rect)
{
    int count = 0;
    QRect area = rect.intersected(image.rect());
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (qGray(image.pixel(x, y)) < 110)
                ++count;
    return count;
}
