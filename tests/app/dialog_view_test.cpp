// The front end's handling of one dialog: which handler each user action
// reaches, the model kept in step with the widgets, a busy window, the
// system menu, modal runs and message boxes.
#include <gtest/gtest.h>

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <functional>
#include <vector>

#include "platform/ui/qt/qt_dialog_view.h"
#include "platform/ui/qt/qt_front_end.h"
#include "platform/ui/qt/qt_message_box.h"
#include "tests/app/qt_test_env.h"

using ui::qt::QtDialogView;
using ui::qt::QtFrontEnd;

namespace {

constexpr int kProbeTemplate = 9001;
constexpr int kRun = 50, kEdit = 51, kBar = 52, kLabel = 53;
constexpr unsigned kAboutCommand = 0x0010;

const ui::DialogTemplate kProbe{
    kProbeTemplate,
    "Probe",
    200,
    80,
    "MS Sans Serif",
    8,
    ui::DialogModalFrame | ui::DialogCaption | ui::DialogSysMenu,
    {
        {ui::IDOK, ui::ControlKind::DefPushButton, "OK", 140, 6, 50, 14, ui::StyleTabStop},
        {ui::IDCANCEL, ui::ControlKind::PushButton, "Cancel", 140, 24, 50, 14, ui::StyleTabStop},
        {kRun, ui::ControlKind::PushButton, "Run", 140, 42, 50, 14, ui::StyleTabStop},
        {kEdit, ui::ControlKind::Edit, "", 6, 6, 120, 13, ui::StyleBorder | ui::StyleTabStop},
        {kBar, ui::ControlKind::ProgressBar, "", 6, 26, 120, 8, ui::StyleBorder},
        {kLabel, ui::ControlKind::Label, "Static", 6, 40, 120, 9},
    },
};

// Records what reaches it; a command may run a script while it is busy.
class ProbeDlg : public ui::Dialog {
public:
    ProbeDlg() : ui::Dialog((ui::RegisterDialogTemplate(&kProbe), kProbeTemplate)) { }

    std::string m_text, m_label;
    ui::ProgressCtrl m_progress;
    std::vector<std::string> calls;
    std::function<void()> onRun, onInit;

    bool OnInitDialog() override
    {
        ui::Dialog::OnInitDialog();
        if (onInit)
            onInit();
        return true;
    }
    void OnOK() override
    {
        calls.push_back("ok");
        ui::Dialog::OnOK();
    }
    void OnCancel() override
    {
        calls.push_back("cancel");
        ui::Dialog::OnCancel();
    }
    void OnCommand(int id) override
    {
        calls.push_back("command " + std::to_string(id));
        if (id == kRun && onRun)
            onRun();
    }
    void OnSysCommand(unsigned id) override { calls.push_back("syscommand " + std::to_string(id)); }

protected:
    void DoDataExchange(ui::DataExchange& dx) override
    {
        dx.Text(kEdit, m_text);
        dx.Control(kBar, m_progress);
        dx.Text(kLabel, m_label);
    }
};

class DialogViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TestApp();
        m_previous = ui::SetFrontEnd(&frontEnd);
        m_previousPresenter = ui::SetMessagePresenter(ui::qt::MakeMessagePresenter(frontEnd));
    }
    void TearDown() override
    {
        ui::SetMessagePresenter(m_previousPresenter);
        ui::SetFrontEnd(m_previous);
    }
    // A probe dialog on screen, initialised, as a modal run leaves it.
    std::unique_ptr<QtDialogView> Open(ProbeDlg& dlg)
    {
        auto view = std::make_unique<QtDialogView>(dlg, nullptr);
        EXPECT_TRUE(view->Initialize());
        view->Show();
        return view;
    }
    static QWidget* Widget(QtDialogView& view, int id) { return view.Control(id); }

    QtFrontEnd frontEnd;

private:
    ui::FrontEnd* m_previous = nullptr;
    ui::MessagePresenter m_previousPresenter;
};

