// The trace file on Windows: a name that stands for a device is refused
// before anything is opened (opening a serial port raises its lines), and
// a file name is created.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "platform/trace_file.h"

namespace {

TEST(WinTraceFile, DeviceNamesAreRefusedAndFileNamesCreated)
{
    char folder[MAX_PATH + 1] = {};
    ASSERT_GT(GetTempPathA(sizeof folder, folder), 0u);
    const std::string file = std::string(folder) + "quilvex-trace-test.trace";
    struct Case {
        std::string name;
        bool created;
    } cases[] = {
        {"COM4", false},
        {"com1", false},
        {"NUL", false},
        {"CON", false},
        {"\\\\.\\COM4", false},
        {"\\\\?\\GLOBALROOT\\Device\\Serial0", false},
        {file, true},
    };
    for (const Case& c : cases) {
        std::string error;
        auto out = platform::CreateTraceFile(c.name, error);
        EXPECT_EQ(out != nullptr, c.created) << c.name << ": " << error;
        if (!c.created) {
            EXPECT_EQ(
                error, "The trace file cannot be created:\n" + c.name + "\n\nIt exists and is not a regular file.");
        }
        if (out) {
            EXPECT_TRUE(out->Close(error)) << error;
        }
    }
    DeleteFileA(file.c_str());
}

} // namespace
