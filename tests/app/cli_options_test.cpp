// quilvex-cli's pure pieces: its command line, the port it searches, the
// answers it takes, and the texts it writes.
#include <gtest/gtest.h>

#include "app/CliOptions.h"
#include "app/CliReport.h"
#include "app/CliRun.h"
#include "platform/ui/console/console_answer.h"
#include "tests/support/json_line.h"

namespace {

using Strings = std::vector<std::string>;

CliOptions Parse(Strings args)
{
    args.insert(args.begin(), "quilvex-cli");
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    return ParseCliOptions(static_cast<int>(argv.size()), argv.data());
}

TEST(CliOptions, ReadsEveryOptionInBothForms)
{
    CliOptions o = Parse({"--yes", "--json", "--image", "a.dlf", "--port=COM12", "--trace", "t.txt"});
    EXPECT_EQ(o.error, "");
    EXPECT_TRUE(o.yes);
    EXPECT_TRUE(o.json);
    EXPECT_EQ(o.image, "a.dlf");
    EXPECT_EQ(o.port, "COM12");
    EXPECT_EQ(o.trace, "t.txt");
    EXPECT_TRUE(Parse({"--list-ports"}).listPorts);
    EXPECT_TRUE(Parse({"--help"}).help);
    EXPECT_TRUE(Parse({"--version"}).version);
    EXPECT_EQ(Parse({"--image=x=y.dlf"}).image, "x=y.dlf");
}

TEST(CliOptions, UnusableLinesSayWhy)
{
    const struct {
        Strings args;
        const char* error;
    } cases[] = {
        {{"--bogus"}, "Unknown option: --bogus"},
        {{"-y"}, "Unknown option: -y"},
        {{"image.dlf"}, "Unexpected argument: image.dlf"},
        {{"--image"}, "--image needs a value."},
        {{"--port="}, "--port needs a value."},
        {{"--trace", ""}, "--trace needs a value."},
        {{"--imagefile", "x"}, "Unknown option: --imagefile"},
        {{"--yes", "--port"}, "--port needs a value."},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Parse(c.args).error, c.error) << c.args[0];
}

TEST(CliOptions, PortSearchedAndOpened)
{
    const struct {
        const char* port;
        const char* slot;
        const char* target;
    } cases[] = {
        {"", "", ""},
        {"COM4", "COM4", "COM4"},
        {"com9", "COM9", "COM9"},
        {"COM12", "COM1", "COM12"},
        {"COM0", "COM1", "COM0"},
        {"/dev/ttyUSB0", "COM1", "/dev/ttyUSB0"},
        {"COMX", "COM1", "COMX"},
    };
    for (const auto& c : cases) {
        PortChoice choice = ChoosePort(c.port);
        EXPECT_EQ(choice.slot, c.slot) << c.port;
        EXPECT_EQ(choice.target, c.target) << c.port;
    }
}

TEST(CliOptions, HelpListsEveryExitCode)
{
    const std::string help = CliUsage();
    for (int code = 0; code <= 7; ++code)
        EXPECT_NE(help.find("\n  " + std::to_string(code) + "  "), std::string::npos) << code;
}

TEST(ConsoleAnswer, YesNoAsTyped)
{
    const struct {
        const char* line;
        std::optional<bool> answer;
    } cases[] = {
        {"", true},
        {"y", true},
        {"Yes", true},
        {"  Y  ", true},
        {"n", false},
        {"NO", false},
        {" no\t", false},
        {"maybe", std::nullopt},
        {"yess", std::nullopt},
        {"0", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ui::console::ParseYesNo(c.line), c.answer) << '"' << c.line << '"';
}

TEST(CliReport, JsonStringsAlwaysParseAndKeepTheText)
{
    const std::string texts[] = {
        "plain",
        "Expected: \"V2\"\nReceived: x\\y",
        std::string("nul\0in", 6),
        "\x01\x1f\x7f",
        "\xe9\xff caf\xc3\xa9",
        "\t\r\n",
    };
    for (const std::string& text : texts) {
        auto object = jsontest::ParseObject("{\"t\":" + JsonString(text) + "}");
        ASSERT_TRUE(object) << JsonString(text);
        EXPECT_EQ((*object)["t"], text) << JsonString(text);
    }
}

TEST(CliReport, ProgressLine)
{
    EXPECT_EQ(ProgressText(1, 512, 0), "Packet 1 of 512    0%  -- KB/s  --:-- left");
    EXPECT_EQ(ProgressText(256, 512, 10240), "Packet 256 of 512   50%  10.0 KB/s  0:26 left");
    EXPECT_EQ(ProgressText(512, 512, 11264), "Packet 512 of 512  100%  11.0 KB/s  0:00 left");
    EXPECT_EQ(ProgressText(2, 512, 100), "Packet 2 of 512    0%  0.1 KB/s  87:02 left");
}

} // namespace
