// The AT command interpreter as the product sees it, over the pty.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <thread>

#include "sim/simulator.h"
#include "tests/support/pty.h"
#include "testing/sim_process.h"

using simtest::PtyClient;
using simtest::SimProcess;
using namespace std::chrono_literals;

namespace {

bool exists(const std::string& path)
{
    struct stat st { };
    return lstat(path.c_str(), &st) == 0;
}

} // namespace

TEST(SimCommandMode, EchoesUntilAte0AndFramesRepliesLikeAModem)
{
    SimProcess sim;
    ASSERT_TRUE(sim.started()) << sim.error();
    PtyClient port(sim.link());
    ASSERT_TRUE(port.is_open());
    EXPECT_EQ(sim.received(), "") << "nothing was sent yet";

    port.send("AT\r");
    EXPECT_EQ(port.read_until("OK\r\n"), "AT\r\r\nOK\r\n");
    port.send("ATE0\r\n");
    EXPECT_EQ(port.read_until("OK\r\n"), "ATE0\r\r\nOK\r\n");
    port.send("ATI5\r");
    EXPECT_EQ(port.read_until("OK\r\n"), "\r\n22\r\n\r\nOK\r\n");
    port.send("ATI3\r");
    EXPECT_EQ(port.read_until("OK\r\n"), "\r\nV2.301-V90_2M_DLP\r\n\r\nOK\r\n");
    port.send("ATI119\r");
    EXPECT_EQ(port.read_until("OK\r\n"), "\r\nDRAVIK 56K RevC\r\n\r\nOK\r\n");
    port.send("ATX9\r");
    EXPECT_EQ(port.read_until("ERROR\r\n"), "\r\nERROR\r\n");
    port.send("ATi5\r");
    EXPECT_EQ(port.read_until("ERROR\r\n"), "\r\nERROR\r\n") << "commands are case-sensitive";
    port.send("at\r");
    EXPECT_EQ(port.read_for(100ms), "") << "a line without AT is not a command";
    port.send("\x13\x01"
              "ATI5\r");
    EXPECT_EQ(port.read_until("OK\r\n"), "\r\n22\r\n\r\nOK\r\n") << "noise before AT is skipped";
    port.send("ATE1\r");
    EXPECT_EQ(port.read_until("OK\r\n"), "\r\nOK\r\n");
    port.send("AT\r");
    EXPECT_EQ(port.read_until("OK\r\n"), "AT\r\r\nOK\r\n");
    port.send(std::string(300, 'A') + "\r");
    EXPECT_EQ(port.read_until("ERROR\r\n"), std::string(300, 'A') + "\r\r\nERROR\r\n");

    EXPECT_EQ(sim.received(),
        "AT\rATE0\r\nATI5\rATI3\rATI119\rATX9\rATi5\rat\r\x13\x01"
        "ATI5\rATE1\rAT\r" +
            std::string(300, 'A') + "\r");
}

TEST(SimCommandMode, RestoreSetsCountryAndSurvivesReopen)
{
    SimProcess sim({"--country", "7"});
    ASSERT_TRUE(sim.started()) << sim.error();
    {
        PtyClient port(sim.link());
        port.send("ATE0\rATI5\r");
        EXPECT_EQ(port.read_until("\r\n7\r\n\r\nOK\r\n"), "ATE0\r\r\nOK\r\n\r\n7\r\n\r\nOK\r\n");
    }
    // The product closes the port between steps; the modem must answer a reopen.
    PtyClient port(sim.link());
    ASSERT_TRUE(port.is_open());
    port.send("AT*NC33&F\r");
    EXPECT_EQ(port.read_until("OK\r\n"), "\r\nOK\r\n");
    EXPECT_EQ(sim.wait_for_event("country-restored"), "country-restored 33");
    port.send("ATI5\r");
    EXPECT_EQ(port.read_until("OK\r\n"), "\r\n33\r\n\r\nOK\r\n");
    port.send("AT*NC&F\r");
    EXPECT_EQ(port.read_until("ERROR\r\n"), "\r\nERROR\r\n");
}

