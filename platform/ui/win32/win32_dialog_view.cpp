#include "platform/ui/win32/win32_dialog_view.h"

#include <string>
#include <utility>
#include <vector>

#include "platform/session_guard.h"
#include "platform/ui/win32/win32_input_gate.h"
#include "platform/ui/win32/win32_template.h"
#include "platform/ui/win32/win32_text.h"

namespace ui::win32 {

namespace {

// Posted at the end of the initialisation: the first message the modal
// loop handles, so the window is about to show when it arrives.
constexpr UINT kShownMessage = WM_APP + 1;

std::string WindowText(HWND hwnd)
{
    const int length = GetWindowTextLengthA(hwnd);
    std::string text(static_cast<size_t>(length > 0 ? length : 0) + 1, '\0');
    const int got = GetWindowTextA(hwnd, text.data(), static_cast<int>(text.size()));
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return text;
}

} // namespace

Win32DialogView::Win32DialogView(Dialog& dlg, HINSTANCE instance, HWND owner)
    : DialogViewBase(dlg), m_instance(instance), m_owner(owner)
{
}

int Win32DialogView::Run(const ShownHook& shown)
{
    m_shown = shown;
    const std::vector<uint16_t> tmpl = BuildDialogTemplate(m_dlg.Template());
    const INT_PTR result = DialogBoxIndirectParamW(m_instance, reinterpret_cast<const DLGTEMPLATE*>(tmpl.data()),
        m_owner, Procedure, reinterpret_cast<LPARAM>(this));
    if (!m_owner)
        platform::SetSessionWindow(nullptr);
    m_hwnd = nullptr;
    if (m_dlg.View() == this)
        m_dlg.AttachView(nullptr);
    if (result == -1) {
        const std::string why = SystemErrorText(GetLastError());
        MessageBoxA(
            m_owner, ("Cannot show the window: " + why).c_str(), ProgramName().c_str(), MB_OK | MB_ICONEXCLAMATION);
        return -1;
    }
    return m_dlg.IsEnded() ? m_dlg.Result() : static_cast<int>(result);
}

INT_PTR CALLBACK Win32DialogView::Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        auto* view = reinterpret_cast<Win32DialogView*>(lParam);
        SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
        view->Initialize(hwnd);
        return TRUE; // the focus goes to the first tab stop
    }
    auto* view = reinterpret_cast<Win32DialogView*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    return view ? view->Handle(message, wParam, lParam) : FALSE;
}

void Win32DialogView::Initialize(HWND hwnd)
{
    m_hwnd = hwnd;
    if (!m_owner) // the main window
        platform::SetSessionWindow(hwnd);
    // The window starts with the model's texts, then the model takes over.
    for (const ControlTemplate& c : m_dlg.Template().controls)
        if (c.id != IDC_STATIC && c.kind != ControlKind::ProgressBar && c.kind != ControlKind::Icon)
            TextChanged(c.id);
    m_changed.clear();
    m_dlg.AttachView(this);
    IconChanged();
    RunHandler([this] { m_dlg.OnInitDialog(); });
    if (m_dlg.IsEnded()) {
        ::EndDialog(hwnd, m_dlg.Result());
        return;
    }
    SyncSystemMenu();
    PostMessageW(hwnd, kShownMessage, 0, 0);
}

INT_PTR Win32DialogView::Handle(UINT message, WPARAM wParam, LPARAM lParam)
{
    const bool busy = Busy();
    switch (message) {
    case WM_COMMAND:
        ControlNotified(LOWORD(wParam), HIWORD(wParam)); // a click while busy runs nothing
        return TRUE;
    case WM_SYSCOMMAND:
        // Commands of our own are below the system's range (0xF000 on).
        if ((wParam & 0xFFF0) < 0xF000) {
            SystemCommand(static_cast<unsigned>(wParam)); // runs nothing while busy
            return TRUE;
        }
        return busy ? TRUE : FALSE; // no closing, moving or sizing while busy
    case WM_CLOSE:
        return busy ? TRUE : FALSE; // otherwise the dialog manager makes it IDCANCEL
    case WM_INITMENUPOPUP:
        if (HIWORD(lParam))
            SyncSystemMenu();
        return FALSE;
    case WM_PAINT:
        if (IsIconic(m_hwnd)) {
            PaintIcon();
            return TRUE;
        }
        return FALSE;
    case WM_QUERYENDSESSION:
        // No logoff or shutdown while the modem's flash is being written.
        if (!platform::SessionEndRefused())
            return FALSE;
        SetWindowLongPtrW(m_hwnd, DWLP_MSGRESULT, FALSE);
        return TRUE;
    case WM_QUERYDRAGICON:
        return reinterpret_cast<INT_PTR>(IconHandle(m_dlg.OnQueryDragIcon().resourceId, false));
    case kShownMessage:
        if (m_shown && !m_dlg.IsEnded())
            m_shown(m_dlg, *this);
        return TRUE;
    default:
        return FALSE;
    }
}

