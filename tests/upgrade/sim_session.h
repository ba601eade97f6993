// One whole session of the program against the modem simulator: the sim in
// its own folder (also the working directory, so there is no identity data
// file and the check is bypassed), COM1 pointing at it and COM2..COM9 at
// nothing, discovery run, and an image file ready to upgrade with.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/serial/serial_device.h"
#include "tests/support/dialog_session.h"
#include "testing/com_ports.h"
#include "testing/sim_process.h"

class SimSession : public DialogSession {
public:
    explicit SimSession(std::vector<std::string> simArgs) : sim(std::move(simArgs))
    {
        if (!sim.started())
            return;
        ports.Map(1, sim.link());
        WorkIn(sim.dir());
    }
    ~SimSession() { Leave(); }

    // Writes an image of `size` bytes into the sim's folder. Returns its path.
    std::string MakeImage(size_t size, const std::string& name = "new.dlf")
    {
        return DialogSession::MakeImage(size, sim.path(name));
    }

    // Runs discovery; true if the dialog stayed open on the simulator.
    bool Discover()
    {
        dlg.DetectModem();
        bool ok = !dlg.IsEnded() && g_ComPort.m_bPresent;
        messages.texts.clear();
        return ok;
    }

    // True if nobody holds the modem's port any more.
    bool PortReleased()
    {
        std::unique_ptr<serial::Device> d = serial::Open("COM1");
        return d != nullptr;
    }

    PortMap ports;
    simtest::SimProcess sim;
};