TEST_F(DialogViewTest, EachWayInReachesItsHandler)
{
    struct Case {
        const char* name;
        std::function<void(QtDialogView&)> act;
        std::vector<std::string> calls;
        int result; // 0: still open
    } const cases[] = {
        {"OK button", [](QtDialogView& v) { QTest::mouseClick(v.Control(ui::IDOK), Qt::LeftButton); }, {"ok"},
            ui::IDOK},
        {"Cancel button", [](QtDialogView& v) { QTest::mouseClick(v.Control(ui::IDCANCEL), Qt::LeftButton); },
            {"cancel"}, ui::IDCANCEL},
        {"other button", [](QtDialogView& v) { QTest::mouseClick(v.Control(kRun), Qt::LeftButton); }, {"command 50"},
            0},
        {"Enter in the edit", [](QtDialogView& v) { QTest::keyClick(v.Control(kEdit), Qt::Key_Return); }, {"ok"},
            ui::IDOK},
        {"keypad Enter", [](QtDialogView& v) { QTest::keyClick(v.Control(kEdit), Qt::Key_Enter, Qt::KeypadModifier); },
            {"ok"}, ui::IDOK},
        {"Enter on a focused button",
            [](QtDialogView& v) {
                v.Control(kRun)->setFocus();
                QTest::keyClick(v.Control(kRun), Qt::Key_Return);
            },
            {"command 50"}, 0},
        {"Escape", [](QtDialogView& v) { QTest::keyClick(v.Control(kEdit), Qt::Key_Escape); }, {"cancel"},
            ui::IDCANCEL},
        {"close box", [](QtDialogView& v) { v.Window()->close(); }, {"cancel"}, ui::IDCANCEL},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ProbeDlg dlg;
        auto view = Open(dlg);
        c.act(*view);
        EXPECT_EQ(dlg.calls, c.calls);
        EXPECT_EQ(dlg.IsEnded(), c.result != 0);
        if (c.result) {
            EXPECT_EQ(dlg.Result(), c.result);
            EXPECT_FALSE(view->Window()->isVisible());
        } else {
            EXPECT_TRUE(view->Window()->isVisible());
        }
    }
}

TEST_F(DialogViewTest, TypedTextIsPulledAndPushedTextIsShown)
{
    ProbeDlg dlg;
    auto view = Open(dlg);
    auto* edit = qobject_cast<QLineEdit*>(view->Control(kEdit));
    QTest::keyClicks(edit, "fw.dlf");
    dlg.m_text = "set in the member";
    dlg.UpdateData(true);
    EXPECT_EQ(dlg.m_text, "fw.dlf");

    dlg.m_text = "pushed";
    dlg.m_label = "a & b";
    dlg.UpdateData(false);
    EXPECT_EQ(edit->text(), QStringLiteral("pushed"));
    EXPECT_EQ(qobject_cast<QLabel*>(view->Control(kLabel))->accessibleName(), QStringLiteral("a  b"));
}

TEST_F(DialogViewTest, PushedBytesSurviveTheWidget)
{
    ProbeDlg dlg;
    auto view = Open(dlg);
    dlg.m_text = "name\xE9\xFF.dlf"; // not UTF-8
    dlg.UpdateData(false);
    dlg.m_text.clear();
    dlg.UpdateData(true);
    EXPECT_EQ(dlg.m_text, "name\xE9\xFF.dlf");
}

TEST_F(DialogViewTest, ProgressBarFollowsTheControl)
{
    ProbeDlg dlg;
    auto view = Open(dlg);
    auto* bar = qobject_cast<QProgressBar*>(view->Control(kBar));
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 100);
    dlg.m_progress.SetStep(5);
    dlg.m_progress.StepIt();
    dlg.m_progress.StepIt();
    EXPECT_EQ(bar->value(), 10);
    dlg.m_progress.SetRange(0, 512);
    dlg.m_progress.SetPos(300);
    EXPECT_EQ(bar->maximum(), 512);
    EXPECT_EQ(bar->value(), 300);
}

