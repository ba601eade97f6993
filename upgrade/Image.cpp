#include "upgrade/Image.h"

#include "platform/file_open.h"

FILE* OpenImageFile(const std::string& path)
{
    // Opening a FIFO for reading would block until someone writes to it,
    // and a directory or device is no image.
    return platform::OpenRegularFile(path);
}

int64_t ImageFileSize(FILE* file)
{
    if (std::fseek(file, 0, SEEK_END) != 0)
        return -1;
    long size = std::ftell(file);
    if (size < 0 || std::fseek(file, 0, SEEK_SET) != 0)
        return -1;
    std::clearerr(file);
    return size;
}

std::string RestoreCountryCommand(int32_t country)
{
    char command[32];
    std::snprintf(command, sizeof command, "AT*NC%d&F", static_cast<int>(country));
    return command;
}
