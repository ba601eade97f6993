// The Win32 front end's pieces that need no display: the in-memory dialog
// templates read back field by field, the chosen file's name in the code
// page, the message boxes' caption, what counts as user input, and the
// desktop hook the front end gives the pauses.
#include <gtest/gtest.h>

#include "platform/pause.h"
#include "platform/ui/win32/win32_front_end.h"
#include "platform/ui/win32/win32_input_gate.h"
#include "platform/ui/win32/win32_template.h"
#include "platform/ui/win32/win32_text.h"
#include "res/resource.h"

namespace {

using ui::ControlKind;
using ui::win32::BuildDialogTemplate;

// Reads a DLGTEMPLATE back the way the dialog manager does.
class TemplateReader {
public:
    explicit TemplateReader(const std::vector<uint16_t>& words) : m_words(words) { }
    uint16_t Word() { return m_pos < m_words.size() ? m_words[m_pos++] : 0xDEAD; }
    uint32_t Dword()
    {
        uint32_t low = Word();
        return low | (static_cast<uint32_t>(Word()) << 16);
    }
    int16_t Short() { return static_cast<int16_t>(Word()); }
    std::wstring String()
    {
        std::wstring s;
        for (uint16_t w = Word(); w != 0 && m_pos <= m_words.size(); w = Word())
            s += static_cast<wchar_t>(w);
        return s;
    }
    // A class or title: an ordinal (0xFFFF, value) or a string.
    std::wstring StringOrOrdinal()
    {
        if (m_pos < m_words.size() && m_words[m_pos] == 0xFFFF) {
            ++m_pos;
            return L"#" + std::to_wstring(Word());
        }
        return String();
    }
    void AlignDword() { m_pos += m_pos % 2; }
    size_t Position() const { return m_pos; }

private:
    const std::vector<uint16_t>& m_words;
    size_t m_pos = 0;
};

std::wstring ExpectedClass(ControlKind kind)
{
    switch (kind) {
    case ControlKind::Edit:
        return L"#129";
    case ControlKind::Label:
    case ControlKind::Icon:
        return L"#130";
    case ControlKind::ProgressBar:
        return L"msctls_progress32";
    default:
        return L"#128";
    }
}

// Every template of the program, read back, says what its table says.
TEST(Win32DialogTemplate, ReadsBackAsTheTableSaysForEveryDialog)
{
    RegisterResources();
    for (int id : {IDD_QUILVEX_DIALOG, IDD_ABOUTBOX}) {
        SCOPED_TRACE(id);
        const ui::DialogTemplate* tmpl = ui::FindDialogTemplate(id);
        ASSERT_NE(tmpl, nullptr);
        const std::vector<uint16_t> words = BuildDialogTemplate(*tmpl);
        TemplateReader in(words);
        const uint32_t style = in.Dword();
        EXPECT_EQ(style, ui::win32::DialogStyle(*tmpl));
        EXPECT_TRUE(style & DS_SETFONT);
        EXPECT_TRUE(style & WS_CAPTION);
        EXPECT_TRUE(style & WS_SYSMENU);
        EXPECT_TRUE(style & DS_MODALFRAME);
        EXPECT_FALSE(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME | WS_VISIBLE));
        EXPECT_EQ(in.Dword(), id == IDD_QUILVEX_DIALOG ? static_cast<uint32_t>(WS_EX_APPWINDOW) : 0u);
        ASSERT_EQ(in.Word(), tmpl->controls.size());
        in.Short();
        in.Short();
        EXPECT_EQ(in.Short(), tmpl->cx);
        EXPECT_EQ(in.Short(), tmpl->cy);
        EXPECT_EQ(in.StringOrOrdinal(), L""); // menu
        EXPECT_EQ(in.StringOrOrdinal(), L""); // class
        EXPECT_EQ(in.String(), ui::win32::Widen(tmpl->title));
        EXPECT_EQ(in.Word(), 8);
        EXPECT_EQ(in.String(), L"MS Sans Serif");

        for (const ui::ControlTemplate& c : tmpl->controls) {
            SCOPED_TRACE(c.text);
            in.AlignDword();
            const uint32_t itemStyle = in.Dword();
            EXPECT_EQ(itemStyle, ui::win32::ControlStyle(c));
            EXPECT_TRUE(itemStyle & WS_CHILD);
            EXPECT_TRUE(itemStyle & WS_VISIBLE);
            EXPECT_EQ((itemStyle & WS_TABSTOP) != 0, (c.style & ui::StyleTabStop) != 0);
            EXPECT_EQ(in.Dword(), 0u);
            EXPECT_EQ(in.Short(), c.x);
            EXPECT_EQ(in.Short(), c.y);
            EXPECT_EQ(in.Short(), c.cx);
            EXPECT_EQ(in.Short(), c.cy);
            EXPECT_EQ(in.Word(), static_cast<uint16_t>(c.id));
            EXPECT_EQ(in.StringOrOrdinal(), ExpectedClass(c.kind));
            if (c.kind == ControlKind::Icon)
                EXPECT_EQ(in.StringOrOrdinal(), L"#" + std::to_wstring(c.iconId));
            else
                EXPECT_EQ(in.StringOrOrdinal(), ui::win32::Widen(c.text));
            EXPECT_EQ(in.Word(), 0); // no creation data
        }
        EXPECT_EQ(in.Position(), words.size());
    }
}

