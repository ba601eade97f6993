#include "platform/ui/win32/win32_template.h"

#include "platform/ui/win32/win32_system.h"

#include "platform/ui/win32/win32_text.h"

namespace ui::win32 {

namespace {

// Predefined window classes of dialog items, by atom.
constexpr uint16_t kButtonAtom = 0x0080;
constexpr uint16_t kEditAtom = 0x0081;
constexpr uint16_t kStaticAtom = 0x0082;

class Words {
public:
    void Word(uint16_t w) { m_words.push_back(w); }
    void Dword(uint32_t d)
    {
        Word(static_cast<uint16_t>(d & 0xFFFF));
        Word(static_cast<uint16_t>(d >> 16));
    }
    void Short(int v) { Word(static_cast<uint16_t>(static_cast<int16_t>(v))); }
    void String(const std::string& text)
    {
        for (wchar_t c : Widen(text))
            Word(static_cast<uint16_t>(c));
        Word(0);
    }
    void WideString(const wchar_t* text)
    {
        for (; *text; ++text)
            Word(static_cast<uint16_t>(*text));
        Word(0);
    }
    void Ordinal(uint16_t value)
    {
        Word(0xFFFF);
        Word(value);
    }
    void AlignDword()
    {
        if (m_words.size() % 2)
            Word(0);
    }
    std::vector<uint16_t> Take() { return std::move(m_words); }

private:
    std::vector<uint16_t> m_words;
};

void WriteClass(Words& out, ControlKind kind)
{
    switch (kind) {
    case ControlKind::DefPushButton:
    case ControlKind::PushButton:
    case ControlKind::GroupBox:
        out.Ordinal(kButtonAtom);
        break;
    case ControlKind::Edit:
        out.Ordinal(kEditAtom);
        break;
    case ControlKind::ProgressBar:
        out.WideString(PROGRESS_CLASSW);
        break;
    case ControlKind::Label:
    case ControlKind::Icon:
        out.Ordinal(kStaticAtom);
        break;
    }
}

} // namespace

unsigned long DialogStyle(const DialogTemplate& tmpl)
{
    unsigned long style = WS_POPUP | DS_SETFONT | DS_3DLOOK | DS_CENTER;
    if (tmpl.style & DialogModalFrame)
        style |= DS_MODALFRAME;
    if (tmpl.style & DialogCaption)
        style |= WS_CAPTION;
    if (tmpl.style & DialogSysMenu)
        style |= WS_SYSMENU;
    return style;
}

unsigned long DialogExStyle(const DialogTemplate& tmpl)
{
    return (tmpl.style & DialogAppWindow) ? WS_EX_APPWINDOW : 0;
}

unsigned long ControlStyle(const ControlTemplate& c)
{
    unsigned long style = WS_CHILD | WS_VISIBLE;
    switch (c.kind) {
    case ControlKind::DefPushButton:
        style |= BS_DEFPUSHBUTTON;
        break;
    case ControlKind::PushButton:
        style |= BS_PUSHBUTTON;
        break;
    case ControlKind::GroupBox:
        style |= BS_GROUPBOX;
        break;
    case ControlKind::Edit:
        style |= ES_LEFT;
        if (c.style & StyleAutoHScroll)
            style |= ES_AUTOHSCROLL;
        break;
    case ControlKind::Label:
        style |= SS_LEFT; // "&" marks the mnemonic
        break;
    case ControlKind::ProgressBar:
        break;
    case ControlKind::Icon:
        style |= SS_ICON;
        break;
    }
    if (c.style & StyleBorder)
        style |= WS_BORDER;
    if (c.style & StyleTabStop)
        style |= WS_TABSTOP;
    return style;
}

std::vector<uint16_t> BuildDialogTemplate(const DialogTemplate& tmpl)
{
    Words out;
    out.Dword(DialogStyle(tmpl));
    out.Dword(DialogExStyle(tmpl));
    out.Word(static_cast<uint16_t>(tmpl.controls.size()));
    out.Short(0); // x, y: centred by the dialog manager
    out.Short(0);
    out.Short(tmpl.cx);
    out.Short(tmpl.cy);
    out.Word(0); // no menu
    out.Word(0); // the dialog class
    out.String(tmpl.title);
    out.Word(static_cast<uint16_t>(tmpl.fontPointSize));
    out.String(tmpl.fontFace);

    for (const ControlTemplate& c : tmpl.controls) {
        out.AlignDword();
        out.Dword(ControlStyle(c));
        out.Dword(0); // extended style
        out.Short(c.x);
        out.Short(c.y);
        out.Short(c.cx);
        out.Short(c.cy);
        out.Word(static_cast<uint16_t>(c.id)); // IDC_STATIC is 0xFFFF
        WriteClass(out, c.kind);
        if (c.kind == ControlKind::Icon)
            out.Ordinal(static_cast<uint16_t>(c.iconId));
        else
            out.String(c.text);
        out.Word(0); // no creation data
    }
    return out.Take();
}

} // namespace ui::win32
