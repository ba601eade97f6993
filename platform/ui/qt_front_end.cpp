#include "platform/ui/qt_front_end.h"

#include <QCoreApplication>
#include <algorithm>

#include "platform/pause.h"
#include "platform/ui/qt_dialog_view.h"
#include "platform/ui/qt_file_chooser.h"

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
    if (dlg.View())
        return -1;
    QtDialogView view(dlg, ActiveWindow());
    m_views.push_back(&view);
    int result = 0;
    if (view.Initialize()) {
        view.Show();
        if (m_shownHook)
            m_shownHook(dlg, view);
        result = view.Exec();
    } else {
        result = dlg.Result(); // ended while starting: never shown
    }
    m_views.erase(std::find(m_views.begin(), m_views.end(), &view));
    return result;
}

bool QtFrontEnd::ChooseOpenFile(Dialog* owner, const FileOpenOptions& options, std::string& path)
{
    QWidget* parent = ActiveWindow();
    if (QtDialogView* view = ViewOf(owner))
        parent = view->Window();
    if (m_chooser)
        return m_chooser(parent, options, path);
    return RunFileOpenDialog(parent, options, path);
}

QWidget* QtFrontEnd::ActiveWindow() const
{
    return m_views.empty() ? nullptr : m_views.back()->Window();
}

QtDialogView* QtFrontEnd::ViewOf(const Dialog* dlg) const
{
    for (QtDialogView* view : m_views)
        if (&view->Model() == dlg)
            return view;
    return nullptr;
}

} // namespace ui::qt
