#include "bench/soak_run.h"

#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <vector>

#include "testing/message_recorder.h"

#include "app/QuilvexDlg.h"
#include "link/ComPort.h"
#include "testing/com_ports.h"
#include "testing/port_tap.h"
#include "testing/sim_process.h"
#include "upgrade/Transfer.h"

namespace {

constexpr size_t kImageBytes = 524288;
constexpr int kCountry = 22;
const char kSuccess[] = "Successfully upgraded the firmware!";
const char kRestoreError[] = "Error in restoring the old country code,\nfirmware upgrade failure!";

const LabelledMessage kLabels[] = {
    {"start timeout", kMsgStartTimeout},
    {"packet timeout", kMsgPacketTimeout},
    {"error limit", kMsgErrorLimit},
    {"unknown reply", kMsgUnknownReply},
    {"canceled", kMsgCanceled},
    {"EOT timeout", kMsgEotTimeout},
    {"disk read", kMsgDiskRead},
    {"restore error", kRestoreError},
};

std::string ReadWhole(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string Image(uint64_t seed)
{
    std::mt19937_64 rng(seed * 0x9E3779B97F4A7C15ull + 1);
    std::string image(kImageBytes, '\0');
    for (size_t k = 0; k < image.size(); k += 8) {
        uint64_t word = rng();
        for (size_t b = 0; b < 8; ++b)
            image[k + b] = static_cast<char>(word >> (8 * b));
    }
    return image;
}

SoakOutcome Verdict(SoakKind kind, std::string detail, int naks)
{
    return SoakOutcome{kind, std::move(detail), naks};
}

// One line of text for a message: line breaks shown as \n.
std::string OneLine(const std::string& text)
{
    std::string out;
    for (char c : text)
        out += c == '\n' ? std::string("\\n") : std::string(1, c);
    return out;
}

} // namespace

std::string FailureLabel(const std::string& message)
{
    for (const LabelledMessage& m : kLabels)
        if (message == m.message)
            return m.label;
    return "";
}

const LabelledMessage* FailureLabels(int& count)
{
    count = static_cast<int>(std::size(kLabels));
    return kLabels;
}

SoakOutcome RunSoakOnce(const SoakSetup& setup, const std::function<void(const std::string&)>& onSimFolder)
{
    // The loader repeats its start character on a quiet line, as loaders
    // do: one lost to noise costs a second, not the whole start wait.
    std::vector<std::string> args = {
        "--seed", std::to_string(setup.seed), "--country", std::to_string(kCountry), "--start-repeat"};
    if (setup.mode != NoiseMode::Replies) {
        char probability[32];
        std::snprintf(probability, sizeof probability, "%.17g", setup.probability);
        args.insert(args.end(), {"--noise", probability});
    }
    if (setup.mode == NoiseMode::Both)
        args.push_back("--noise-both");

    PortTap tap; // outlives the simulator and the port
    size_t loaderStart = std::string::npos; // where the transfer's replies begin in tap.record().read
    bool inTransfer = false; // from AT~D1 to the restore command
    tap.record().onWrite = [&](const std::string& bytes) {
        if (bytes == "AT~D1") {
            loaderStart = tap.record().read.size();
            inTransfer = true;
        } else if (bytes.rfind("AT*NC", 0) == 0) {
            inTransfer = false;
        }
    };
    std::mt19937_64 replyNoise(setup.seed);
    if (setup.mode == NoiseMode::Replies) {
        tap.record().alterRead = [&](std::string& bytes) {
            if (!inTransfer)
                return;
            for (char& b : bytes)
                if (static_cast<double>(replyNoise() >> 11) * 0x1.0p-53 < setup.probability)
                    b = static_cast<char>(b ^ (1 << (replyNoise() % 8)));
        };
    }
    simtest::SimProcess sim(args);
    if (!sim.dir().empty())
        onSimFolder(sim.dir());
    if (!sim.started())
        return Verdict(SoakKind::Setup, "simulator: " + sim.error(), 0);
    PortMap ports;
    ports.Map(1, sim.link());
    std::filesystem::current_path(sim.dir()); // no identity data file there

    MessageRecorder messages;
    CQuilvexDlg dlg;
    g_pMainDlg = &dlg;
    dlg.DetectModem();
    if (dlg.IsEnded()) {
        g_pMainDlg = nullptr;
        return Verdict(SoakKind::Setup, "discovery failed", 0);
    }

    const std::string image = Image(setup.seed);
    const std::string path = sim.path("new.dlf");
    std::ofstream(path, std::ios::binary) << image;
    messages.texts.clear();
    dlg.SetControlText(IDC_FILENAME, path);
    dlg.OnOK();
    g_ComPort.CloseIfPresent();
    g_pMainDlg = nullptr;

    int naks = 0;
    const std::string& read = tap.record().read;
    if (loaderStart != std::string::npos)
        for (size_t k = loaderStart; k < read.size(); ++k)
            naks += read[k] == static_cast<char>(kNAK);

    if (!dlg.IsEnded())
        return Verdict(SoakKind::Unexpected, "dialog left open", naks);
    if (messages.texts.size() != 1) {
        std::string all;
        for (const std::string& t : messages.texts)
            all += "[" + OneLine(t) + "]";
        return Verdict(SoakKind::Unexpected, std::to_string(messages.texts.size()) + " messages " + all, naks);
    }
    const std::string& told = messages.texts[0];
    if (told == kSuccess) {
        sim.wait_for_event("country-restored", std::chrono::milliseconds(1000));
        if (ReadWhole(sim.image_path()) != image)
            return Verdict(SoakKind::FalseSuccess, "image differs", naks);
        if (sim.wait_for_event("country-restored", std::chrono::milliseconds(0)) !=
            "country-restored " + std::to_string(kCountry))
            return Verdict(SoakKind::FalseSuccess, "country not restored", naks);
        return Verdict(SoakKind::Success, "", naks);
    }
    const std::string label = FailureLabel(told);
    if (label.empty())
        return Verdict(SoakKind::Unexpected, "message: " + OneLine(told), naks);
    return Verdict(SoakKind::Failure, label, naks);
}

std::string EncodeOutcome(const SoakOutcome& outcome)
{
    return std::to_string(static_cast<int>(outcome.kind)) + " " + std::to_string(outcome.naks) + " " +
        OneLine(outcome.detail);
}

bool DecodeOutcome(const std::string& line, SoakOutcome& outcome)
{
    std::istringstream in(line);
    int kind = -1;
    if (!(in >> kind >> outcome.naks) || kind < 0 || kind > static_cast<int>(SoakKind::Crashed))
        return false;
    outcome.kind = static_cast<SoakKind>(kind);
    std::getline(in, outcome.detail);
    if (!outcome.detail.empty() && outcome.detail[0] == ' ')
        outcome.detail.erase(0, 1);
    return true;
}
