// What quilvex-cli tells its user: texts on the terminal, or JSON Lines on
// standard output, and the progress of a transfer. Everything goes through
// an OutputQueue, so no report ever makes the transfer wait.
#pragma once

#include <chrono>
#include <string>

#include "platform/ui/console/output_queue.h"

// `text` as a JSON string, quotes included. Bytes above 127 are written as
// \u00XX (the reply of a modem need not be UTF-8), so the line always parses.
std::string JsonString(const std::string& text);

// The progress line: packet `n` of `of`, percent, rate and time left
// (rate 0: not known yet, rate and time shown as "--").
std::string ProgressText(int n, int of, double bytesPerSecond);

class CliReport {
public:
    // `json`: JSON Lines on standard output. `redraw`: progress as one line
    // redrawn in place on standard error (a terminal), else a line every 10 %.
    CliReport(console::OutputQueue& out, bool json, bool redraw);

    void PortTried(const std::string& name, const std::string& device, bool opened);
    void ModemFound(const std::string& port, int country, const std::string& ati3, const std::string& ati119);
    // A message box's text; `question`: it asks OK or Cancel.
    void Message(const std::string& text, bool question);
    // The answer to the last question; `automatic`: given by --yes.
    void Answer(bool ok, bool automatic);
    // A prompt on the terminal, written before reading the user's answer.
    void Prompt(const std::string& text);
    // The status line while waiting for the loader.
    void Status(const std::string& text);
    void FlashStarted(const std::string& port, const std::string& image);
    // Packet `n` of `of` is on its way.
    void Packet(int n, int of);
    // Interrupts were refused during the flash; the first time says so.
    void Refused(int count);
    // The run's last word: its exit code and what it means. Text output
    // prints only `say` (what was not printed yet; may be empty).
    void End(int code, const std::string& message, const std::string& say);

private:
    void Json(const std::string& body);
    void Line(console::Stream stream, const std::string& text);
    void EndProgressLine();

    console::OutputQueue& m_out;
    bool m_json;
    bool m_redraw;
    bool m_progressOnScreen = false;
    bool m_refusedSaid = false;
    int m_lastTenth = -1;
    int m_lastPacket = 0;
    std::chrono::steady_clock::time_point m_firstPacket;
};
