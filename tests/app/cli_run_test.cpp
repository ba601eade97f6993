// quilvex-cli end to end against the modem simulator: each outcome's text
// and exit code, JSON Lines, a run without a terminal, interrupts and a
// lost or stopped terminal during the flash, two modems at once.
#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <sstream>

#include "tests/app/cli_process.h"
#include "tests/support/json_line.h"
#include "testing/sim_process.h"

namespace {

using clitest::Outcome;
using Strings = std::vector<std::string>;

const char kDataFile[] = "ATI3_Length     = 10\nATI3_Response   = \"V2.301-V90_2M_DLP\"\n"
                         "ATI119_Length   = 10\nATI119_Response = \"DRAVIK 56K RevC\"\n";

// A working folder with an image of `size` random bytes in it (image.dlf)
// and, if `dataFile` is given, quilvex.dat.
class Folder {
public:
    explicit Folder(size_t size = 524288, const char* dataFile = nullptr)
    {
        char pattern[] = "/tmp/qxcli.XXXXXX";
        dir_ = mkdtemp(pattern) ? pattern : "";
        std::mt19937 random(static_cast<unsigned>(size));
        image_.resize(size);
        for (char& c : image_)
            c = static_cast<char>(random());
        std::ofstream(dir_ + "/image.dlf", std::ios::binary) << image_;
        if (dataFile)
            std::ofstream(dir_ + "/quilvex.dat") << dataFile;
    }
    ~Folder()
    {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    const std::string& dir() const { return dir_; }
    const std::string& image() const { return image_; }

private:
    std::string dir_, image_;
};

// Whether the simulator on `sim` received exactly `image` and restored the country.
testing::AssertionResult Upgraded(simtest::SimProcess& sim, const std::string& image)
{
    if (sim.wait_for_event("country-restored").empty())
        return testing::AssertionFailure() << "no country restore; events:\n" << sim.events();
    if (simtest::ReadWholeFile(sim.image_path()) != image)
        return testing::AssertionFailure() << "the image received differs";
    return testing::AssertionSuccess();
}

// ---- Outcomes ----------------------------------------------------------------

struct OutcomeCase {
    const char* name;
    Strings simArgs; // no simulator when it holds "none"
    const char* dataFile; // quilvex.dat, or none
    size_t imageSize;
    Strings cliArgs; // after --yes
    int code;
    const char* said; // in standard output
    bool flashed; // "AT~D1" reached the modem
};

void PrintTo(const OutcomeCase& c, std::ostream* os)
{
    *os << c.name;
}

class CliOutcome : public testing::TestWithParam<OutcomeCase> { };

TEST_P(CliOutcome, SaysWhatHappenedAndExitsWithItsCode)
{
    const OutcomeCase& c = GetParam();
    Folder folder(c.imageSize, c.dataFile);
    simtest::SimPorts ports;
    simtest::SimProcess* sim = nullptr;
    if (c.simArgs != Strings{"none"}) {
        sim = &ports.Start(4, c.simArgs);
        ASSERT_TRUE(sim->started()) << sim->error();
    }
    Strings args{"--yes"};
    args.insert(args.end(), c.cliArgs.begin(), c.cliArgs.end());

    Outcome run = clitest::RunPlain(folder.dir(), args);

    EXPECT_EQ(run.code, c.code) << run.out << run.err;
    EXPECT_NE(run.out.find(c.said), std::string::npos) << run.out;
    if (sim) {
        EXPECT_EQ(sim->received().find("AT~D1") != std::string::npos, c.flashed) << sim->received();
        if (c.code == 0) {
            EXPECT_TRUE(Upgraded(*sim, folder.image()));
        }
    }
    if (std::find(c.cliArgs.begin(), c.cliArgs.end(), "run.trace") != c.cliArgs.end()) {
        EXPECT_NE(simtest::ReadWholeFile(folder.dir() + "/run.trace").find("AT~D1"), std::string::npos);
    }
    if (c.code == 7) {
        EXPECT_NE(run.err.find("run quilvex-cli again"), std::string::npos) << run.err;
    }
}

INSTANTIATE_TEST_SUITE_P(Runs, CliOutcome,
    testing::Values(OutcomeCase{"Upgraded", {}, kDataFile, 524288, {"--image", "image.dlf"}, 0,
                        "Successfully upgraded the firmware!", true},
        OutcomeCase{"UpgradedWithoutDataFile", {}, nullptr, 524288, {"--image", "image.dlf"}, 0,
            "Missing data file 'quilvex.dat'!", true},
        OutcomeCase{"UpgradedTraced", {}, kDataFile, 524288, {"--trace", "run.trace", "--image", "image.dlf"}, 0,
            "Successfully upgraded the firmware!", true},
        OutcomeCase{"TraceUncreatable", {}, kDataFile, 524288,
            {"--trace", "/nonexistent/quilvex/t.txt", "--image", "image.dlf"}, 1,
            "The program ends without using any port.", false},
        OutcomeCase{
            "NoModem", {"none"}, kDataFile, 524288, {"--image", "image.dlf"}, 3, "No Response from Modem!", false},
        OutcomeCase{"SilentModem", {"--silent"}, kDataFile, 524288, {"--image", "image.dlf"}, 3,
            "No Response from Modem!", false},
        OutcomeCase{"IdentityRefused", {"--ati3", "V9.999"}, kDataFile, 524288, {"--image", "image.dlf"}, 4,
            "ATI3 response mismatch!", false},
        OutcomeCase{"CountryUnreadable", {"--ati5", "ERROR"}, kDataFile, 524288, {"--image", "image.dlf"}, 4,
            "Modem does not response properly!", false},
        OutcomeCase{"ImageShort", {}, kDataFile, 524287, {"--image", "image.dlf"}, 5,
            "Firmware size must be 512K bytes!", false},
        OutcomeCase{
            "ImageMissing", {}, kDataFile, 524288, {"--image", "nothing.dlf"}, 5, "Cannot open the file!", false},
        OutcomeCase{"NoImageNamed", {}, kDataFile, 524288, {}, 5, "Please provide a filename!", false},
        OutcomeCase{"ModemCancels", {"--can-packet", "3"}, kDataFile, 524288, {"--image", "image.dlf"}, 7,
            "*** Transfer canceled by REMOTE ***", true},
        OutcomeCase{"RestoreUnanswered", {"--restore-no-ok"}, kDataFile, 524288, {"--image", "image.dlf"}, 7,
            "Error in restoring the old country code,\nfirmware upgrade failure!", true}),
    [](const testing::TestParamInfo<OutcomeCase>& info) { return std::string(info.param.name); });

TEST(Cli, WithoutTerminalOrYesRefusesAndSendsNothing)
{
    Folder folder(524288, kDataFile);
    simtest::SimPorts ports;
    simtest::SimProcess& sim = ports.Start(4);
    ASSERT_TRUE(sim.started()) << sim.error();

    Outcome run = clitest::RunPlain(folder.dir(), {"--image", "image.dlf"});

    EXPECT_EQ(run.code, 2);
    EXPECT_NE(run.err.find("--yes"), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(sim.received(), "");
    EXPECT_EQ(sim.events(), sim.slave() + "\n"); // not even opened
}

TEST(Cli, UsageErrorsOpenNothing)
{
    Folder folder;
    simtest::SimPorts ports;
    simtest::SimProcess& sim = ports.Start(4);
    ASSERT_TRUE(sim.started()) << sim.error();
    for (const Strings& args : {Strings{"--yes", "--bogus"}, Strings{"--yes", "--image"}, Strings{"--yes", "stray"},
             Strings{"--yes", "--port="}}) {
        Outcome run = clitest::RunPlain(folder.dir(), args);
        EXPECT_EQ(run.code, 2) << args.back();
        EXPECT_NE(run.err.find("Usage: quilvex-cli"), std::string::npos) << run.err;
    }
    EXPECT_EQ(sim.events(), sim.slave() + "\n");
}

// ---- JSON Lines ----------------------------------------------------------------

TEST(Cli, JsonLinesParseAndEndWithTheExitCode)
{
    for (const Strings& simArgs : {Strings{}, Strings{"--can-packet", "100"}}) {
        Folder folder(524288, kDataFile);
        simtest::SimPorts ports;
        simtest::SimProcess& sim = ports.Start(4, simArgs);
        ASSERT_TRUE(sim.started()) << sim.error();

        Outcome run = clitest::RunPlain(folder.dir(), {"--yes", "--json", "--image", "image.dlf"});

        std::istringstream lines(run.out);
        std::map<std::string, int> events;
        std::map<std::string, std::string> last;
        int packets = 0;
        for (std::string line; std::getline(lines, line);) {
            auto object = jsontest::ParseObject(line);
            ASSERT_TRUE(object) << line;
            ++events[(*object)["event"]];
            if ((*object)["event"] == "packet") {
                EXPECT_EQ((*object)["packet"], std::to_string(++packets)) << line;
            }
            last = *object;
        }
        EXPECT_EQ(last["event"], "end");
        EXPECT_EQ(last["code"], std::to_string(run.code));
        EXPECT_EQ(events["modem"], 1);
        EXPECT_EQ(events["flash"], 1);
        EXPECT_EQ(events["port"], 4); // COM1 to COM3 lead nowhere, COM4 answers
        if (simArgs.empty()) {
            EXPECT_EQ(run.code, 0);
            EXPECT_EQ(packets, 512);
        } else {
            EXPECT_EQ(run.code, 7);
            EXPECT_NE(last["message"].find("run quilvex-cli again"), std::string::npos) << last["message"];
        }
    }
}

// ---- The terminal during the flash ------------------------------------------

enum class Trouble { Signals, OutputHeld, TerminalClosed };

struct TroubleCase {
    const char* name;
    Trouble trouble;
};

void PrintTo(const TroubleCase& c, std::ostream* os)
{
    *os << c.name;
}

class CliFlashTrouble : public testing::TestWithParam<TroubleCase> { };

TEST_P(CliFlashTrouble, TheUpgradeCompletesByteForByte)
{
    Folder folder(524288, kDataFile);
    simtest::SimPorts ports;
    // Paced, so that the flash is still going while the test acts.
    simtest::SimProcess& sim = ports.Start(4, {"--line-rate", "921600"});
    ASSERT_TRUE(sim.started()) << sim.error();
    clitest::PtyRun run(folder.dir(), {"--yes", "--image", "image.dlf"});
    ASSERT_TRUE(run.Started());
    ASSERT_NE(sim.wait_for_event("loader-start"), "") << run.Output();

    switch (GetParam().trouble) {
    case Trouble::Signals:
        for (int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGTSTP, SIGPIPE})
            ::kill(run.Pid(), s);
        run.Type("\x03\x1a\x1c"); // Ctrl-C, Ctrl-Z and Ctrl-\ as typed
        EXPECT_TRUE(run.WaitForOutput("The flash goes on")) << run.Output();
        break;
    case Trouble::OutputHeld:
        run.HoldOutput();
        run.Type("\x13"); // Ctrl-S: the terminal stops taking output
        // The modem gets all of it while the terminal takes nothing.
        EXPECT_TRUE(Upgraded(sim, folder.image()));
        run.Type("\x11"); // Ctrl-Q
        run.ReleaseOutput();
        break;
    case Trouble::TerminalClosed:
        run.CloseTerminal(); // hang-up, then EIO on every write
        break;
    }

    EXPECT_EQ(run.Wait(), 0) << run.Output();
    EXPECT_TRUE(Upgraded(sim, folder.image()));
}

INSTANTIATE_TEST_SUITE_P(Terminal, CliFlashTrouble,
    testing::Values(TroubleCase{"Signals", Trouble::Signals}, TroubleCase{"OutputHeld", Trouble::OutputHeld},
        TroubleCase{"TerminalClosed", Trouble::TerminalClosed}),
    [](const testing::TestParamInfo<TroubleCase>& info) { return std::string(info.param.name); });

// Before the flash the user may still leave, every way a terminal offers.
TEST(Cli, BeforeTheFlashTheUserMayLeave)
{
    for (const char* keys : {"n\r", "\x04", "\x03"}) {
        Folder folder(524288, kDataFile);
        simtest::SimPorts ports;
        simtest::SimProcess& sim = ports.Start(4);
        ASSERT_TRUE(sim.started()) << sim.error();
        clitest::PtyRun run(folder.dir(), {"--image", "image.dlf"});
        ASSERT_TRUE(run.Started());
        ASSERT_TRUE(run.WaitForOutput("Continue? [Y/n]")) << run.Output();

        run.Type(keys);

        EXPECT_EQ(run.Wait(), 6) << run.Output();
        EXPECT_EQ(sim.received(), "") << "keys " << int(keys[0]);
    }
}

// The leave to flash is asked after discovery; "y" there starts the flash.
TEST(Cli, AsksForTheImageAndForLeaveOnTheTerminal)
{
    Folder folder(524288, kDataFile);
    simtest::SimPorts ports;
    simtest::SimProcess& sim = ports.Start(4);
    ASSERT_TRUE(sim.started()) << sim.error();
    clitest::PtyRun run(folder.dir(), {});
    ASSERT_TRUE(run.Started());
    ASSERT_TRUE(run.WaitForOutput("Continue? [Y/n]")) << run.Output();
    run.Type("\r");
    ASSERT_TRUE(run.WaitForOutput("Image file (*.dlf): ")) << run.Output();
    run.Type("image.dlf\r");
    ASSERT_TRUE(run.WaitForOutput("into the modem on COM4?")) << run.Output();
    EXPECT_EQ(sim.received().find("AT~D1"), std::string::npos);
    run.Type("y\r");

    EXPECT_EQ(run.Wait(), 0) << run.Output();
    EXPECT_TRUE(Upgraded(sim, folder.image()));
    EXPECT_NE(run.Output().find("Modem on COM4, country code 22"), std::string::npos) << run.Output();
}

// ---- Several modems ----------------------------------------------------------

TEST(Cli, TwoModemsAtOnceEachByteForByte)
{
    Folder first(524288, kDataFile), second(524289 - 1, kDataFile);
    // Different images: each modem must get its own.
    std::ofstream(second.dir() + "/image.dlf", std::ios::binary | std::ios::trunc)
        << std::string(first.image().rbegin(), first.image().rend());
    simtest::SimPorts ports;
    simtest::SimProcess& a = ports.Start(4);
    simtest::SimProcess& b = ports.Start(5);
    ASSERT_TRUE(a.started()) << a.error();
    ASSERT_TRUE(b.started()) << b.error();

    Outcome runB;
    std::thread other([&] {
        runB = clitest::RunPlain(second.dir(), {"--yes", "--port", "COM5", "--image", "image.dlf"});
    });
    Outcome runA = clitest::RunPlain(first.dir(), {"--yes", "--port", "COM4", "--image", "image.dlf"});
    other.join();

    EXPECT_EQ(runA.code, 0) << runA.out << runA.err;
    EXPECT_EQ(runB.code, 0) << runB.out << runB.err;
    EXPECT_TRUE(Upgraded(a, first.image()));
    EXPECT_TRUE(Upgraded(b, std::string(first.image().rbegin(), first.image().rend())));
}

} // namespace
