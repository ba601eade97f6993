// Drives quilvex.exe through its real windows, as a person would but
// without pixels: finds its windows by title, reads control texts with
// WM_GETTEXT, types into the edit field with WM_SETTEXT and presses buttons
// with BM_CLICK. Every wait has a deadline; on failure it names the step and
// lists every window the program has on show, message boxes with their text.
//
//   quilvex-ui-driver PROGRAM [args:ARGUMENTS] STEP...
//
// ARGUMENTS go on the program's command line as they are.
// Steps (TEXT may hold \n):
//   box:ok:TEXT | box:cancel:TEXT   a message box with exactly TEXT; answer it
//   main                            the main window shows
//   expect:ID:TEXT                  control ID of the main window reads TEXT
//   set:ID:TEXT                     types TEXT into control ID
//   click:ID                        presses button ID of the main window
//   about                           opens the About box from the system menu, checks it, closes it
//   busy                            during the transfer: the window answers, closing and the
//                                   session's end are refused
//   endsession:ANSWER               the main window answers the session's end with ANSWER (0/1)
//   ready:FILE                      prints READY and the main window's WxH+X+Y, waits for FILE
//   exit:CODE                       the program ends with CODE
#include <windows.h>
#include <commctrl.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

namespace {

constexpr DWORD kDeadlineMs = 60000;
constexpr DWORD kTransferDeadlineMs = 180000;
const wchar_t kMainTitle[] = L" Flash Memory Upgrade Utility for Dravik Modem";
const wchar_t kAboutTitle[] = L"About Quilvex";
const wchar_t kBoxCaption[] = L"quilvex";
const wchar_t kUpgrading[] = L"Flash Upgrading... (WARNING: DON'T INTERRUPT THE PROCESS!!!)";
constexpr int kStatusId = 1009;
constexpr int kPacketId = 1007;
constexpr int kProgressId = 1005;
constexpr UINT kAboutCommand = 0x0010;

PROCESS_INFORMATION g_process{};

// A step's text (in the ANSI code page, as the command line gives it) in
// UTF-16, with \n made a line break.
std::wstring Widen(const std::string& text)
{
    std::string plain;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == 'n') {
            plain += '\n';
            ++i;
        } else {
            plain += text[i];
        }
    }
    std::wstring out(plain.size(), L'\0');
    const int n = MultiByteToWideChar(
        CP_ACP, 0, plain.data(), static_cast<int>(plain.size()), out.data(), static_cast<int>(out.size()));
    out.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return out;
}

std::string Narrow(const std::wstring& text)
{
    std::string out;
    for (wchar_t c : text)
        out += c == L'\n' ? std::string("\\n") : std::string(1, c < 128 ? static_cast<char>(c) : '?');
    return out;
}

// The window's text, asked of its own thread; "" when it does not answer.
std::wstring TextOf(HWND hwnd)
{
    wchar_t buffer[4096] = {};
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(hwnd, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, 5000, &copied))
        return std::wstring();
    return std::wstring(buffer, copied);
}

std::wstring ClassOf(HWND hwnd)
{
    wchar_t name[256] = {};
    GetClassNameW(hwnd, name, 256);
    return name;
}

struct WindowSearch {
    DWORD pid = 0;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectProgramWindow(HWND hwnd, LPARAM lParam)
{
    auto* search = reinterpret_cast<WindowSearch*>(lParam);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == search->pid && IsWindowVisible(hwnd))
        search->found.push_back(hwnd);
    return TRUE;
}

BOOL CALLBACK CollectChild(HWND hwnd, LPARAM lParam)
{
    reinterpret_cast<WindowSearch*>(lParam)->found.push_back(hwnd);
    return TRUE;
}

