// One whole session of the program against the modem simulator: the sim in
// its own folder (also the working directory, so there is no identity data
// file and the check is bypassed), COM1 pointing at it and COM2..COM9 at
// nothing, discovery run, and an image file ready to upgrade with.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "testing/message_recorder.h"

#include "app/QuilvexDlg.h"
#include "link/ComPort.h"
#include "platform/serial/serial_device.h"
#include "testing/port_map.h"
#include "testing/sim_process.h"

class SimSession {
public:
    explicit SimSession(std::vector<std::string> simArgs) : sim(std::move(simArgs))
    {
        m_oldCwd = std::filesystem::current_path();
        if (!sim.started())
            return;
        ports.Map(1, sim.link());
        std::filesystem::current_path(sim.dir());
        g_pMainDlg = &dlg;
    }
    ~SimSession()
    {
        g_ComPort.CloseIfPresent();
        g_pMainDlg = nullptr;
        std::filesystem::current_path(m_oldCwd);
    }
    SimSession(const SimSession&) = delete;
    SimSession& operator=(const SimSession&) = delete;

    // Writes an image of `size` bytes into the sim's folder. Returns its path.
    std::string MakeImage(size_t size, const std::string& name = "new.dlf")
    {
        image.resize(size);
        for (size_t k = 0; k < size; ++k)
            image[k] = static_cast<char>((k * 31) ^ (k >> 9));
        std::ofstream(sim.path(name), std::ios::binary) << image;
        return sim.path(name);
    }

    // Runs discovery; true if the dialog stayed open on the simulator.
    bool Discover()
    {
        dlg.DetectModem();
        bool ok = !dlg.IsEnded() && g_ComPort.m_bPresent;
        messages.texts.clear();
        return ok;
    }

    // Presses Upgrade with `path` typed into the file name field.
    void Upgrade(const std::string& path)
    {
        dlg.SetControlText(IDC_FILENAME, path);
        dlg.OnOK();
    }

    // True if nobody holds the modem's port any more.
    bool PortReleased()
    {
        std::unique_ptr<serial::Device> d = serial::Open("COM1");
        return d != nullptr;
    }

    PortMap ports;
    simtest::SimProcess sim;
    MessageRecorder messages;
    CQuilvexDlg dlg;
    std::string image;

private:
    std::filesystem::path m_oldCwd;
};
