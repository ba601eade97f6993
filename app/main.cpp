// The program: the application object's dialogs on the desktop.
#include "app/QuilvexApp.h"
#include "platform/ui/qt_app.h"

int main(int argc, char** argv)
{
    return ui::RunQtApplication(argc, argv, theApp);
}
