#include "app/TraceRun.h"

#include <ctime>

#include "app/QuilvexDlg.h"
#include "trace/TraceDevice.h"
#include "trace/TraceRecorder.h"
#include "platform/serial/serial_device.h"
#include "platform/trace_file.h"
#include "platform/ui/message_box.h"

namespace {

// As the About box names the program.
constexpr const char* kProgram = "Quilvex 1.0a";

// The trace of this run, from StartTrace to FinishTrace. Ports reach it
// through trace::Current(), so one still open afterwards records nothing.
std::unique_ptr<trace::Recorder> g_recorder;
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
    auto recorder = std::make_unique<trace::Recorder>(std::move(file), header, path);
    if (!recorder->Failure().empty()) {
        recorder->Finish();
        return recorder->Failure() + ends;
    }
    g_recorder = std::move(recorder);
    trace::SetCurrent(g_recorder.get());
    g_untracedOpener = trace::TracePortOpens();
    trace::Recorder* rec = g_recorder.get();
    ui::SetPushObserver([rec](const ui::Dialog& dlg, int id, const std::string& text) {
        if (&dlg == g_pMainDlg && id == IDC_STATUS)
            rec->Status(text);
    });
    ui::SetMessageObserver([rec](const std::string& text, ui::MessageButtons buttons, int answer) {
        if (answer == 0)
            rec->Box(text, buttons == ui::MessageButtons::OkCancel);
        else
            rec->Answer(answer == ui::IDOK);
    });
    return "";
}

std::string FinishTrace()
{
    if (!g_recorder)
        return "";
    ui::SetMessageObserver({});
    ui::SetPushObserver({});
    serial::SetOpener(std::move(g_untracedOpener));
    g_untracedOpener = {};
    trace::SetCurrent(nullptr);
    std::string cutShort = g_recorder->Finish();
    g_recorder.reset();
    return cutShort;
}
