// The main window on the desktop: its fields bound to the dialog's
// members, the file chooser, Exit, the About box, and a whole start-up
// against a scripted modem.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <vector>

// Before res/resource.h, whose IDOK and IDCANCEL are macros.
#include "testing/message_recorder.h"

#include "app/QuilvexApp.h"
#include "app/QuilvexDlg.h"
#include "link/ComPort.h"
#include "platform/ui/qt/qt_dialog_view.h"
#include "platform/ui/qt/qt_front_end.h"
#include "tests/app/qt_test_env.h"
#include "tests/upgrade/scripted_receiver.h"
#include "upgrade/Transfer.h"
#include "tests/identify/temp_cwd.h"
#include "tests/support/fake_serial.h"
#include "testing/com_ports.h"

using ui::qt::QtDialogView;
using ui::qt::QtFrontEnd;

namespace {

QString LabelText(QtDialogView& view, int id)
{
    return view.Control(id)->accessibleName();
}

class MainDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TestApp();
        RegisterResources();
        m_previous = ui::SetFrontEnd(&frontEnd);
    }
    void TearDown() override
    {
        g_ComPort.CloseIfPresent();
        g_ComPort.m_bPresent = 0;
        ui::SetFrontEnd(m_previous);
    }
    // The main window shown without running discovery, members pushed.
    static std::unique_ptr<QtDialogView> Show(CQuilvexDlg& dlg)
    {
        auto view = std::make_unique<QtDialogView>(dlg, nullptr);
        dlg.UpdateData(false);
        view->Show();
        return view;
    }

    QtFrontEnd frontEnd;
    MessageRecorder messages;

private:
    ui::FrontEnd* m_previous = nullptr;
};

TEST_F(MainDialogTest, PullingTakesWhatTheControlsShow)
{
    CQuilvexDlg dlg;
    dlg.m_strFileName = "pushed.dlf";
    auto view = Show(dlg);
    auto* edit = qobject_cast<QLineEdit*>(view->Control(IDC_FILENAME));
    EXPECT_EQ(edit->text(), QStringLiteral("pushed.dlf"));

    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(edit, "typed.dlf");
    dlg.m_strFileName = "set later";
    dlg.m_strStatus = "set later";
    dlg.UpdateData(true);
    EXPECT_EQ(dlg.m_strFileName, "typed.dlf");
    EXPECT_EQ(dlg.m_strStatus, "");
}

