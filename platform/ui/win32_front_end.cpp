#include "platform/ui/win32_front_end.h"

#include <algorithm>

namespace ui::win32 {

Win32FrontEnd::Win32FrontEnd(HINSTANCE instance)
    : m_instance(instance)
{
    m_previousDesktopHook = platform::SetDesktopHook([] { ServiceDesktop(); });
}

Win32FrontEnd::~Win32FrontEnd()
{
    platform::SetDesktopHook(std::move(m_previousDesktopHook));
}

int Win32FrontEnd::RunModal(Dialog& dlg)
{
    if (dlg.View())
        return -1;
    Win32DialogView view(dlg, m_instance, ActiveWindow());
    m_views.push_back(&view);
    const int result = view.Run(m_shownHook);
    m_views.erase(std::find(m_views.begin(), m_views.end(), &view));
    return result;
}

bool Win32FrontEnd::ChooseOpenFile(Dialog* owner, const FileOpenOptions& options, std::string& path)
{
    HWND parent = ActiveWindow();
    if (Win32DialogView* view = ViewOf(owner); view && view->Window())
        parent = view->Window();
    return RunFileOpenDialog(parent, options, path);
}

HWND Win32FrontEnd::ActiveWindow() const
{
    return m_views.empty() ? nullptr : m_views.back()->Window();
}

Win32DialogView* Win32FrontEnd::ViewOf(const Dialog* dlg) const
{
    for (Win32DialogView* view : m_views)
        if (&view->Model() == dlg)
            return view;
    return nullptr;
}

} // namespace ui::win32
