// The serial port the modem hangs on, and the rules every AT reply goes
// through. One module-wide handle slot is shared by every CComPort.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace serial {
struct LineState;
}

class CComPort {
public:
    CComPort();
    virtual ~CComPort(); // closes the port if the slot holds one

    // Opens the port by name ("COM3") with the modem's line settings.
    // Returns 1 on success, 0 on failure (silent; the slot then holds the
    // failed handle, or the half-configured port, until the next Open/Close).
    int Open(const std::string& portName);
    // Purges and closes the port in the slot, empties the slot and lets the
    // modem manager have the device again. A slot left invalid by a failed
    // Open keeps that value.
    void Close();
    // Opens and closes `portName` to see whether it is there. Sets
    // m_bPresent; on success also m_strPortName (and m_strLabel if given).
    void Probe(const std::string& portName, const std::string& label);
    // Opens the port the last probe found and keeps the system's modem
    // manager off it until Close. Returns 1/0; 0 untouched if none, and 0
    // with the port closed if the manager refused and the user declined.
    int Reopen();
    // Closes the port if the last probe found one.
    void CloseIfPresent();

    // Writes one byte behind the modem-status gate. Returns 1 if it went out
    // (within a write stream where writes overlap: if it was handed over);
    // 0 if not, at once while the line is stuck (a byte or command line that
    // could not go out within the write time-out, until a byte is read or
    // the modem lines change).
    int WriteByte(uint8_t byte);
    // The single-byte writes up to EndWriteStream are one stream, which the
    // port may let overlap where each write is slow; EndWriteStream waits
    // until they have all ended. Nothing without an open port.
    void BeginWriteStream();
    void EndWriteStream();
    // Reads one byte if the driver says one is waiting. Returns 1 and the
    // byte, or 0 with `byte` set to 0 (nothing waiting, or a read error).
    int ReadByte(uint8_t& byte);
    // Pauses `ms` milliseconds like platform::Pause, but ends as soon as a
    // byte is waiting on the port. Returns 1 then; 0 after the full pause
    // (always so without an open port). Reads nothing.
    int WaitForInput(unsigned ms);
    // Writes an AT command line, CR and (with `lf`) LF, then pauses 400 ms.
    // A write that fails is reported in a message box; one that ran out of
    // its time-out (an empty port, a modem holding CTS off) only marks the
    // line stuck, in silence. Either way the sequence goes on.
    // Returns the number of command bytes (without terminator) written.
    int SendCommand(const std::string& command, bool lf = true);
    // Reads what is waiting (at most 1000 bytes). Returns the count read;
    // `text` ends at the first NUL among them. Nothing waiting: 0 and "".
    int ReadResponse(std::string& text);

    int32_t m_nBaudRate;
    std::string m_strPortName;
    std::string m_strLabel;
    int32_t m_bPresent;
    // Why the last Open (or Reopen) could not have its port, as a sentence
    // naming it, when the user can do something about it (no access, held
    // by another program, kept by the modem manager at the user's word);
    // empty otherwise, and after an Open that got the port.
    std::string m_strRefusal;

private:
    enum class WriteResult { Done, TimedOut, Failed };
    WriteResult PassStatusGate();
    WriteResult WriteGated(const void* data, size_t size, size_t& put);
    // Asks the modem manager to leave the port alone; when it refuses, asks
    // the user whether to go on. False: the user declined.
    bool KeepModemManagerOff();
};

// Sets `line` to the modem's line settings at `baudRate`: 8 data bits, no
// parity, one stop bit, CTS output flow control, DTR and RTS on, raw.
void ApplyModemLineSettings(serial::LineState& line, int32_t baudRate);

// Removes every CR and LF from a reply, keeping the order of the rest.
std::string StripLineBreaks(const std::string& reply);
// The position of the first "OK" in a stripped reply (-1 when absent), and
// in `before` the reply's text ahead of it (the whole reply when absent).
int ReplyBeforeOk(const std::string& reply, std::string& before);

// The program's one serial port object.
extern CComPort g_ComPort;
