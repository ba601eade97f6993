// Whole runs of the program's logic, in process, against the simulator:
// the prompt, discovery, the identity stage and (when the dialog stays
// open) Upgrade with an image; recorded into a trace as `quilvex --trace`
// records, or played against a simulator replaying a trace. Shared by the
// replay tests and the tool that records the traces kept in tests/traces/.
#pragma once

#include <deque>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/QuilvexDlg.h"
#include "app/TraceRun.h"
#include "link/ComPort.h"
#include "trace/TraceFormat.h"
#include "testing/message_recorder.h"
#include "testing/com_ports.h"
#include "testing/sim_process.h"

namespace tracetest {

struct RunResult {
    std::vector<std::string> messages;
    std::string traceProblem; // from starting or finishing the trace
};

inline std::string Slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// One run with COM`com` on `link`, in folder `dir` (where a quilvex.dat
// would be read), answering the boxes from `answers` (OK when they run out)
// and pressing Upgrade with `image` if discovery kept the window open.
inline RunResult RunProgram(const std::string& link, int com, const std::string& dir, const std::string& image,
    std::deque<int> answers = {}, const std::string& tracePath = "")
{
    RunResult result;
    PortMap ports;
    ports.Map(com, link);
    const auto oldCwd = std::filesystem::current_path();
    std::filesystem::current_path(dir);
    {
        MessageRecorder messages;
        messages.answers = std::move(answers);
        if (!tracePath.empty())
            result.traceProblem = StartTrace(tracePath);
        if (result.traceProblem.empty()) {
            CQuilvexDlg dlg;
            g_pMainDlg = &dlg;
            dlg.DetectModem();
            if (!dlg.IsEnded()) {
                dlg.SetControlText(IDC_FILENAME, image);
                dlg.OnOK();
            }
            g_ComPort.CloseIfPresent();
            g_pMainDlg = nullptr;
            result.traceProblem = FinishTrace();
        }
        result.messages = messages.texts;
    }
    std::filesystem::current_path(oldCwd);
    return result;
}

// A 512 KiB image that differs from packet to packet.
inline std::string MakeImage()
{
    std::string image(524288, '\0');
    for (size_t k = 0; k < image.size(); ++k)
        image[k] = static_cast<char>((k * 31) ^ (k >> 9));
    return image;
}

// Records a run against a simulator started with `simArgs` into `tracePath`.
inline RunResult Record(const std::vector<std::string>& simArgs, const std::string& tracePath)
{
    simtest::SimProcess sim(simArgs);
    if (!sim.started())
        return {{}, "simulator: " + sim.error()};
    std::ofstream(sim.path("new.dlf"), std::ios::binary) << MakeImage();
    return RunProgram(sim.link(), 1, sim.dir(), sim.path("new.dlf"), {}, tracePath);
}

// What a trace says about its run: the answers given at its boxes, the last
// box's text, the image as far as its packets carried it (the rest filled),
// and whether the identity stage found a data file.
struct Recorded {
    std::deque<int> answers;
    std::string finalMessage;
    std::string image;
    bool dataFile = true;
    std::string error;
};

inline Recorded ReadRecorded(const std::string& tracePath)
{
    Recorded r;
    std::vector<trace::Event> events;
    if (!trace::ParseTrace(Slurp(tracePath), events, r.error))
        return r;
    std::string wrote;
    for (const trace::Event& e : events) {
        if (e.kind == trace::EventKind::Answer)
            r.answers.push_back(e.on1 ? ui::IDOK : ui::IDCANCEL);
        else if (e.kind == trace::EventKind::Box) {
            r.finalMessage = e.text;
            if (e.text.starts_with("Missing data file"))
                r.dataFile = false;
        } else if (e.kind == trace::EventKind::Wrote)
            wrote += e.bytes;
    }
    // Packets in the order they first went, resends skipped.
    int last = -1;
    for (size_t i = 0; i + 1027 <= wrote.size(); ++i) {
        auto number = static_cast<uint8_t>(wrote[i + 1]);
        if (wrote[i] != '\x02' || static_cast<uint8_t>(number + static_cast<uint8_t>(wrote[i + 2])) != 0xFF)
            continue;
        if (number != last)
            r.image += wrote.substr(i + 3, 1024);
        last = number;
        i += 1026;
    }
    r.image.resize(524288, '\x1A');
    return r;
}

} // namespace tracetest
