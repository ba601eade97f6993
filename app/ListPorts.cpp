#include "app/ListPorts.h"

#include "platform/serial/com_names.h"

int ListPorts(FILE* out, FILE* err)
{
    std::vector<std::string> lines = serial::DescribeComPorts();
    for (const std::string& line : lines)
        std::fprintf(out, "%s\n", line.c_str());
    if (lines.empty())
        std::fprintf(err, "No serial ports found.\n");
    return 0;
}
