// Regular files on Windows, named in the ANSI code page: the check and the
// opening both go through the system's ANSI calls, so that a name with
// characters beyond ASCII ("José", "€") means the same file to both.
#include "platform/file_open.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <fcntl.h>
#include <io.h>

namespace platform {

FILE* OpenRegularFile(const std::string& path)
{
    // A device name (COM1, NUL, CON) or a folder is no file: look first,
    // opening a port would touch it.
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)))
        return nullptr;
    HANDLE handle = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return nullptr;
    if (::GetFileType(handle) != FILE_TYPE_DISK) {
        ::CloseHandle(handle);
        return nullptr;
    }
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_BINARY);
    if (fd < 0) {
        ::CloseHandle(handle);
        return nullptr;
    }
    FILE* file = ::_fdopen(fd, "rb");
    if (!file)
        ::_close(fd); // closes the handle too
    return file;
}

} // namespace platform