TEST_F(MainDialogTest, BrowseSetsTheFileOnlyWhenConfirmed)
{
    struct Case {
        const char* name;
        bool confirm;
        std::string member, edit;
    } const cases[] = {
        {"cancelled", false, "old.dlf", "typed.dlf"},
        {"confirmed", true, "/data/fw v2.dlf", "/data/fw v2.dlf"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CQuilvexDlg dlg;
        dlg.m_strFileName = "old.dlf";
        auto view = Show(dlg);
        auto* edit = qobject_cast<QLineEdit*>(view->Control(IDC_FILENAME));
        edit->setFocus();
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(edit, "typed.dlf"); // typed, not yet pulled

        std::vector<ui::FileOpenOptions> asked;
        frontEnd.SetFileChooser([&](QWidget*, const ui::FileOpenOptions& options, std::string& path) {
            asked.push_back(options);
            if (c.confirm)
                path = "/data/fw v2.dlf";
            return c.confirm;
        });
        QTest::mouseClick(view->Control(IDC_BROWSE), Qt::LeftButton);

        ASSERT_EQ(asked.size(), 1u);
        EXPECT_EQ(asked[0].defaultExtension, "*.dlf");
        EXPECT_EQ(asked[0].initialFile, "");
        EXPECT_EQ(asked[0].filter, "Binary Files (*.dlf)|*.dlf|All Files (*.*)|*.*||");
        EXPECT_TRUE(asked[0].fileMustExist);
        EXPECT_TRUE(asked[0].pathMustExist);
        EXPECT_EQ(dlg.m_strFileName, c.member);
        EXPECT_EQ(edit->text().toStdString(), c.edit);
        EXPECT_FALSE(dlg.IsEnded());
    }
}

TEST_F(MainDialogTest, EveryWayOutClosesAPortThatWasFound)
{
    struct Case {
        const char* name;
        bool portFound;
        std::function<void(QtDialogView&)> leave;
    } const cases[] = {
        {"Exit", true, [](QtDialogView& v) { QTest::mouseClick(v.Control(IDCANCEL), Qt::LeftButton); }},
        {"Escape", true, [](QtDialogView& v) { QTest::keyClick(v.Control(IDOK), Qt::Key_Escape); }},
        {"close box", true, [](QtDialogView& v) { v.Window()->close(); }},
        {"Exit, no port", false, [](QtDialogView& v) { QTest::mouseClick(v.Control(IDCANCEL), Qt::LeftButton); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PortMap ports;
        FakeLine modem;
        modem.replies["ATE0"] = "\r\nOK\r\n";
        ports.Attach(3, modem);
        g_ComPort.Probe(c.portFound ? "COM3" : "COM5", "");
        ASSERT_EQ(g_ComPort.m_bPresent, c.portFound ? 1 : 0);
        g_ComPort.Reopen();
        int closesBefore = modem.closeCount;

        CQuilvexDlg dlg;
        auto view = Show(dlg);
        c.leave(*view);
        EXPECT_TRUE(dlg.IsEnded());
        EXPECT_EQ(dlg.Result(), IDCANCEL);
        EXPECT_EQ(modem.closeCount - closesBefore, c.portFound ? 1 : 0);
        EXPECT_EQ(modem.openCount - modem.closeCount, 0) << "a port left open";
        g_ComPort.m_bPresent = 0;
    }
}

TEST_F(MainDialogTest, SystemCommandsOfTheAboutFamilyOpenAbout)
{
    std::vector<int> shown;
    frontEnd.SetShownHook([&](ui::Dialog& dlg, QtDialogView& view) {
        shown.push_back(dlg.Template().id);
        QTest::mouseClick(view.Control(IDOK), Qt::LeftButton);
    });
    CQuilvexDlg dlg;
    auto view = Show(dlg);
    for (unsigned id = 0x0010; id <= 0x001F; ++id) {
        shown.clear();
        view->SystemCommand(id);
        EXPECT_EQ(shown, std::vector<int>{IDD_ABOUTBOX}) << "command " << id;
    }
    for (unsigned id : {0x0000u, 0x000Fu, 0x0020u, 0x0110u, 0xF060u}) {
        shown.clear();
        view->SystemCommand(id);
        EXPECT_TRUE(shown.empty()) << "command " << id;
    }
    EXPECT_FALSE(dlg.IsEnded());
}

TEST_F(MainDialogTest, AboutItemFollowsTheStringResource)
{
    struct Case {
        const char* text;
        size_t items;
    } const cases[] = {{"&About Quilvex...", 2}, {"", 0}};
    PortMap ports; // the run stops at the first prompt, before any port is tried
    FakeLine modem;
    ports.Attach(1, modem);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        ui::SetString(IDS_ABOUTBOX, c.text);
        messages.answers = {IDCANCEL};
        CQuilvexDlg dlg;
        EXPECT_EQ(dlg.DoModal(), IDCANCEL);
        const auto& items = dlg.GetSystemMenu()->Items();
        ASSERT_EQ(items.size(), c.items);
        if (c.items) {
            EXPECT_TRUE(items[0].separator);
            EXPECT_EQ(items[1].commandId, static_cast<unsigned>(IDM_ABOUTBOX));
            EXPECT_EQ(items[1].text, c.text);
        }
    }
    ui::SetString(IDS_ABOUTBOX, "&About Quilvex...");
    EXPECT_EQ(modem.openCount, 0);
}

TEST_F(MainDialogTest, StartUpShowsTheModemFoundThenExitClosesIt)
{
    TempCwd cwd; // no identity data file here
    PortMap ports;
    FakeLine silent, modem;
    modem.replies = {{"ATE0", "\r\nOK\r\n"}, {"ATI5", "\r\n22\r\n\r\nOK\r\n"}};
    ports.Attach(1, silent);
    ports.Attach(4, modem);
    messages.answers = {IDOK, IDOK};

    std::map<int, QString> texts;
    bool iconSet = false, visible = false;
    QStringList menu;
    QWidget* window = nullptr;
    QWidget* chooserParent = nullptr;
    frontEnd.SetFileChooser([&](QWidget* parent, const ui::FileOpenOptions&, std::string&) {
        chooserParent = parent;
        return false;
    });
    frontEnd.SetShownHook([&](ui::Dialog& shown, QtDialogView& view) {
        if (shown.Template().id != IDD_QUILVEX_DIALOG)
            return;
        window = view.Window();
        visible = window->isVisible();
        iconSet = !window->windowIcon().isNull() && !window->windowIcon().availableSizes().isEmpty();
        for (int id : {IDC_STATUS, IDC_PERCENT, IDC_PACKET, IDC_ATI3, IDC_ATI119})
            texts[id] = LabelText(view, id);
        if (auto popup = view.BuildSystemMenu())
            for (QAction* action : popup->actions())
                menu << (action->isSeparator() ? QStringLiteral("-") : action->text());
        QTest::mouseClick(view.Control(IDC_BROWSE), Qt::LeftButton);
        QTest::mouseClick(view.Control(IDCANCEL), Qt::LeftButton);
    });

    CQuilvexDlg dlg;
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_TRUE(visible);
    EXPECT_TRUE(iconSet);
    EXPECT_EQ(texts[IDC_STATUS], QStringLiteral("(...as reported by modem in COM4:)"));
    EXPECT_EQ(texts[IDC_PERCENT], QStringLiteral(" Country #"));
    EXPECT_EQ(texts[IDC_PACKET], QStringLiteral("22"));
    EXPECT_EQ(texts[IDC_ATI3], QStringLiteral("*** Not checked ***"));
    EXPECT_EQ(texts[IDC_ATI119], QStringLiteral("*** Not checked ***"));
    EXPECT_EQ(menu, (QStringList{"-", "&About Quilvex..."}));
    EXPECT_EQ(chooserParent, window);
    EXPECT_EQ(g_ComPort.WriteByte('x'), 0) << "Exit left the port open";
}

TEST_F(MainDialogTest, ApplicationRunsTheMainDialogAndEnds)
{
    PortMap ports;
    CQuilvexDlg* running = nullptr;
    ui::Dialog* mainWnd = nullptr;
    ui::MessagePresenter previous = ui::SetMessagePresenter([&](const std::string&, ui::MessageButtons) {
        running = g_pMainDlg;
        mainWnd = theApp.m_pMainWnd;
        return static_cast<int>(IDCANCEL);
    });
    EXPECT_EQ(ui::TheApp(), &theApp);
    EXPECT_FALSE(theApp.InitInstance());
    ui::SetMessagePresenter(previous);
    EXPECT_NE(running, nullptr);
    EXPECT_EQ(mainWnd, running);
    EXPECT_EQ(g_pMainDlg, nullptr);
    EXPECT_EQ(theApp.m_pMainWnd, nullptr);
}

} // namespace

// ---- the window during a transfer ------------------------------------------

namespace {

// Notes, for some controls, what each showed whenever it was painted, and
// whether that was the dialog's member value at the time.
class PaintLog : public QObject {
public:
    PaintLog(QtDialogView& view, std::map<int, const std::string*> members) : m_members(std::move(members))
    {
        for (const auto& entry : m_members) {
            QWidget* widget = view.Control(entry.first);
            m_ids[widget] = entry.first;
            widget->installEventFilter(this);
        }
    }
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::Paint)
            return false;
        const int id = m_ids.at(watched);
        QString shown;
        if (auto* label = qobject_cast<QLabel*>(watched))
            shown = label->text();
        else if (auto* edit = qobject_cast<QLineEdit*>(watched))
            shown = edit->text();
        // Each paint is of the latest push: it shows the member as it is now.
        if (shown != QString::fromStdString(*m_members.at(id)))
            ++stale;
        if (painted[id].empty() || painted[id].back() != shown)
            painted[id].push_back(shown);
        ++paints[id];
        return false;
    }

    std::map<int, std::vector<QString>> painted; // distinct texts in turn
    std::map<int, int> paints;
    int stale = 0;

private:
    std::map<int, const std::string*> m_members;
    std::map<QObject*, int> m_ids;
};

} // namespace