TEST(SimCommandMode, ReplyFaults)
{
    SimProcess no_ok({"--no-ok", "--ati5", "Country 22", "--restore-reply", "\\r\\nCOUNTRY SET OK\\r\\n"});
    ASSERT_TRUE(no_ok.started()) << no_ok.error();
    PtyClient port(no_ok.link());
    // Each reply is read up to its known end; an OK after it would show at
    // the start of the next one.
    port.send("ATE0\r");
    EXPECT_EQ(port.read_until("ATE0\r"), "ATE0\r");
    port.send("ATI5\r");
    EXPECT_EQ(port.read_until("Country 22\r\n"), "\r\nCountry 22\r\n");
    port.send("AT*NC22&F\r");
    EXPECT_EQ(port.read_until("COUNTRY SET OK\r\n"), "\r\nCOUNTRY SET OK\r\n");
    port.send("ATI5\r");
    EXPECT_EQ(port.read_until("Country 22\r\n"), "\r\nCountry 22\r\n");

    SimProcess silent({"--silent"});
    ASSERT_TRUE(silent.started()) << silent.error();
    PtyClient dead(silent.link());
    dead.send("AT\rAT~D1\r");
    EXPECT_EQ(silent.await_received("AT\rAT~D1\r"), "AT\rAT~D1\r");
    EXPECT_EQ(dead.read_for(100ms), "");
    EXPECT_EQ(no_ok.stop(), 0) << no_ok.diagnostics();
    EXPECT_EQ(silent.stop(), 0) << silent.diagnostics();
}

TEST(SimCommandMode, LinePacingHoldsBothDirectionsToTheRate)
{
    SimProcess sim({"--line-rate", "4800"}); // 480 bytes/s
    ASSERT_TRUE(sim.started()) << sim.error();
    PtyClient port(sim.link());
    const std::string line(200, 'A');
    const auto start = std::chrono::steady_clock::now();
    port.send(line + "\r");
    const std::string got = port.read_until("ERROR\r\n");
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(got, line + "\r\r\nERROR\r\n");
    // 201 bytes in and 211 bytes out, overlapping: at least 211 / 480 s.
    // (How close to that it gets is for the line-rate benchmark.)
    EXPECT_GE(took, 420ms);
}

TEST(SimCommandMode, LinksAreReplacedAndRemovedOnTerm)
{
    SimProcess first;
    ASSERT_TRUE(first.started()) << first.error();
    SimProcess second({}, first.link()); // a second modem takes over the same name
    ASSERT_TRUE(second.started()) << second.error();
    PtyClient port(first.link());
    port.send("ATI5\r");
    EXPECT_EQ(port.read_until("OK\r\n"), "ATI5\r\r\n22\r\n\r\nOK\r\n");
    EXPECT_EQ(first.received(), "") << "the link now leads to the second modem";

    EXPECT_EQ(second.stop(), 0);
    EXPECT_FALSE(exists(first.link()));
    EXPECT_EQ(first.stop(), 0);
}

TEST(SimCommandMode, RunsInProcessAndStopsFromAnotherThread)
{
    sim::Options options;
    options.country = 41;
    sim::Simulator modem(options);
    std::string error;
    ASSERT_TRUE(modem.open(&error)) << error;
    std::thread runner([&] { modem.run(); });
    PtyClient port(modem.slave_path());
    port.send("ATE0\rAT*NC5&F\r");
    EXPECT_EQ(port.read_until("OK\r\n\r\nOK\r\n"), "ATE0\r\r\nOK\r\n\r\nOK\r\n");
    EXPECT_EQ(modem.restored_country(), 5);
    EXPECT_EQ(modem.transcript(), "ATE0\rAT*NC5&F\r");
    modem.stop();
    runner.join();
    EXPECT_EQ(port.read_for(100ms), "");
    EXPECT_TRUE(port.hung_up());
}
