#include "platform/system_log.h"

#include <syslog.h>

namespace platform {

void LogOutcome(const std::string& line, bool failure)
{
    ::openlog("quilvex", LOG_PID, LOG_USER);
    ::syslog(failure ? LOG_ERR : LOG_NOTICE, "%s", line.c_str());
    ::closelog();
}

} // namespace platform
