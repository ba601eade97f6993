#include <gtest/gtest.h>

#include "platform/ui/dialog.h"

namespace {

const ui::DialogTemplate kTemplate{
    900,
    "Test",
    100,
    50,
    "Sans",
    8,
    ui::DialogSysMenu,
    {
        {1, ui::ControlKind::DefPushButton, "Go", 1, 1, 10, 10},
        {10, ui::ControlKind::Edit, "initial", 1, 20, 50, 10},
        {11, ui::ControlKind::Label, "placeholder", 1, 30, 50, 10},
        {12, ui::ControlKind::ProgressBar, "", 1, 40, 50, 5},
    },
};

class TwoFieldDialog : public ui::Dialog {
public:
    TwoFieldDialog() : ui::Dialog((ui::RegisterDialogTemplate(&kTemplate), 900)) { }
    std::string edit, label;
    ui::ProgressCtrl progress;

protected:
    void DoDataExchange(ui::DataExchange& dx) override
    {
        dx.Control(12, progress);
        dx.Text(10, edit);
        dx.Text(11, label);
    }
};

// Records what a front end would be told.
struct RecordingView : ui::DialogView {
    std::vector<int> texts, progress;
    int flushes = 0, ended = 0;
    void TextChanged(int id) override { texts.push_back(id); }
    void ProgressChanged(int id) override { progress.push_back(id); }
    void IconChanged() override { }
    void Ended() override { ++ended; }
    void Flush() override { ++flushes; }
};

TEST(DialogCore, PushShowsMembersAndPullTakesWhatTheControlsShow)
{
    TwoFieldDialog dlg;
    RecordingView view;
    dlg.AttachView(&view);
    EXPECT_EQ(dlg.GetControlText(11), "placeholder");

    dlg.OnInitDialog(); // the first push replaces the placeholders
    EXPECT_EQ(dlg.GetControlText(10), "");
    EXPECT_EQ(dlg.GetControlText(11), "");
    EXPECT_EQ(view.flushes, 1);

    dlg.label = "22";
    dlg.UpdateData(false);
    EXPECT_EQ(dlg.GetControlText(11), "22");

    dlg.edit = "set in code";
    dlg.SetControlText(10, "typed by the user");
    dlg.UpdateData(true);
    EXPECT_EQ(dlg.edit, "typed by the user");
    EXPECT_EQ(dlg.label, "22");
}

TEST(DialogCore, ProgressStepsThroughItsRangeAndTellsTheView)
{
    TwoFieldDialog dlg;
    RecordingView view;
    dlg.AttachView(&view);
    dlg.UpdateData(false);
    EXPECT_EQ(dlg.progress.SetStep(5), 10);
    for (int i = 0; i < 20; ++i)
        dlg.progress.StepIt();
    EXPECT_EQ(dlg.progress.GetPos(), 100);
    EXPECT_EQ(dlg.progress.StepCount(), 20);
    EXPECT_EQ(view.progress.size(), 20u);
    dlg.progress.StepIt(); // past the top it wraps, as the control does
    EXPECT_EQ(dlg.progress.GetPos(), 5);
}

TEST(DialogCore, EndingAndModalRunWithoutFrontEnd)
{
    struct EndsAtInit : TwoFieldDialog {
        bool OnInitDialog() override
        {
            EndDialog(ui::IDOK);
            return true;
        }
    } ending;
    EXPECT_EQ(ending.DoModal(), ui::IDOK);

    TwoFieldDialog staying;
    EXPECT_EQ(staying.DoModal(), ui::IDCANCEL);
    EXPECT_FALSE(staying.IsEnded());
    staying.OnOK();
    EXPECT_TRUE(staying.IsEnded());
    EXPECT_EQ(staying.Result(), ui::IDOK);
    ASSERT_NE(staying.GetSystemMenu(), nullptr);
}

TEST(DialogCore, MessageBoxWithoutPresenterAnswersSafely)
{
    auto previous = ui::SetMessagePresenter({});
    EXPECT_EQ(ui::MessageBox("note"), ui::IDOK);
    // Nobody can agree to a question that was never shown.
    EXPECT_EQ(ui::MessageBox("go on?", ui::MessageButtons::OkCancel), ui::IDCANCEL);
    ui::SetMessagePresenter(previous);
}

} // namespace
