// The system's file-open dialog behind the "..." button.
#include "platform/ui/win32/win32_system.h"

#include <vector>

#include "platform/ui/file_filter.h"
#include "platform/ui/message_box.h"
#include "platform/ui/win32/win32_front_end.h"
#include "platform/ui/win32/win32_text.h"

namespace ui::win32 {

namespace {

// The filter pairs as the dialog reads them: label and patterns (";"
// between them) each ended by a NUL, the list by a second NUL.
std::string ChooserFilter(const std::vector<FilterPair>& pairs)
{
    std::string out;
    for (const FilterPair& pair : pairs) {
        out.append(pair.label).push_back('\0');
        for (size_t i = 0; i < pair.patterns.size(); ++i)
            out.append(i ? ";" : "").append(pair.patterns[i]);
        out.push_back('\0');
    }
    out.push_back('\0');
    return out;
}

} // namespace

bool RunFileOpenDialog(HWND owner, const FileOpenOptions& options, std::string& path)
{
    // Asked in UTF-16, so that a name the code page cannot hold is seen as
    // such rather than turned into a look-alike, which may be another file.
    const std::wstring filter = Widen(ChooserFilter(ParseFilter(options.filter)));
    const std::wstring extension = Widen(PlainExtension(options.defaultExtension));
    std::vector<wchar_t> file(4096, L'\0');
    Widen(options.initialFile).copy(file.data(), file.size() - 1);

    OPENFILENAMEW ofn{};
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
    if (!GetOpenFileNameW(&ofn) || file[0] == L'\0')
        return false;
    std::string chosen;
    if (!NarrowExactly(file.data(), chosen)) {
        MessageBox("Cannot use the chosen file: its name has characters that this system's language "
                   "for non-Unicode programs cannot hold (shown as ?):\n" +
            chosen + "\n\nRename the file or its folder so that none is left, and choose it again.");
        return false;
    }
    path = chosen;
    return true;
}

} // namespace ui::win32
