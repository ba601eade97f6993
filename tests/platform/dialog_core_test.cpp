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

TEST(DialogCore, LabelsOnPlainBackgroundAreThoseClearOfOtherControls)
{
    using ui::ControlKind;
    // A group box at 10,10 of 100 x 40 (its title takes the top 8 units),
    // and a button at 150,10.
    const ui::ControlTemplate box{ui::IDC_STATIC, ControlKind::GroupBox, "Box", 10, 10, 100, 40};
    const ui::ControlTemplate button{1, ControlKind::PushButton, "Go", 150, 10, 40, 14};
    struct Case {
        const char* what;
        int x, y, cx, cy;
        bool plain;
    } cases[] = {
        {"well inside the box", 20, 25, 50, 9, true},
        {"as near the frame as may be", 12, 18, 96, 30, true},
        {"a unit nearer", 11, 18, 97, 30, false},
        {"on the left line", 10, 25, 50, 9, false},
        {"on the right line", 60, 25, 50, 9, false},
        {"on the bottom line", 20, 45, 50, 9, false},
        {"in the title's band", 20, 12, 50, 9, false},
        {"outside everything", 20, 60, 50, 9, true},
        {"across the box's edge", 100, 25, 30, 9, false},
        {"over the button", 140, 12, 20, 9, false},
        {"next to the button", 120, 12, 30, 9, true},
    };
    for (const Case& c : cases) {
        ui::DialogTemplate tmpl;
        tmpl.controls = {box, button, {7, ControlKind::Label, "text", c.x, c.y, c.cx, c.cy}};
        EXPECT_EQ(ui::OnPlainBackground(tmpl, 2), c.plain) << c.what;
    }
    ui::DialogTemplate tmpl;
    tmpl.controls = {box};
    EXPECT_FALSE(ui::OnPlainBackground(tmpl, 1)); // no such control
}

} // namespace
