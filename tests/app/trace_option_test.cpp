// quilvex --trace FILE as the program starts: the command line, and a FILE
// that cannot be had, which ends the program with its message before any
// port is opened; a regular file in the way is replaced.
#include <gtest/gtest.h>

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "app/CommandLine.h"
#include "app/QuilvexApp.h"
#include "link/ComPort.h"
#include "testing/message_recorder.h"
#include "testing/com_ports.h"
#include "tests/support/fake_serial.h"
#include "tests/support/pty.h"

namespace {

namespace fs = std::filesystem;

TEST(TraceOption, CommandLine)
{
    struct Row {
        std::vector<const char*> args;
        std::string file;
        bool error;
    };
    const Row rows[] = {
        {{}, "", false},
        {{"--trace", "run.trace"}, "run.trace", false},
        {{"--trace=C:\\my runs\\a.trace"}, "C:\\my runs\\a.trace", false},
        {{"-platform", "offscreen", "--trace", "x"}, "x", false},
        {{"--trace"}, "", true},
        {{"--trace="}, "", true},
    };
    for (const Row& row : rows) {
        std::vector<char*> argv{const_cast<char*>("quilvex")};
        for (const char* a : row.args)
            argv.push_back(const_cast<char*>(a));
        CommandLine line = ParseCommandLine(static_cast<int>(argv.size()), argv.data());
        EXPECT_EQ(line.traceFile, row.file) << row.args.size();
        EXPECT_EQ(!line.error.empty(), row.error) << row.args.size();
    }
}

struct Start {
    PortMap ports;
    FakeLine line;
    MessageRecorder messages;
    fs::path dir;
    Start()
    {
        ports.Attach(1, line);
        char pattern[] = "/tmp/qxtrace.XXXXXX";
        dir = mkdtemp(pattern);
    }
    ~Start()
    {
        g_ComPort.CloseIfPresent();
        theApp.m_strTraceFile.clear();
        fs::remove_all(dir);
    }
    bool Run(const std::string& file)
    {
        theApp.m_strTraceFile = file;
        return theApp.InitInstance();
    }
};

TEST(TraceOption, AFileThatCannotBeHadEndsTheProgramBeforeAnyPort)
{
    Start s;
    fs::create_directory(s.dir / "folder");
    mkfifo((s.dir / "fifo").c_str(), 0600);
    const std::pair<std::string, std::string> rows[] = {
        {(s.dir / "missing" / "run.trace").string(), "No such file or directory"},
        {(s.dir / "folder").string(), "It exists and is not a regular file."},
        {(s.dir / "fifo").string(), "It exists and is not a regular file."},
    };
    for (const auto& [file, why] : rows) {
        s.messages.texts.clear();
        EXPECT_FALSE(s.Run(file));
        EXPECT_EQ(s.messages.texts,
            std::vector<std::string>{"The trace file cannot be created:\n" + file + "\n\n" + why +
                "\n\nThe program ends without using any port."});
    }
    EXPECT_EQ(s.ports.OpensOf("COM1"), 0);
    EXPECT_TRUE(s.line.written.empty());
    EXPECT_TRUE(fs::is_directory(s.dir / "folder"));
    EXPECT_TRUE(fs::is_fifo(s.dir / "fifo"));
    EXPECT_FALSE(fs::exists(s.dir / "missing"));
}

TEST(TraceOption, ARegularFileIsReplacedByTheRunsTrace)
{
    Start s;
    const fs::path file = s.dir / "old.trace";
    std::ofstream(file) << std::string(100000, 'x');
    s.line.replies = {{"ATE0", "OK\r\n"}, {"ATI5", "\r\n22\r\nOK\r\n"}};
    EXPECT_FALSE(s.Run(file.string()));

    std::ifstream in(file);
    std::string text(std::istreambuf_iterator<char>(in), {});
    EXPECT_EQ(text.find('x' + std::string(99, 'x')), std::string::npos);
    EXPECT_EQ(text.rfind("# Quilvex trace", 0), 0u) << text;
    EXPECT_NE(text.find("box okcancel \"Preparing to detect Modem..."), std::string::npos) << text;
    EXPECT_NE(text.find(" answer ok\n"), std::string::npos) << text;
    // The line the test put behind COM1 is the one traced.
    EXPECT_NE(text.find(" open COM1 \""), std::string::npos) << text;
    EXPECT_NE(text.find(" > 415449350D0A |ATI5..|\n"), std::string::npos) << text;
    EXPECT_NE(text.find(" < 0D0A32320D0A4F4B 0D0A |..22..OK..|\n"), std::string::npos) << text;
}

TEST(TraceOption, TheTraceIsForItsOwnersEyesOnly)
{
    Start s;
    const mode_t old = umask(022);
    const fs::path fresh = s.dir / "new.trace", kept = s.dir / "old.trace";
    std::ofstream(kept) << "x";
    chmod(kept.c_str(), 0644);
    for (const fs::path& file : {fresh, kept}) {
        s.Run(file.string());
        struct stat st { };
        ASSERT_EQ(stat(file.c_str(), &st), 0) << file;
        EXPECT_EQ(st.st_mode & 07777, 0600u) << file;
    }
    umask(old);
}

// A terminal named as the trace is refused without being opened: opening a
// serial port raises its lines.
TEST(TraceOption, ATerminalIsRefusedUnopened)
{
    Start s;
    simtest::ModemPty tty;
    ASSERT_TRUE(tty.Ok());
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(inotify_add_watch(watch, tty.Path().c_str(), IN_OPEN | IN_MODIFY | IN_ATTRIB), 0);

    EXPECT_FALSE(s.Run(tty.Path()));
    EXPECT_EQ(s.messages.texts,
        std::vector<std::string>{"The trace file cannot be created:\n" + tty.Path() +
            "\n\nIt exists and is not a regular file.\n\n"
            "The program ends without using any port."});
    alignas(inotify_event) char events[4096];
    EXPECT_LT(read(watch, events, sizeof events), 0) << "the terminal was opened or changed";
    EXPECT_EQ(errno, EAGAIN);
    close(watch);
}

} // namespace