TEST(Win32DialogTemplate, ControlStylesFollowTheKinds)
{
    using ui::win32::ControlStyle;
    const auto styleOf = [](ControlKind kind, unsigned flags) {
        ui::ControlTemplate c;
        c.kind = kind;
        c.style = flags;
        return ControlStyle(c);
    };
    EXPECT_EQ(styleOf(ControlKind::DefPushButton, 0) & 0xF, static_cast<unsigned long>(BS_DEFPUSHBUTTON));
    EXPECT_EQ(styleOf(ControlKind::PushButton, 0) & 0xF, static_cast<unsigned long>(BS_PUSHBUTTON));
    EXPECT_EQ(styleOf(ControlKind::GroupBox, 0) & 0xF, static_cast<unsigned long>(BS_GROUPBOX));
    EXPECT_TRUE(styleOf(ControlKind::Edit, ui::StyleAutoHScroll | ui::StyleBorder) & ES_AUTOHSCROLL);
    EXPECT_TRUE(styleOf(ControlKind::Edit, ui::StyleAutoHScroll | ui::StyleBorder) & WS_BORDER);
    EXPECT_FALSE(styleOf(ControlKind::Edit, 0) & ES_AUTOHSCROLL);
    // Labels keep "&" as the mnemonic marker: no SS_NOPREFIX.
    EXPECT_FALSE(styleOf(ControlKind::Label, 0) & SS_NOPREFIX);
    EXPECT_EQ(styleOf(ControlKind::Icon, 0) & SS_TYPEMASK, static_cast<unsigned long>(SS_ICON));
}

// A chosen name goes to the program in the ANSI code page (1252 under the
// test's Wine) exactly, or not at all: never as a look-alike, which could
// name another file.
TEST(Win32FileChooser, NamesPassOnlyWhenTheCodePageHoldsThemExactly)
{
    struct Case {
        const wchar_t* name;
        const char* narrow;
        bool exact;
    } cases[] = {
        {L"C:\\Users\\Jos\u00e9\\fw\u20ac.dlf", "C:\\Users\\Jos\xe9\\fw\x80.dlf", true},
        {L"", "", true},
        {L"r\u0161\u0109.dlf", "r\x9a?.dlf", false}, // s caron is in 1252; c circumflex (best fit: c) is not
        {L"\u65e5\u672c.dlf", "??.dlf", false},
    };
    for (const Case& c : cases) {
        std::string out;
        EXPECT_EQ(ui::win32::NarrowExactly(c.name, out), c.exact) << out;
        EXPECT_EQ(out, c.narrow);
    }
}