TEST_F(DialogViewTest, BusyWindowIgnoresEveryWayOut)
{
    ProbeDlg dlg;
    auto view = Open(dlg);
    QWidget* window = view->Window();
    auto* edit = qobject_cast<QLineEdit*>(view->Control(kEdit));
    dlg.onRun = [&] {
        dlg.m_label = "working";
        dlg.UpdateData(false); // lets the desktop through while busy
        QTest::keyClick(edit, Qt::Key_Escape);
        QTest::keyClick(edit, Qt::Key_Return);
        QTest::keyClicks(edit, "typed while busy");
        QTest::mouseClick(view->Control(ui::IDCANCEL), Qt::LeftButton);
        qobject_cast<QPushButton*>(view->Control(ui::IDCANCEL))->click();
        window->close();
        QContextMenuEvent menu(QContextMenuEvent::Mouse, QPoint(5, 5), window->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(window, &menu);
        dlg.UpdateData(false);
    };
    QTest::mouseClick(view->Control(kRun), Qt::LeftButton);
    EXPECT_EQ(dlg.calls, std::vector<std::string>{"command 50"});
    EXPECT_FALSE(dlg.IsEnded());
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(edit->text(), QString());
    EXPECT_EQ(dlg.GetControlText(kEdit), "");
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);

    // Once the handler is done the window listens again.
    dlg.onRun = nullptr;
    QTest::keyClick(edit, Qt::Key_Escape);
    EXPECT_EQ(dlg.calls, (std::vector<std::string>{"command 50", "cancel"}));
    EXPECT_EQ(dlg.Result(), ui::IDCANCEL);
}

TEST_F(DialogViewTest, RightClickOffersTheSystemMenu)
{
    ProbeDlg dlg;
    auto view = Open(dlg);
    EXPECT_EQ(view->BuildSystemMenu(), nullptr) << "no items, no menu";
    dlg.GetSystemMenu()->AppendSeparator();
    dlg.GetSystemMenu()->AppendItem(kAboutCommand, "&About Probe...");

    QStringList shown;
    WhenShown<QMenu>([&](QMenu* menu) {
        for (QAction* action : menu->actions())
            shown << (action->isSeparator() ? QStringLiteral("-") : action->text());
        for (QAction* action : menu->actions())
            if (!action->isSeparator())
                menu->setActiveAction(action);
        QTest::keyClick(menu, Qt::Key_Return);
    });
    QWidget* label = view->Control(kLabel);
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(2, 2), label->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(label, &event);

    EXPECT_EQ(shown, (QStringList{"-", "&About Probe..."}));
    EXPECT_EQ(dlg.calls, std::vector<std::string>{"syscommand 16"});
}

TEST_F(DialogViewTest, DialogEndedWhileStartingNeverShows)
{
    ProbeDlg dlg;
    dlg.onInit = [&] { dlg.EndDialog(ui::IDCANCEL); };
    int shown = 0;
    frontEnd.SetShownHook([&](ui::Dialog&, QtDialogView&) { ++shown; });
    EXPECT_EQ(dlg.DoModal(), ui::IDCANCEL);
    EXPECT_EQ(shown, 0);
    EXPECT_EQ(dlg.View(), nullptr);
}

TEST_F(DialogViewTest, ModalRunEndsWithTheDialogAndNestsOverItsOwner)
{
    ProbeDlg outer;
    ProbeDlg inner;
    QWidget* outerWindow = nullptr;
    QWidget* innerParent = nullptr;
    frontEnd.SetShownHook([&](ui::Dialog& dlg, QtDialogView& view) {
        if (&dlg == &outer) {
            outerWindow = view.Window();
            QTest::mouseClick(view.Control(kRun), Qt::LeftButton); // runs `inner`
            QTest::mouseClick(view.Control(ui::IDOK), Qt::LeftButton);
        } else {
            innerParent = view.Window()->parentWidget();
            // The owner is busy running this dialog: its buttons do nothing.
            QtDialogView* owner = frontEnd.ViewOf(&outer);
            ASSERT_NE(owner, nullptr);
            qobject_cast<QPushButton*>(owner->Control(ui::IDCANCEL))->click();
            QTest::keyClick(view.Control(kEdit), Qt::Key_Escape);
        }
    });
    int innerResult = 0;
    outer.onRun = [&] { innerResult = inner.DoModal(); };
    EXPECT_EQ(outer.DoModal(), ui::IDOK);
    EXPECT_EQ(innerResult, ui::IDCANCEL);
    EXPECT_EQ(innerParent, outerWindow);
    EXPECT_EQ(outer.calls, (std::vector<std::string>{"command 50", "ok"}));
    EXPECT_EQ(inner.calls, std::vector<std::string>{"cancel"});
    EXPECT_EQ(outer.View(), nullptr);
}

