#include "app/CliRun.h"

#include <cctype>
#include <set>
#include <string>

#include "app/CliReport.h"
#include "app/QuilvexApp.h"
#include "app/QuilvexDlg.h"
#include "link/ComPort.h"
#include "platform/serial/serial_device.h"
#include "platform/session_guard.h"
#include "platform/system_log.h"
#include "platform/ui/app_run.h"
#include "platform/ui/console/console_answer.h"
#include "platform/ui/console/console_front_end.h"
#include "platform/ui/console/console_io.h"
#include "platform/ui/console/console_signals.h"
#include "upgrade/Image.h"

namespace {

constexpr int kPackets = static_cast<int>(kImageSize / 1024);

const char kInterrupted[] = "Interrupted before the flash began: nothing was flashed.";
const char kCancelled[] = "Cancelled before the flash began: nothing was flashed.";
const char kRunAgain[] = "The modem may be left in its download loader: run quilvex-cli again to flash it.";

const char* OutcomeWords(int code)
{
    switch (code) {
    case kExitUpgraded:
        return "upgraded";
    case kExitNotStarted:
        return "not started";
    case kExitNoModem:
        return "no modem found";
    case kExitModemRefused:
        return "modem refused";
    case kExitImageRefused:
        return "image refused";
    case kExitCancelled:
        return "cancelled";
    case kExitFlashFailed:
        return "FLASH FAILED, the modem may be in its download loader";
    default:
        return "ended";
    }
}

std::string OneLine(std::string text)
{
    for (char& c : text)
        if (c == '\n' || c == '\r')
            c = ' ';
    return text;
}

// The packet number in the window's packet field ("P#12"), 0 when none.
int PacketNumber(const std::string& field)
{
    if (!field.starts_with("P#"))
        return 0;
    int n = 0;
    for (size_t i = 2; i < field.size() && std::isdigit(static_cast<unsigned char>(field[i])) && n < 1000000; ++i)
        n = n * 10 + (field[i] - '0');
    return n;
}

class CliRun {
public:
    explicit CliRun(const CliOptions& options)
        : m_options(options), m_report(m_out, options.json, !options.json && console::IsTerminal(console::Stream::Err)),
          m_port(ChoosePort(options.port))
    {
    }

    int Run();

private:
    void Pushed(ui::Dialog& dlg);
    void Act(ui::Dialog& dlg);
    int Present(const std::string& text, ui::MessageButtons buttons);
    bool Confirm(const std::string& text);
    bool AskFile(const ui::FileOpenOptions& options, std::string& path);
    std::unique_ptr<serial::Device> Open(const serial::Opener& previous, const std::string& name);
    int Outcome(std::string& message, std::string& say) const;

    const CliOptions& m_options;
    console::OutputQueue m_out;
    CliReport m_report;
    PortChoice m_port;
    std::set<std::string> m_tried;