// The same conversion given the code page: 1252, and 65001, the ANSI code
// page of a Windows set to use UTF-8 for non-Unicode programs, which holds
// any name (the system takes no flags for it: with the 1252 call's flags
// every name would be refused).
TEST(Win32FileChooser, NamesConvertExactlyInTheCodePageGiven)
{
    struct Case {
        unsigned codePage;
        const wchar_t* name;
        const char* narrow;
        bool exact;
    } cases[] = {
        {1252, L"C:\\Users\\Jos\u00e9\\fw\u20ac.dlf", "C:\\Users\\Jos\xe9\\fw\x80.dlf", true}, {1252, L"", "", true},
        {1252, L"r\u0161\u0109.dlf", "r\x9a?.dlf", false}, {1252, L"\u65e5\u672c.dlf", "??.dlf", false},
        {65001, L"C:\\Users\\Jos\u00e9\\fw\u20ac.dlf", "C:\\Users\\Jos\xc3\xa9\\fw\xe2\x82\xac.dlf", true},
        {65001, L"", "", true}, {65001, L"r\u0161\u0109.dlf", "r\xc5\xa1\xc4\x89.dlf", true},
        {65001, L"\u65e5\u672c\U0001F4BE.dlf", "\xe6\x97\xa5\xe6\x9c\xac\xf0\x9f\x92\xbe.dlf", true},
        {65001,
            L"a\xd800"
            L"b.dlf",
            "a\xef\xbf\xbd"
            "b.dlf",
            false}, // a lone surrogate is no character
    };
    for (const Case& c : cases) {
        std::string out;
        EXPECT_EQ(ui::win32::NarrowExactlyIn(c.codePage, c.name, out), c.exact) << c.codePage << " " << out;
        EXPECT_EQ(out, c.narrow) << c.codePage;
    }
}

TEST(Win32MessageBox, CaptionIsTheExecutablesNameWithoutExtension)
{
    EXPECT_EQ(ui::win32::ProgramName(), "win_ui_tests");
}

TEST(Win32InputGate, KeyboardAndMouseAreInputAndCommandsAreNot)
{
    using ui::win32::IsUserInput;
    for (UINT message : std::initializer_list<UINT>{WM_KEYDOWN, WM_CHAR, WM_SYSKEYDOWN, WM_LBUTTONDOWN, WM_LBUTTONUP,
             WM_MOUSEMOVE, WM_MOUSEWHEEL, WM_NCLBUTTONDOWN, WM_NCMOUSEMOVE})
        EXPECT_TRUE(IsUserInput(message)) << message;
    for (UINT message : std::initializer_list<UINT>{
             WM_PAINT, WM_NULL, WM_CLOSE, WM_COMMAND, WM_SYSCOMMAND, WM_TIMER, WM_SETTEXT, WM_GETTEXT, BM_CLICK})
        EXPECT_FALSE(IsUserInput(message)) << message;
}

// The front end's desktop hook: while it lives, a pause dispatches the
// window messages that wait (input excepted); once it is gone, a pause
// dispatches nothing.
struct Delivered {
    int posted = 0;
    int keys = 0;
};
Delivered g_delivered;

LRESULT CALLBACK CountingProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_APP)
        ++g_delivered.posted;
    else if (message == WM_KEYDOWN)
        ++g_delivered.keys;
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

TEST(Win32FrontEnd, PausesAnswerTheDesktopWithoutInputWhileItLives)
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = CountingProcedure;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"QuilvexHookTest";
    ASSERT_NE(RegisterClassW(&wc), 0);
    HWND window = CreateWindowW(wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(window, nullptr);
    g_delivered = {};
    {
        ui::win32::Win32FrontEnd frontEnd(GetModuleHandleW(nullptr));
        PostMessageW(window, WM_APP, 0, 0);
        PostMessageW(window, WM_KEYDOWN, VK_ESCAPE, 0);
        platform::Pause(2 * platform::kDesktopIntervalMs);
        EXPECT_EQ(g_delivered.posted, 1);
        EXPECT_EQ(g_delivered.keys, 0);
    }
    PostMessageW(window, WM_APP, 0, 0);
    platform::Pause(2 * platform::kDesktopIntervalMs);
    EXPECT_EQ(g_delivered.posted, 1); // the hook went with the front end
    DestroyWindow(window);
    UnregisterClassW(wc.lpszClassName, wc.hInstance);
}

} // namespace
