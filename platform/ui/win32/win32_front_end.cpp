#include "platform/ui/win32/win32_front_end.h"

namespace ui::win32 {

Win32FrontEnd::Win32FrontEnd(HINSTANCE instance) : m_instance(instance)
{
    m_previousDesktopHook = platform::SetDesktopHook([] { ServiceDesktop(); });
}

Win32FrontEnd::~Win32FrontEnd()
{
    platform::SetDesktopHook(std::move(m_previousDesktopHook));
}

int Win32FrontEnd::RunModal(Dialog& dlg)
{
    return m_shown.RunModal(
        dlg, [this](Win32DialogView& view) { return view.Run(m_shownHook); }, m_instance);
}

bool Win32FrontEnd::ChooseOpenFile(Dialog* owner, const FileOpenOptions& options, std::string& path)
{
    return RunFileOpenDialog(m_shown.WindowFor(owner), options, path);
}

} // namespace ui::win32
