// Fuzz target for the way a modem's reply is taken in: read off the line in
// pieces of at most 1000 bytes, each text ending at its first NUL, then
// line breaks removed and the text split at the first "OK". Whatever the
// bytes, nothing may be lost or reordered and the split must be exact.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "link/ComPort.h"
#include "tests/support/fake_serial.h"

namespace {

constexpr size_t kPiece = 1000; // the most one read takes off the line

void Require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz_reply_rules: %s\n", what);
        std::abort();
    }
}

// Where "OK" first starts in `text`, found by plain scanning.
size_t FirstOk(const std::string& text)
{
    for (size_t k = 0; k + 1 < text.size(); ++k)
        if (text[k] == 'O' && text[k + 1] == 'K')
            return k;
    return std::string::npos;
}

void CheckSplit(const std::string& text)
{
    std::string before = "(untouched)";
    const int p = ReplyBeforeOk(text, before);
    const size_t want = FirstOk(text);
    if (want == std::string::npos) {
        Require(p == -1, "OK position without an OK");
        Require(before == text, "text without OK not kept whole");
    } else {
        Require(p >= 0 && static_cast<size_t>(p) == want, "OK position is not the first OK");
        Require(before == text.substr(0, want), "text before OK is not the prefix");
    }
}

void CheckRules(const std::string& reply)
{
    const std::string stripped = StripLineBreaks(reply);
    std::string kept = reply;
    kept.erase(std::remove_if(kept.begin(), kept.end(), [](char c) { return c == '\r' || c == '\n'; }), kept.end());
    Require(stripped == kept, "stripping lost, added or moved a byte other than CR/LF");
    // Callers split the stripped reply; a raw one must split just as exactly.
    CheckSplit(stripped);
    CheckSplit(reply);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    // Bytes that one read takes whole (one piece, no NUL) are checked as
    // that read's text below.
    if (size > kPiece || std::memchr(data, 0, size))
        CheckRules(bytes);

    // The same bytes waiting on the line, read the way replies are read.
    FakeLine line;
    line.Install();
    Require(g_ComPort.Open("COM1") == 1, "cannot open the in-memory line");
    line.toProgram.assign(data, data + size);
    size_t taken = 0;
    for (;;) {
        std::string text = "(stale)";
        const int got = g_ComPort.ReadResponse(text);
        if (got == 0) {
            Require(text.empty(), "text left over when nothing was read");
            break;
        }
        Require(got > 0 && static_cast<size_t>(got) == std::min<size_t>(size - taken, kPiece),
            "a piece not as long as what waits, up to 1000 bytes");
        const std::string piece = bytes.substr(taken, static_cast<size_t>(got));
        Require(text == piece.substr(0, piece.find('\0')), "text is not the piece up to its first NUL");
        CheckRules(text);
        taken += static_cast<size_t>(got);
    }
    Require(taken == size, "bytes left unread on the line");
    g_ComPort.Close();
    return 0;
}