TEST_F(MainDialogTest, TransferPaintsEachPushAtOnceAndOnlyWhatChanged)
{
    CQuilvexDlg dlg;
    dlg.m_strAti3 = "V2.301";
    dlg.m_strFileName = "image.dlf";
    auto view = Show(dlg);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view->Window()));
    g_pMainDlg = &dlg;
    FakeLine line;
    line.Install();
    ASSERT_EQ(g_ComPort.Open("COM1"), 1);
    ScriptedReceiver rx(line, kStartC);
    line.Send({kStartC});
    std::vector<QString> packetsSeenAtHeader;
    auto* packetLabel = qobject_cast<QLabel*>(view->Control(IDC_PACKET));
    // Watched from the first packet on: by then the window's own first
    // paints (showing, activation) are over.
    std::unique_ptr<PaintLog> log;
    line.onWrite = [&, take = line.onWrite](FakeLine& l) {
        if (l.written.size() % 1029 == 1 && l.written.back() == kSTX) { // every frame is 1029 bytes
            packetsSeenAtHeader.push_back(packetLabel->text());
            if (!log)
                log = std::make_unique<PaintLog>(*view,
                    std::map<int, const std::string*>{{IDC_PACKET, &dlg.m_strPacket}, {IDC_PERCENT, &dlg.m_strPercent},
                        {IDC_ATI3, &dlg.m_strAti3}, {IDC_FILENAME, &dlg.m_strFileName}});
        }
        take(l);
    };

    const int packets = 20; // one percentage step per packet
    FILE* image = std::tmpfile();
    ASSERT_NE(image, nullptr);
    std::vector<char> bytes(packets * 1024, 'q');
    std::fwrite(bytes.data(), 1, bytes.size(), image);
    EXPECT_EQ(SendFirmware(image, true), 1);
    std::fclose(image);
    ASSERT_NE(log, nullptr);
    g_ComPort.Close();
    g_pMainDlg = nullptr;

    std::vector<QString> wantPackets, wantPercents;
    for (int i = 1; i <= packets; ++i) {
        wantPackets.push_back(QStringLiteral("P#%1").arg(i));
        wantPercents.push_back(QStringLiteral("(%1%)").arg(std::min((i + 1) * 5, 100)));
    }
    wantPercents.erase(std::unique(wantPercents.begin(), wantPercents.end()), wantPercents.end());
    EXPECT_EQ(log->painted[IDC_PACKET], wantPackets);
    EXPECT_EQ(log->painted[IDC_PERCENT], wantPercents);
    EXPECT_EQ(log->stale, 0);
    // Packet i is on show once its bytes are out, before packet i + 1 goes.
    ASSERT_EQ(packetsSeenAtHeader.size(), static_cast<size_t>(packets));
    for (int i = 1; i < packets; ++i)
        EXPECT_EQ(packetsSeenAtHeader[static_cast<size_t>(i)], wantPackets[static_cast<size_t>(i - 1)]);
    // Controls whose text never changed were never painted again.
    EXPECT_EQ(log->paints[IDC_ATI3], 0);
    EXPECT_EQ(log->paints[IDC_FILENAME], 0);
    EXPECT_EQ(dlg.m_ctlProgress.GetPos(), 100);
    EXPECT_EQ(qobject_cast<QProgressBar*>(view->Control(IDC_PROGRESS))->value(), 100);
}
