// Windows names its COM ports itself: there is nothing to number.
#include "platform/serial/port_list.h"

namespace serial {

std::vector<PortInfo> ListSerialPorts()
{
    return {};
}

} // namespace serial
