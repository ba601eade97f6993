#include "platform/ui/dialog.h"

#include <utility>

namespace ui {

namespace {
FrontEnd* g_frontEnd = nullptr;
App* g_app = nullptr;
const DialogTemplate kEmptyTemplate{};
PushObserver g_pushObserver;
} // namespace

PushObserver SetPushObserver(PushObserver observer)
{
    return std::exchange(g_pushObserver, std::move(observer));
}

Icon LoadIcon(int resourceId)
{
    return Icon{resourceId};
}

// ---- ProgressCtrl ----------------------------------------------------------

void ProgressCtrl::SetRange(int lower, int upper)
{
    m_lower = lower;
    m_upper = upper;
    if (m_pos < lower)
        m_pos = lower;
    if (m_pos > upper)
        m_pos = upper;
    Changed();
}

int ProgressCtrl::SetStep(int step)
{
    int old = m_step;
    m_step = step;
    return old;
}

int ProgressCtrl::StepIt()
{
    int old = m_pos;
    m_pos += m_step;
    if (m_pos > m_upper)
        m_pos = m_lower + (m_pos - m_upper);
    ++m_steps;
    Changed();
    return old;
}

void ProgressCtrl::SetPos(int pos)
{
    m_pos = pos < m_lower ? m_lower : (pos > m_upper ? m_upper : pos);
    Changed();
}

void ProgressCtrl::Attach(Dialog* owner, int id)
{
    m_owner = owner;
    m_id = id;
}

void ProgressCtrl::Changed()
{
    if (m_owner)
        m_owner->ProgressChanged(m_id);
}

// ---- DataExchange ----------------------------------------------------------

void DataExchange::Text(int id, std::string& member)
{
    if (m_saving) {
        member = m_dlg.GetControlText(id);
        return;
    }
    // Compared in place: the transfer pushes every field once a packet.
    auto it = m_dlg.m_texts.find(id);
    if (it == m_dlg.m_texts.end() || it->second != member) {
        m_dlg.m_texts[id] = member;
        if (m_dlg.m_view)
            m_dlg.m_view->TextChanged(id);
        if (g_pushObserver)
            g_pushObserver(m_dlg, id, member);
    }
}

void DataExchange::Control(int id, ProgressCtrl& ctrl)
{
    ctrl.Attach(&m_dlg, id);
    m_dlg.m_progressCtrls[id] = &ctrl;
}

// ---- Dialog ----------------------------------------------------------------

Dialog::Dialog(int templateId) : m_template(FindDialogTemplate(templateId))
{
    if (!m_template)
        m_template = &kEmptyTemplate;
    for (const ControlTemplate& c : m_template->controls)
        if (c.id != IDC_STATIC)
            m_texts[c.id] = c.text;
    if (m_template->style & DialogSysMenu)
        m_sysMenu = std::make_unique<Menu>();
}

Dialog::~Dialog() = default;

int Dialog::DoModal()
{
    m_ended = false;
    m_result = 0;
    if (g_frontEnd)
        return g_frontEnd->RunModal(*this);
    OnInitDialog();
    return m_ended ? m_result : IDCANCEL;
}

void Dialog::EndDialog(int result)
{
    m_ended = true;
    m_result = result;
    if (m_view)
        m_view->Ended();
}

bool Dialog::UpdateData(bool saveAndValidate)
{
    DataExchange dx(*this, saveAndValidate);
    DoDataExchange(dx);
    if (!saveAndValidate && m_view)
        m_view->Flush();
    return true;
}

std::string Dialog::GetControlText(int id) const
{
    auto it = m_texts.find(id);
    return it == m_texts.end() ? std::string() : it->second;
}

void Dialog::SetControlText(int id, const std::string& text)
{
    m_texts[id] = text;
}

const ProgressCtrl* Dialog::FindProgressCtrl(int id) const
{
    auto it = m_progressCtrls.find(id);
    return it == m_progressCtrls.end() ? nullptr : it->second;
}

void Dialog::SetIcon(Icon icon, bool bigIcon)
{
    (bigIcon ? m_bigIcon : m_smallIcon) = icon;
    if (m_view)
        m_view->IconChanged();
}

Menu* Dialog::GetSystemMenu()
{
    return m_sysMenu.get();
}

bool Dialog::OnInitDialog()
{
    UpdateData(false);
    return true;
}

void Dialog::OnOK()
{
    UpdateData(true);
    EndDialog(IDOK);
}

void Dialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

void Dialog::OnCommand(int)
{
}

void Dialog::OnSysCommand(unsigned)
{
}

Icon Dialog::OnQueryDragIcon()
{
    return m_smallIcon;
}

void Dialog::DoDataExchange(DataExchange&)
{
}

void Dialog::ProgressChanged(int id)
{
    if (m_view)
        m_view->ProgressChanged(id);
}

// ---- Front end and application ----------------------------------------------

bool ChooseOpenFile(Dialog* owner, const FileOpenOptions& options, std::string& path)
{
    return g_frontEnd ? g_frontEnd->ChooseOpenFile(owner, options, path) : false;
}

FrontEnd* SetFrontEnd(FrontEnd* frontEnd)
{
    FrontEnd* old = g_frontEnd;
    g_frontEnd = frontEnd;
    return old;
}

FrontEnd* CurrentFrontEnd()
{
    return g_frontEnd;
}

App::App()
{
    g_app = this;
}

App::~App()
{
    if (g_app == this)
        g_app = nullptr;
}

App* TheApp()
{
    return g_app;
}

} // namespace ui
