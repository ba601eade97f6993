#include "platform/ui/console/console_front_end.h"

#include <filesystem>
#include <utility>

namespace ui::console {

namespace {

// A dialog on the terminal: nothing to draw; a push is passed on.
class ConsoleView final : public DialogView {
public:
    ConsoleView(Dialog& dlg, const ConsoleFrontEnd::Pushed& pushed) : m_dlg(dlg), m_pushed(pushed)
    {
        m_dlg.AttachView(this);
    }
    ~ConsoleView() override
    {
        if (m_dlg.View() == this)
            m_dlg.AttachView(nullptr);
    }
    ConsoleView(const ConsoleView&) = delete;
    ConsoleView& operator=(const ConsoleView&) = delete;

    void TextChanged(int) override { }
    void ProgressChanged(int) override { }
    void IconChanged() override { }
    void Ended() override { }
    void Flush() override
    {
        if (m_pushed)
            m_pushed(m_dlg);
    }

private:
    Dialog& m_dlg;
    const ConsoleFrontEnd::Pushed& m_pushed;
};

} // namespace

ConsoleFrontEnd::ConsoleFrontEnd(Act act, Pushed pushed, AskFile askFile)
    : m_act(std::move(act)), m_pushed(std::move(pushed)), m_askFile(std::move(askFile))
{
}

int ConsoleFrontEnd::RunModal(Dialog& dlg)
{
    if (dlg.View())
        return -1;
    ConsoleView view(dlg, m_pushed);
    dlg.OnInitDialog();
    if (!dlg.IsEnded() && m_act)
        m_act(dlg);
    if (!dlg.IsEnded())
        dlg.OnCancel();
    return dlg.IsEnded() ? dlg.Result() : IDCANCEL;
}

bool ConsoleFrontEnd::ChooseOpenFile(Dialog*, const FileOpenOptions& options, std::string& path)
{
    std::string given;
    if (!m_askFile || !m_askFile(options, given) || given.empty())
        return false;
    std::error_code error;
    std::filesystem::path full = std::filesystem::absolute(given, error);
    path = error ? given : full.string();
    return true;
}

} // namespace ui::console