void Win32DialogView::ControlNotified(int id, int code)
{
    if (code == EN_CHANGE) {
        // Only what the user typed goes into the model; pushed texts are there.
        if (!m_settingText)
            m_dlg.SetControlText(id, WindowText(GetDlgItem(m_hwnd, id)));
        return;
    }
    // Enter and Escape come as IDOK and IDCANCEL, with or without a button.
    if (code == BN_CLICKED)
        Command(id);
}

void Win32DialogView::HoldInput()
{
    m_heldWindow = m_hwnd;
    InputGate::Close(m_heldWindow);
}

void Win32DialogView::ReleaseInput()
{
    InputGate::Open(std::exchange(m_heldWindow, nullptr));
}

void Win32DialogView::SyncSystemMenu()
{
    Menu* model = m_dlg.GetSystemMenu();
    HMENU menu = GetSystemMenu(m_hwnd, FALSE);
    if (!model || !menu)
        return;
    const std::vector<MenuItem>& items = model->Items();
    for (; m_menuItemsShown < items.size(); ++m_menuItemsShown) {
        const MenuItem& item = items[m_menuItemsShown];
        if (item.separator)
            AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        else
            AppendMenuW(menu, MF_STRING, item.commandId, Widen(item.text).c_str());
    }
}

void Win32DialogView::TextChanged(int id)
{
    HWND control = GetDlgItem(m_hwnd, id);
    if (!control)
        return;
    m_settingText = true;
    SetWindowTextW(control, Widen(m_dlg.GetControlText(id)).c_str());
    m_settingText = false;
    m_changed.insert(control);
}

void Win32DialogView::ProgressChanged(int id)
{
    const ProgressCtrl* ctrl = m_dlg.FindProgressCtrl(id);
    HWND bar = GetDlgItem(m_hwnd, id);
    if (!ctrl || !bar)
        return;
    // A single step is the control's own step-it; anything else is set.
    if (ctrl->StepCount() == m_stepsShown + 1) {
        SendMessageW(bar, PBM_SETSTEP, static_cast<WPARAM>(ctrl->GetStep()), 0);
        SendMessageW(bar, PBM_STEPIT, 0, 0);
    }
    m_stepsShown = ctrl->StepCount();
    if (SendMessageW(bar, PBM_GETRANGE, TRUE, 0) != ctrl->Lower() ||
        SendMessageW(bar, PBM_GETRANGE, FALSE, 0) != ctrl->Upper())
        SendMessageW(bar, PBM_SETRANGE32, static_cast<WPARAM>(ctrl->Lower()), static_cast<LPARAM>(ctrl->Upper()));
    if (SendMessageW(bar, PBM_GETPOS, 0, 0) != ctrl->GetPos())
        SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(ctrl->GetPos()), 0);
    m_changed.insert(bar);
}

HICON Win32DialogView::IconHandle(int resourceId, bool big) const
{
    if (resourceId == 0)
        return nullptr;
    const int size = GetSystemMetrics(big ? SM_CXICON : SM_CXSMICON);
    return static_cast<HICON>(
        LoadImageW(m_instance, MAKEINTRESOURCEW(resourceId), IMAGE_ICON, size, size, LR_DEFAULTCOLOR | LR_SHARED));
}

void Win32DialogView::IconChanged()
{
    if (!m_hwnd)
        return;
    SendMessageW(
        m_hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(IconHandle(m_dlg.GetIcon(true).resourceId, true)));
    SendMessageW(
        m_hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(IconHandle(m_dlg.GetIcon(false).resourceId, false)));
}

void Win32DialogView::PaintIcon()
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(m_hwnd, &ps);
    SendMessageW(m_hwnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT rect;
    GetClientRect(m_hwnd, &rect);
    const int x = (rect.right - rect.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (rect.bottom - rect.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    if (HICON icon = IconHandle(m_dlg.GetIcon(true).resourceId, true))
        DrawIcon(dc, x, y, icon);
    EndPaint(m_hwnd, &ps);
}

void Win32DialogView::Ended()
{
    if (m_hwnd)
        ::EndDialog(m_hwnd, m_dlg.Result());
}

void Win32DialogView::Flush()
{
    if (!m_hwnd)
        return;
    // The changed controls repaint now; the rest of the window is as it was.
    // The desktop's other messages wait for the pauses' desktop hook.
    for (HWND control : std::exchange(m_changed, {}))
        UpdateWindow(control);
}

} // namespace ui::win32
