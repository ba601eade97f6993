// The system's file-open dialog behind the "..." button.
#include "platform/ui/win32_system.h"

#include <vector>

#include "platform/ui/win32_front_end.h"
#include "platform/ui/win32_text.h"

namespace ui::win32 {

bool RunFileOpenDialog(HWND owner, const FileOpenOptions& options, std::string& path)
{
    const std::string filter = ChooserFilter(options.filter);
    const std::string extension = ChooserExtension(options.defaultExtension);
    std::vector<char> file(4096, '\0');
    options.initialFile.copy(file.data(), file.size() - 1);

    OPENFILENAMEA ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filter.size() > 1 ? filter.c_str() : nullptr;
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = static_cast<DWORD>(file.size());
    ofn.lpstrDefExt = extension.empty() ? nullptr : extension.c_str();
    // The read-only box stays, as asked; the working folder does not follow
    // the browsing, so a name typed later means what it meant before.
    ofn.Flags = OFN_EXPLORER | OFN_NOCHANGEDIR;
    if (options.fileMustExist)
        ofn.Flags |= OFN_FILEMUSTEXIST;
    if (options.pathMustExist)
        ofn.Flags |= OFN_PATHMUSTEXIST;
    if (!GetOpenFileNameA(&ofn) || file[0] == '\0')
        return false;
    path = file.data();
    return true;
}

} // namespace ui::win32