TEST_F(DialogViewTest, MessageBoxWarnsOverTheActiveDialog)
{
    struct Case {
        ui::MessageButtons buttons;
        QMessageBox::StandardButtons expectedButtons;
        int press; // a key, or 0 to click Cancel
        int answer;
    } const cases[] = {
        {ui::MessageButtons::OkCancel, QMessageBox::Ok | QMessageBox::Cancel, 0, ui::IDCANCEL},
        {ui::MessageButtons::OkCancel, QMessageBox::Ok | QMessageBox::Cancel, Qt::Key_Return, ui::IDOK},
        {ui::MessageButtons::OkCancel, QMessageBox::Ok | QMessageBox::Cancel, Qt::Key_Escape, ui::IDCANCEL},
        {ui::MessageButtons::Ok, QMessageBox::Ok, Qt::Key_Escape, ui::IDOK},
    };
    for (const Case& c : cases) {
        ProbeDlg dlg;
        QWidget* owner = nullptr;
        QWidget* boxParent = nullptr;
        QString title, text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
        int answer = 0;
        dlg.onInit = [&] {
            owner = frontEnd.ActiveWindow();
            WhenShown<QMessageBox>([&](QMessageBox* box) {
                boxParent = box->parentWidget();
                title = box->windowTitle();
                text = box->text();
                icon = box->icon();
                buttons = box->standardButtons();
                if (c.press)
                    QTest::keyClick(box, Qt::Key(c.press));
                else
                    box->button(QMessageBox::Cancel)->click();
            });
            answer = ui::MessageBox("Preparing...\n\nDo you want to continue?", c.buttons);
            dlg.EndDialog(ui::IDCANCEL);
        };
        dlg.DoModal();
        EXPECT_EQ(answer, c.answer);
        EXPECT_NE(owner, nullptr);
        EXPECT_EQ(boxParent, owner);
        EXPECT_EQ(title, ui::qt::MessageCaption());
        EXPECT_EQ(text, QStringLiteral("Preparing...\n\nDo you want to continue?"));
        EXPECT_EQ(icon, QMessageBox::Warning);
        EXPECT_EQ(buttons, c.expectedButtons);
    }
}

TEST_F(DialogViewTest, CaptionIsTheExecutableNameWithoutExtension)
{
    QString caption = ui::qt::MessageCaption();
    EXPECT_FALSE(caption.isEmpty());
    EXPECT_TRUE(QCoreApplication::applicationFilePath().endsWith(caption));
}

TEST_F(DialogViewTest, FileChooserOpensOverItsOwnersWindow)
{
    ProbeDlg dlg;
    QWidget* window = nullptr;
    QWidget* parent = nullptr;
    ui::FileOpenOptions seen;
    frontEnd.SetFileChooser([&](QWidget* p, const ui::FileOpenOptions& options, std::string& path) {
        parent = p;
        seen = options;
        path = "/tmp/chosen.dlf";
        return true;
    });
    std::string path = "unchanged";
    dlg.onRun = [&] {
        ui::FileOpenOptions options;
        options.filter = "Binary Files (*.dlf)|*.dlf||";
        EXPECT_TRUE(ui::ChooseOpenFile(&dlg, options, path));
    };
    frontEnd.SetShownHook([&](ui::Dialog&, QtDialogView& view) {
        window = view.Window();
        QTest::mouseClick(view.Control(kRun), Qt::LeftButton);
        QTest::mouseClick(view.Control(ui::IDCANCEL), Qt::LeftButton);
    });
    dlg.DoModal();
    EXPECT_EQ(path, "/tmp/chosen.dlf");
    EXPECT_EQ(seen.filter, "Binary Files (*.dlf)|*.dlf||");
    EXPECT_NE(window, nullptr);
    EXPECT_EQ(parent, window);
}

} // namespace