std::vector<HWND> ProgramWindows()
{
    WindowSearch search;
    search.pid = g_process.dwProcessId;
    EnumWindows(CollectProgramWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::vector<HWND> Children(HWND parent)
{
    WindowSearch search;
    EnumChildWindows(parent, CollectChild, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// A message box's text: its longest static text (the other static is the icon).
std::wstring BoxText(HWND box)
{
    std::wstring best;
    for (HWND child : Children(box))
        if (_wcsicmp(ClassOf(child).c_str(), L"Static") == 0) {
            std::wstring text = TextOf(child);
            if (text.size() > best.size())
                best = text;
        }
    return best;
}

void ShowWindows()
{
    for (HWND hwnd : ProgramWindows()) {
        std::wstring title = TextOf(hwnd);
        std::fprintf(stderr, "  on show: \"%s\"", Narrow(title).c_str());
        if (title == kBoxCaption)
            std::fprintf(stderr, " message box: \"%s\"", Narrow(BoxText(hwnd)).c_str());
        std::fprintf(stderr, "\n");
        for (HWND child : Children(hwnd))
            if (GetDlgCtrlID(child) > 0 && GetDlgCtrlID(child) < 0xFFFF)
                std::fprintf(stderr, "    control %d: \"%s\"\n", GetDlgCtrlID(child), Narrow(TextOf(child)).c_str());
    }
}

[[noreturn]] __attribute__((format(printf, 2, 3))) void Fail(const std::string& step, const char* why, ...)
{
    std::fprintf(stderr, "ui-driver: step '%s' failed: ", step.c_str());
    va_list args;
    va_start(args, why);
    std::vfprintf(stderr, why, args);
    va_end(args);
    std::fprintf(stderr, "\n");
    ShowWindows();
    TerminateProcess(g_process.hProcess, 99);
    std::exit(1);
}

bool ProgramEnded()
{
    return WaitForSingleObject(g_process.hProcess, 0) == WAIT_OBJECT_0;
}

// Polls `ready` every 20 ms until it gives a window or the deadline passes.
template <typename Probe> HWND WaitFor(const std::string& step, DWORD deadlineMs, Probe ready)
{
    const ULONGLONG end = GetTickCount64() + deadlineMs;
    for (;;) {
        if (HWND hwnd = ready())
            return hwnd;
        if (ProgramEnded())
            Fail(step, "the program ended");
        if (GetTickCount64() > end)
            Fail(step, "deadline of %lu s passed", deadlineMs / 1000);
        Sleep(20);
    }
}

HWND FindTitled(const wchar_t* title)
{
    for (HWND hwnd : ProgramWindows())
        if (TextOf(hwnd) == title)
            return hwnd;
    return nullptr;
}

HWND MainWindow(const std::string& step)
{
    return WaitFor(step, kDeadlineMs, [] { return FindTitled(kMainTitle); });
}

HWND Control(const std::string& step, HWND dialog, int id)
{
    HWND control = GetDlgItem(dialog, id);
    if (!control)
        Fail(step, "no control %d", id);
    return control;
}

void AnswerBox(const std::string& step, bool ok, const std::wstring& text, DWORD deadlineMs)
{
    HWND box = WaitFor(step, deadlineMs, [] { return FindTitled(kBoxCaption); });
    // The box may still be filling in: give its text a moment to match.
    const ULONGLONG end = GetTickCount64() + 5000;
    while (BoxText(box) != text) {
        if (GetTickCount64() > end)
            Fail(step, "the message box says \"%s\"", Narrow(BoxText(box)).c_str());
        Sleep(20);
    }
    // The window it reports on takes no input while the box shows.
    if (HWND main = FindTitled(kMainTitle); main && IsWindowEnabled(main))
        Fail(step, "the main window takes input while the message box shows");
    HWND button = GetDlgItem(box, ok ? IDOK : IDCANCEL);
    if (!button)
        Fail(step, "the box has no %s button", ok ? "OK" : "Cancel");
    PostMessageW(button, BM_CLICK, 0, 0);
    WaitFor(step, kDeadlineMs, [box] { return IsWindow(box) && IsWindowVisible(box) ? nullptr : HWND(1); });
}

void ExpectText(const std::string& step, int id, const std::wstring& text)
{
    HWND main = MainWindow(step);
    HWND control = Control(step, main, id);
    const ULONGLONG end = GetTickCount64() + kDeadlineMs;
    while (TextOf(control) != text) {
        if (GetTickCount64() > end)
            Fail(step, "control %d reads \"%s\"", id, Narrow(TextOf(control)).c_str());
        Sleep(20);
    }
}

void About(const std::string& step)
{
    HWND main = MainWindow(step);
    PostMessageW(main, WM_SYSCOMMAND, kAboutCommand, 0);
    HWND about = WaitFor(step, kDeadlineMs, [] { return FindTitled(kAboutTitle); });
    std::wstring all;
    for (HWND child : Children(about))
        all += TextOf(child) + L"|";
    for (const wchar_t* expected : {L"Quilvex Version 1.0a|", L"(for Dravik Modem)|", L"OK|"})
        if (all.find(expected) == std::wstring::npos)
            Fail(step, "the About box reads \"%s\"", Narrow(all).c_str());
    if (IsWindowEnabled(main))
        Fail(step, "the main window takes input while the About box shows");
    PostMessageW(GetDlgItem(about, IDOK), BM_CLICK, 0, 0);
    WaitFor(step, kDeadlineMs, [about] { return IsWindow(about) && IsWindowVisible(about) ? nullptr : HWND(1); });
}

// While the transfer runs the window keeps answering the desktop, refuses
// every way of closing it and shows the packets going out.
void Busy(const std::string& step)
{
    HWND main = MainWindow(step);
    HWND status = Control(step, main, kStatusId);
    WaitFor(step, kTransferDeadlineMs, [status] { return TextOf(status) == kUpgrading ? status : nullptr; });
    HWND exitButton = Control(step, main, IDCANCEL);
    PostMessageW(exitButton, BM_CLICK, 0, 0);
    PostMessageW(main, WM_CLOSE, 0, 0);
    PostMessageW(main, WM_SYSCOMMAND, SC_CLOSE, 0);
    PostMessageW(main, WM_KEYDOWN, VK_ESCAPE, 0);
    PostMessageW(main, WM_KEYUP, VK_ESCAPE, 0);
    // A logoff, restart or shutdown is refused while the flash is written.
    DWORD_PTR endSession = 1;
    if (!SendMessageTimeoutW(main, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG, 5000, &endSession))
        Fail(step, "the window did not answer the session's end");
    if (endSession != 0)
        Fail(step, "the window lets the session end during the transfer");

    HWND packet = Control(step, main, kPacketId);
    HWND bar = Control(step, main, kProgressId);
    std::wstring firstPacket = TextOf(packet);
    int answered = 0;
    for (int i = 0; i < 20 && TextOf(status) == kUpgrading; ++i) {
        DWORD_PTR result = 0;
        if (!SendMessageTimeoutW(main, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, &result))
            Fail(step, "the window did not answer within 2 s during the transfer");
        if (IsHungAppWindow(main))
            Fail(step, "the desktop takes the window for not responding");
        ++answered;
        Sleep(50);
    }
    if (!IsWindow(main) || !IsWindowVisible(main))
        Fail(step, "the window closed during the transfer");
    DWORD_PTR position = 0;
    SendMessageTimeoutW(bar, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, 2000, &position);
    std::printf("busy: answered %d times; packet %s then %s; progress %d\n", answered, Narrow(firstPacket).c_str(),
        Narrow(TextOf(packet)).c_str(), static_cast<int>(position));
}

void EndSession(const std::string& step, int expected)
{
    DWORD_PTR answer = 99;
    if (!SendMessageTimeoutW(
            MainWindow(step), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG, 5000, &answer))
        Fail(step, "the window did not answer");
    if (static_cast<int>(answer != 0) != expected)
        Fail(step, "the window answered %d", static_cast<int>(answer));
}

void Ready(const std::string& step, const std::string& file)
{
    RECT rect{};
    GetWindowRect(MainWindow(step), &rect);
    std::printf("READY %ldx%ld+%ld+%ld\n", rect.right - rect.left, rect.bottom - rect.top, rect.left, rect.top);
    std::fflush(stdout);
    WaitFor(step, kDeadlineMs,
        [&file] { return GetFileAttributesA(file.c_str()) != INVALID_FILE_ATTRIBUTES ? HWND(1) : nullptr; });
}

void Exit(const std::string& step, int code)
{
    if (WaitForSingleObject(g_process.hProcess, kDeadlineMs) != WAIT_OBJECT_0)
        Fail(step, "the program did not end");
    DWORD status = 0;
    GetExitCodeProcess(g_process.hProcess, &status);
    if (static_cast<int>(status) != code)
        Fail(step, "the program ended with %lu", status);
}

void Run(const std::string& step)
{
    const size_t colon = step.find(':');
    const std::string verb = step.substr(0, colon);
    const std::string rest = colon == std::string::npos ? std::string() : step.substr(colon + 1);
    const size_t colon2 = rest.find(':');
    const std::string first = rest.substr(0, colon2);
    const std::string second = colon2 == std::string::npos ? std::string() : rest.substr(colon2 + 1);
    if (verb == "box")
        AnswerBox(step, first == "ok", Widen(second), kTransferDeadlineMs);
    else if (verb == "main")
        MainWindow(step);
    else if (verb == "expect")
        ExpectText(step, std::stoi(first), Widen(second));
    else if (verb == "set")
        SendMessageTimeoutW(Control(step, MainWindow(step), std::stoi(first)), WM_SETTEXT, 0,
            reinterpret_cast<LPARAM>(Widen(second).c_str()), SMTO_ABORTIFHUNG, 5000, nullptr);
    else if (verb == "click")
        PostMessageW(Control(step, MainWindow(step), std::stoi(first)), BM_CLICK, 0, 0);
    else if (verb == "about")
        About(step);
    else if (verb == "busy")
        Busy(step);
    else if (verb == "endsession")
        EndSession(step, std::stoi(rest));
    else if (verb == "ready")
        Ready(step, rest);
    else if (verb == "exit")
        Exit(step, std::stoi(rest));
    else
        Fail(step, "unknown step");
    std::printf("ok: %s\n", step.c_str());
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: quilvex-ui-driver PROGRAM [args:ARGUMENTS] STEP...\n");
        return 2;
    }
    std::string command = std::string("\"") + argv[1] + "\"";
    // "args:TEXT" first: TEXT goes on the program's command line.
    int firstStep = 2;
    if (std::strncmp(argv[2], "args:", 5) == 0) {
        command += std::string(" ") + (argv[2] + 5);
        firstStep = 3;
    }
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &g_process)) {
        std::fprintf(stderr, "ui-driver: cannot start %s (error %lu)\n", argv[1], GetLastError());
        return 1;
    }
    for (int i = firstStep; i < argc; ++i)
        Run(argv[i]);
    return 0;
}
