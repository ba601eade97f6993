#include "app/CliReport.h"

#include <cstdio>

using console::Stream;

std::string JsonString(const std::string& text)
{
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20 || c >= 0x7F) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                out += escaped;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

std::string ProgressText(int n, int of, double bytesPerSecond)
{
    const int percent = of > 0 ? n * 100 / of : 0;
    char text[128];
    if (bytesPerSecond <= 0) {
        std::snprintf(text, sizeof text, "Packet %d of %d  %3d%%  -- KB/s  --:-- left", n, of, percent);
    } else {
        const long left = static_cast<long>(static_cast<double>(of - n) * 1024 / bytesPerSecond + 0.5);
        std::snprintf(text, sizeof text, "Packet %d of %d  %3d%%  %.1f KB/s  %ld:%02ld left", n, of, percent,
            bytesPerSecond / 1024, left / 60, left % 60);
    }
    return text;
}

CliReport::CliReport(console::OutputQueue& out, bool json, bool redraw) : m_out(out), m_json(json), m_redraw(redraw)
{
}

void CliReport::Json(const std::string& body)
{
    m_out.Write(Stream::Out, "{" + body + "}\n");
}

void CliReport::EndProgressLine()
{
    if (m_progressOnScreen)
        m_out.Write(Stream::Err, "\n");
    m_progressOnScreen = false;
}

void CliReport::Line(Stream stream, const std::string& text)
{
    EndProgressLine();
    m_out.Write(stream, text + "\n");
}

void CliReport::PortTried(const std::string& name, const std::string& device, bool opened)
{
    if (m_json)
        Json("\"event\":\"port\",\"port\":" + JsonString(name) + ",\"device\":" + JsonString(device) +
            ",\"opened\":" + (opened ? "true" : "false"));
}

void CliReport::ModemFound(const std::string& port, int country, const std::string& ati3, const std::string& ati119)
{
    if (m_json) {
        Json("\"event\":\"modem\",\"port\":" + JsonString(port) + ",\"country\":" + std::to_string(country) +
            ",\"ati3\":" + JsonString(ati3) + ",\"ati119\":" + JsonString(ati119));
        return;
    }
    Line(Stream::Out,
        "Modem on " + port + ", country code " + std::to_string(country) + "\n  AT I3   : " + ati3 +
            "\n  AT I119 : " + ati119);
}

void CliReport::Message(const std::string& text, bool question)
{
    if (m_json)
        Json("\"event\":\"message\",\"text\":" + JsonString(text) +
            ",\"buttons\":" + (question ? "\"ok-cancel\"" : "\"ok\""));
    else
        Line(Stream::Out, text);
}

void CliReport::Answer(bool ok, bool automatic)
{
    if (m_json)
        Json(std::string("\"event\":\"answer\",\"answer\":") + (ok ? "\"ok\"" : "\"cancel\"") +
            ",\"by\":" + (automatic ? "\"--yes\"" : "\"user\""));
    else if (automatic)
        Line(Stream::Out, "> yes (--yes)");
    else if (!ok)
        Line(Stream::Out, "> no");
}

void CliReport::Prompt(const std::string& text)
{
    EndProgressLine();
    m_out.Write(m_json ? Stream::Err : Stream::Out, text);
}

void CliReport::Status(const std::string& text)
{
    if (m_json) {
        Json("\"event\":\"status\",\"text\":" + JsonString(text));
    } else if (m_redraw) {
        m_out.Write(Stream::Err, "\r" + text + "\x1b[K", true);
        m_progressOnScreen = true;
    }
}

void CliReport::FlashStarted(const std::string& port, const std::string& image)
{
    if (m_json)
        Json("\"event\":\"flash\",\"port\":" + JsonString(port) + ",\"image\":" + JsonString(image));
    else
        Line(Stream::Out, "Flashing the modem on " + port + ": do not interrupt, it goes on whatever happens.");
}

void CliReport::Packet(int n, int of)
{
    const auto now = std::chrono::steady_clock::now();
    if (m_lastPacket == 0 || n < m_lastPacket)
        m_firstPacket = now;
    m_lastPacket = n;
    // The rate over the packets acknowledged since the first went out.
    const double seconds = std::chrono::duration<double>(now - m_firstPacket).count();
    const double rate = n > 1 && seconds > 0 ? (n - 1) * 1024.0 / seconds : 0;
    if (m_json) {
        char numbers[96];
        std::snprintf(numbers, sizeof numbers, ",\"bytes_per_second\":%.0f,\"seconds_left\":%.1f", rate,
            rate > 0 ? (of - n) * 1024.0 / rate : -1.0);
        Json("\"event\":\"packet\",\"packet\":" + std::to_string(n) + ",\"of\":" + std::to_string(of) + numbers);
        return;
    }
    if (m_redraw) {
        m_out.Write(Stream::Err, "\r" + ProgressText(n, of, rate) + "\x1b[K", true);
        m_progressOnScreen = true;
        return;
    }
    const int tenth = of > 0 ? n * 10 / of : 0;
    if (tenth != m_lastTenth) {
        m_lastTenth = tenth;
        m_out.Write(Stream::Err, ProgressText(n, of, rate) + "\n");
    }
}

void CliReport::Refused(int count)
{
    if (count <= 0 || m_refusedSaid)
        return;
    m_refusedSaid = true;
    if (m_json)
        Json("\"event\":\"interrupt-refused\"");
    Line(Stream::Err, "The flash goes on: it cannot be interrupted until the modem has its image.");
}

void CliReport::End(int code, const std::string& message, const std::string& say)
{
    if (m_json)
        Json("\"event\":\"end\",\"code\":" + std::to_string(code) + ",\"message\":" + JsonString(message));
    else if (!say.empty())
        Line(code == 0 ? Stream::Out : Stream::Err, say);
    else
        EndProgressLine();
}
