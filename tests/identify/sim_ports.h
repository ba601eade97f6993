// COM1..COM9 for tests that talk to simulated modems: every port name is
// pointed at a path that does not exist, so no real serial port is ever
// touched, and simulators are then hung on the ports a test chooses.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <memory>
#include <string>
#include <vector>

#include "link/ComPort.h"
#include "tests/sim/sim_process.h"

class SimPorts {
public:
    SimPorts()
    {
        for (int n = 1; n <= 9; ++n)
            setenv(Var(n).c_str(), ("/nonexistent/quilvex-no-port-" + std::to_string(n)).c_str(), 1);
    }
    ~SimPorts()
    {
        // Nothing may stay open on a simulator that is about to go.
        g_ComPort.Close();
        m_sims.clear();
        for (int n = 1; n <= 9; ++n)
            unsetenv(Var(n).c_str());
    }
    SimPorts(const SimPorts&) = delete;
    SimPorts& operator=(const SimPorts&) = delete;

    // Starts a simulator with `args` and makes it COM`n`.
    simtest::SimProcess& Start(int n, std::vector<std::string> args = {})
    {
        auto& sim = *m_sims.emplace_back(std::make_unique<simtest::SimProcess>(std::move(args)));
        EXPECT_TRUE(sim.started()) << sim.error();
        sim.export_as_com(n);
        return sim;
    }

private:
    static std::string Var(int n) { return "QUILVEX_COM" + std::to_string(n); }
    std::vector<std::unique_ptr<simtest::SimProcess>> m_sims;
};
