// What the system's serial devices (serial_linux.cpp, serial_win.cpp) share:
// each call of the interface below first checks that the device is still
// open and, when it is not, fails with NotOpenError() without reaching the
// back end. The back end implements the calls for an open device.
#pragma once

#include "platform/serial/serial_device.h"

namespace serial {

class SystemDevice : public Device {
public:
    bool SetQueueSizes(size_t input, size_t output) final { return Usable() && DoSetQueueSizes(input, output); }
    bool Purge() final { return Usable() && DoPurge(); }
    bool SetTimeouts(const Timeouts& t) final { return Usable() && DoSetTimeouts(t); }
    bool GetLineState(LineState& out) final { return Usable() && DoGetLineState(out); }
    bool SetLineState(const LineState& s) final { return Usable() && DoSetLineState(s); }
    // `out`, `got` and `put` are emptied first, so a closed device says nothing.
    bool ClearError(Status& out) final
    {
        out = Status{};
        return Usable() && DoClearError(out);
    }
    bool Read(void* buf, size_t size, size_t& got) final
    {
        got = 0;
        return Usable() && DoRead(buf, size, got);
    }
    bool Write(const void* buf, size_t size, size_t& put) final
    {
        put = 0;
        return Usable() && DoWrite(buf, size, put);
    }
    bool GetModemLines(ModemLines& out) final
    {
        out = ModemLines{};
        return Usable() && DoGetModemLines(out);
    }
    bool Close() final { return Usable() && DoClose(); }

protected:
    // Whether the device is open (not yet closed).
    virtual bool IsOpen() const = 0;
    // True when open; otherwise false, with LastError() set to NotOpenError().
    bool Usable() const
    {
        if (IsOpen())
            return true;
        SetLastError(NotOpenError());
        return false;
    }

    // The calls above on an open device, with the results documented in
    // Device; the out-parameters arrive emptied.
    virtual bool DoSetQueueSizes(size_t input, size_t output) = 0;
    virtual bool DoPurge() = 0;
    virtual bool DoSetTimeouts(const Timeouts& t) = 0;
    virtual bool DoGetLineState(LineState& out) = 0;
    virtual bool DoSetLineState(const LineState& s) = 0;
    virtual bool DoClearError(Status& out) = 0;
    virtual bool DoRead(void* buf, size_t size, size_t& got) = 0;
    virtual bool DoWrite(const void* buf, size_t size, size_t& put) = 0;
    virtual bool DoGetModemLines(ModemLines& out) = 0;
    virtual bool DoClose() = 0;
};

} // namespace serial
