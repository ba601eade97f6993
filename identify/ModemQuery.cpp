// Asking the modem one AT question and taking its reply apart.
#include "identify/ModemQuery.h"

#include "link/ComPort.h"

int AskModem(const std::string& command, std::string& text)
{
    g_ComPort.SendCommand(command, true);
    std::string reply;
    g_ComPort.ReadResponse(reply);
    return ReplyBeforeOk(StripLineBreaks(reply), text);
}
