#include "platform/ui/qt/qt_front_end.h"

#include <QCoreApplication>

#include "platform/pause.h"
#include "platform/ui/qt/qt_dialog_view.h"
#include "platform/ui/qt/qt_file_chooser.h"

namespace ui::qt {

QtFrontEnd::QtFrontEnd()
{
    m_previousDesktopHook = platform::SetDesktopHook([] {
        if (QCoreApplication::instance())
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    });
}

QtFrontEnd::~QtFrontEnd()
{
    platform::SetDesktopHook(std::move(m_previousDesktopHook));
}

int QtFrontEnd::RunModal(Dialog& dlg)
{
    return m_shown.RunModal(dlg, [this](QtDialogView& view) {
        if (!view.Initialize())
            return view.Model().Result(); // ended while starting: never shown
        view.Show();
        if (m_shownHook)
            m_shownHook(view.Model(), view);
        return view.Exec();
    });
}

bool QtFrontEnd::ChooseOpenFile(Dialog* owner, const FileOpenOptions& options, std::string& path)
{
    QWidget* parent = m_shown.WindowFor(owner);
    if (m_chooser)
        return m_chooser(parent, options, path);
    return RunFileOpenDialog(parent, options, path);
}

} // namespace ui::qt
