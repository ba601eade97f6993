#include "app/TraceRun.h"

#include <ctime>

#include "app/QuilvexDlg.h"
#include "link/TraceDevice.h"
#include "link/TraceRecorder.h"
#include "platform/serial/serial_device.h"
#include "platform/trace_file.h"
#include "platform/ui/message_box.h"

namespace {

// As the About box names the program.
constexpr const char* kProgram = "Quilvex 1.0a";

// Lives to the end of the process: a port still open at exit, closed by
// g_ComPort's destructor, may still report to it (it records nothing then).
trace::Recorder* g_recorder = nullptr;
serial::Opener g_untracedOpener; // put back when the trace ends

std::string UtcNow()
{
    std::time_t now = std::time(nullptr);
    char text[32] = "unknown";
    if (const std::tm* t = std::gmtime(&now))
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", t);
    return text;
}

} // namespace

std::string StartTrace(const std::string& path)
{
    const char* ends = "\n\nThe program ends without using any port.";
    std::string error;
    std::unique_ptr<platform::OutputFile> file = platform::CreateTraceFile(path, error);
    if (!file)
        return error + ends;

    trace::Header header;
    header.program = kProgram;
    header.system = platform::SystemDescription();
    header.date = UtcNow();
    for (int n = 1; n <= 9; ++n) {
        std::string name = "COM" + std::to_string(n);
        std::string device = serial::DevicePath(name);
        if (!device.empty())
            header.com.push_back(name + " " + device);
    }
    auto* recorder = new trace::Recorder(std::move(file), header, path);
    if (!recorder->Failure().empty()) {
        std::string why = recorder->Failure();
        recorder->Finish();
        delete recorder;
        return why + ends;
    }
    g_recorder = recorder;
    trace::SetCurrent(recorder);
    g_untracedOpener = trace::TracePortOpens(*recorder);
    ui::SetPushObserver([recorder](const ui::Dialog& dlg, int id, const std::string& text) {
        if (&dlg == g_pMainDlg && id == IDC_STATUS)
            recorder->Status(text);
    });
    ui::SetMessageObserver([recorder](const std::string& text, ui::MessageButtons buttons, int answer) {
        if (answer == 0)
            recorder->Box(text, buttons == ui::MessageButtons::OkCancel);
        else
            recorder->Answer(answer == ui::IDOK);
    });
    return "";
}

std::string FinishTrace()
{
    if (!g_recorder || trace::Current() != g_recorder)
        return "";
    ui::SetMessageObserver({});
    ui::SetPushObserver({});
    serial::SetOpener(std::move(g_untracedOpener));
    g_untracedOpener = {};
    trace::SetCurrent(nullptr);
    return g_recorder->Finish();
}