    bool m_dialogRan = false; // the main dialog started
    bool m_modemAnswered = false; // a modem answered the search
    bool m_discovered = false; // discovery and identity check passed
    bool m_cancelled = false; // a question was answered Cancel
    bool m_flashStarted = false; // "AT~D1" is on its way: the flash is at stake
    bool m_upgraded = false; // the Upgrade command said it succeeded
    std::string m_lastMessage; // the last message of the dialog's run
    std::string m_foundPort;
    std::string m_image;
    std::string m_status;
    int m_packet = 0;
};

std::unique_ptr<serial::Device> CliRun::Open(const serial::Opener& previous, const std::string& name)
{
    std::string target = name;
    std::string shown = name;
    if (!m_port.slot.empty()) {
        if (name != m_port.slot) {
            serial::SetLastError(serial::NotOpenError());
            return nullptr;
        }
        target = m_port.target;
        shown = m_options.port;
    }
    const std::string device = serial::DevicePath(target);
    std::unique_ptr<serial::Device> opened = previous ? previous(target) : serial::OpenNative(device);
    if (!device.empty() && m_tried.insert(name).second) {
        const int error = serial::LastError();
        m_report.PortTried(shown, device, opened != nullptr);
        serial::SetLastError(error);
    }
    return opened;
}

void CliRun::Pushed(ui::Dialog& dlg)
{
    if (&dlg != g_pMainDlg)
        return;
    m_dialogRan = true;
    m_report.Refused(console::TakeRefusedInterrupts());
    if (!m_flashStarted)
        return;
    const int packet = PacketNumber(g_pMainDlg->m_strPacket);
    if (packet > 0 && packet != m_packet) {
        m_packet = packet;
        m_report.Packet(packet, kPackets);
    } else if (packet == 0 && g_pMainDlg->m_strStatus != m_status) {
        m_status = g_pMainDlg->m_strStatus;
        m_report.Status(m_status);
    }
}

bool CliRun::Confirm(const std::string& text)
{
    m_report.Message(text, true);
    if (m_options.yes) {
        m_report.Answer(true, true);
        return true;
    }
    for (;;) {
        m_report.Prompt("Continue? [Y/n] ");
        m_out.Drain();
        std::string line;
        if (!console::ReadLine(line)) { // Ctrl-D: Cancel
            m_report.Answer(false, false);
            return false;
        }
        if (std::optional<bool> answer = ui::console::ParseYesNo(line)) {
            m_report.Answer(*answer, false);
            return *answer;
        }
    }
}

int CliRun::Present(const std::string& text, ui::MessageButtons buttons)
{
    if (g_pMainDlg || !m_dialogRan)
        m_lastMessage = text; // the run's, or why it could not start
    if (g_pMainDlg) {
        if (!m_discovered && !g_pMainDlg->m_strStatus.empty())
            m_modemAnswered = true; // discovery names the port once one answered
        if (m_flashStarted && text == kMsgUpgraded)
            m_upgraded = true;
    }
    if (buttons == ui::MessageButtons::Ok) {
        m_report.Message(text, false);
        return ui::IDOK;
    }
    const bool ok = Confirm(text);
    if (!ok)
        m_cancelled = true;
    return ok ? ui::IDOK : ui::IDCANCEL;
}

bool CliRun::AskFile(const ui::FileOpenOptions& options, std::string& path)
{
    m_report.Prompt("Image file (" + options.defaultExtension + "): ");
    m_out.Drain();
    return console::ReadLine(path) && !path.empty();
}

void CliRun::Act(ui::Dialog& dlg)
{
    if (&dlg != g_pMainDlg)
        return; // no other dialog has anything to do on a terminal
    CQuilvexDlg& main = *g_pMainDlg;
    m_discovered = true;
    m_foundPort = m_port.slot.empty() ? g_ComPort.m_strPortName : m_options.port;
    m_report.ModemFound(m_foundPort, main.m_nCountry, main.m_strAti3, main.m_strAti119);

    // As the user would: type the name, or choose it with "...".
    if (!m_options.image.empty())
        dlg.SetControlText(IDC_FILENAME, m_options.image);
    if (dlg.GetControlText(IDC_FILENAME).empty() && console::InputIsTerminal())
        main.OnCommand(IDC_BROWSE);
    m_image = dlg.GetControlText(IDC_FILENAME);
    if (!m_image.empty()) {
        const std::string leave = "Flash the image\n  " + m_image + "\ninto the modem on " + m_foundPort +
            "?\n  AT I3   : " + main.m_strAti3 + "\n  AT I119 : " + main.m_strAti119 +
            "\nThe modem must keep its power and its cable until the upgrade ends.";
        if (!Confirm(leave)) {
            m_cancelled = true;
            return; // closed as with Exit
        }
    }
    main.OnOK(); // Upgrade; a refused image leaves the dialog open
}

int CliRun::Outcome(std::string& message, std::string& say) const
{
    say.clear();
    message = m_lastMessage;
    if (!m_dialogRan)
        return kExitNotStarted;
    if (m_flashStarted) {
        if (m_upgraded)
            return kExitUpgraded;
        message += std::string(message.empty() ? "" : "\n\n") + kRunAgain;
        say = kRunAgain;
        return kExitFlashFailed;
    }
    if (m_cancelled) {
        message = say = kCancelled;
        return kExitCancelled;
    }
    if (m_discovered)
        return kExitImageRefused;
    return m_modemAnswered ? kExitModemRefused : kExitNoModem;
}

int CliRun::Run()
{
    const std::string interruptedJson = m_options.json
        ? "{\"event\":\"end\",\"code\":" + std::to_string(kExitCancelled) + ",\"message\":" + JsonString(kInterrupted) +
            "}\n"
        : "";
    console::SetInterruptExit(kExitCancelled, std::string("\n") + kInterrupted + "\n", interruptedJson);
    console::EndOnInterrupt();

    serial::Opener previous = serial::GetOpener();
    serial::SetOpener([this, previous](const std::string& name) { return Open(previous, name); });
    platform::SessionHoldListener previousListener = platform::SetSessionHoldListener([this](bool held) {
        if (!held)
            return;
        // From here until the end the terminal cannot cut the run short.
        console::RefuseInterrupts();
        m_flashStarted = true;
        m_report.FlashStarted(m_foundPort, m_image);
    });

    ui::console::ConsoleFrontEnd frontEnd([this](ui::Dialog& dlg) { Act(dlg); },
        [this](ui::Dialog& dlg) { Pushed(dlg); },
        [this](const ui::FileOpenOptions& o, std::string& path) { return AskFile(o, path); });
    theApp.m_strTraceFile = m_options.trace;
    theApp.m_strCommandLineError.clear();
    ui::RunApp(theApp, frontEnd,
        [this](const std::string& text, ui::MessageButtons buttons) { return Present(text, buttons); });

    platform::SetSessionHoldListener(std::move(previousListener));
    serial::SetOpener(previous);

    std::string message, say;
    const int code = Outcome(message, say);
    m_report.Refused(console::TakeRefusedInterrupts());
    m_report.End(code, message, say);
    const std::string where = m_foundPort.empty() ? "" : " on " + m_foundPort;
    platform::LogOutcome("quilvex-cli" + where + ": " + OutcomeWords(code) + " (exit " + std::to_string(code) + ")" +
            (message.empty() ? "" : ": " + OneLine(message)),
        code != kExitUpgraded);
    if (m_flashStarted) {
        // The outcome is out and logged: an interrupt may now end the wait
        // for a stopped terminal, with the outcome's code.
        console::SetInterruptExit(code, "", "");
        console::AllowInterrupts();
    }
    m_out.Drain();
    return code;
}

} // namespace

PortChoice ChoosePort(const std::string& port)
{
    if (port.empty())
        return {};
    int n = 0;
    bool comName = port.size() > 3 && (port.starts_with("COM") || port.starts_with("com"));
    for (size_t i = 3; comName && i < port.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(port[i])) || n > 100000)
            comName = false;
        else
            n = n * 10 + (port[i] - '0');
    }
    if (comName && n >= 1 && n <= 9)
        return {"COM" + std::to_string(n), "COM" + std::to_string(n)};
    if (comName && n >= 1)
        return {"COM1", "COM" + std::to_string(n)};
    return {"COM1", port};
}

int RunCli(const CliOptions& options)
{
    CliRun run(options);
    return run.Run();
}
