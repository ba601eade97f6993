// The windows as the front end builds them: every control of the template
// tables (window_tables.h) at its place, drawn with real glyphs, with no
// text cut off.
#include <gtest/gtest.h>

#include <QFontDatabase>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QStyleOptionGroupBox>
#include <cmath>
#include <iterator>

#include "app/AboutDlg.h"
#include "app/QuilvexDlg.h"
#include "platform/ui/qt/qt_dialog_view.h"
#include "platform/ui/qt/qt_text.h"
#include "tests/app/qt_test_env.h"
#include "tests/app/window_tables.h"

using ui::qt::QtDialogView;

namespace {

// Template units to pixels, written out independently of the front end.
int Scale(int units, int base, int per)
{
    return static_cast<int>(std::lround(static_cast<double>(units) * base / per));
}

bool KindMatches(ui::ControlKind kind, QWidget* w)
{
    switch (kind) {
    case ui::ControlKind::DefPushButton: {
        auto* b = qobject_cast<QPushButton*>(w);
        return b && b->isDefault();
    }
    case ui::ControlKind::PushButton: {
        auto* b = qobject_cast<QPushButton*>(w);
        return b && !b->isDefault();
    }
    case ui::ControlKind::GroupBox:
        return qobject_cast<QGroupBox*>(w) != nullptr;
    case ui::ControlKind::Edit:
        return qobject_cast<QLineEdit*>(w) != nullptr;
    case ui::ControlKind::ProgressBar:
        return qobject_cast<QProgressBar*>(w) != nullptr;
    case ui::ControlKind::Label:
        return qobject_cast<QLabel*>(w) && !qobject_cast<QLabel*>(w)->text().isEmpty();
    case ui::ControlKind::Icon:
        return qobject_cast<QLabel*>(w) && !qobject_cast<QLabel*>(w)->pixmap().isNull();
    }
    return false;
}

// The text a control shows, as the user reads it.
QString ShownText(QWidget* w)
{
    if (auto* b = qobject_cast<QPushButton*>(w))
        return ui::qt::StripMnemonics(b->text());
    if (auto* g = qobject_cast<QGroupBox*>(w))
        return ui::qt::StripMnemonics(g->title());
    if (auto* e = qobject_cast<QLineEdit*>(w))
        return e->text();
    if (auto* l = qobject_cast<QLabel*>(w))
        return l->accessibleName();
    return QString();
}

// The rectangle a control's text must fit in, in window coordinates.
QRect TextRoom(QWidget* w)
{
    if (auto* b = qobject_cast<QPushButton*>(w)) {
        QStyleOptionButton opt;
        opt.initFrom(b);
        opt.rect = b->rect();
        opt.text = b->text();
        QRect contents = b->style()->subElementRect(QStyle::SE_PushButtonContents, &opt, b);
        return QRect(b->mapToParent(contents.topLeft()), QSize(contents.width(), b->height()));
    }
    if (auto* g = qobject_cast<QGroupBox*>(w)) {
        QStyleOptionGroupBox opt;
        opt.initFrom(g);
        opt.rect = g->rect();
        opt.text = g->title();
        opt.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
        opt.textAlignment = g->alignment();
        QRect label = g->style()->subControlRect(QStyle::CC_GroupBox, &opt, QStyle::SC_GroupBoxLabel, g);
        return QRect(g->mapToParent(label.topLeft()), label.size());
    }
    return w->geometry();
}

// The width a control's text takes in the font it is drawn with.
int TextWidth(QWidget* w)
{
    return QFontMetrics(w->font()).horizontalAdvance(ShownText(w));
}

class WindowBuildTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TestApp();
        RegisterResources();
    }

    // Checks a built window against its table: kinds, texts and pixels.
    static void ExpectLayout(const QtDialogView& view, const tables::Row* rows, size_t count)
    {
        const ui::qt::BaseUnits& u = view.Units();
        ASSERT_GE(u.x, 5);
        ASSERT_EQ(u.y, QFontMetrics(view.Font()).height());
        ASSERT_EQ(view.Widgets().size(), count);
        for (size_t i = 0; i < count; ++i) {
            const tables::Row& row = rows[i];
            QWidget* w = view.Widgets()[i];
            SCOPED_TRACE("control #" + std::to_string(i));
            EXPECT_TRUE(KindMatches(row.kind, w));
            if (row.id != ui::IDC_STATIC) {
                EXPECT_EQ(view.Control(row.id), w);
            }
            if (row.text && row.kind != ui::ControlKind::Icon) {
                EXPECT_EQ(ShownText(w), QString::fromUtf8(row.text));
            }
            EXPECT_EQ(w->x(), Scale(row.x, u.x, 4));
            EXPECT_EQ(w->y(), Scale(row.y, u.y, 8));
            if (row.kind == ui::ControlKind::Icon) {
                EXPECT_GE(w->width(), 32);
                EXPECT_GE(w->height(), 32);
            } else if (row.cx >= 0) {
                EXPECT_EQ(w->width(), Scale(row.cx, u.x, 4));
                EXPECT_EQ(w->height(), Scale(row.cy, u.y, 8));
            }
            EXPECT_TRUE(view.Window()->rect().contains(w->geometry())) << "outside the window";
        }
    }

    // Every text fits its control, and every text shows as ink on screen.
    static void ExpectReadable(const QtDialogView& view)
    {
        QImage shot = view.Window()->grab().toImage();
        ASSERT_FALSE(shot.isNull());
        for (QWidget* w : view.Widgets()) {
            QString text = ShownText(w).trimmed();
            if (text.isEmpty() || qobject_cast<QLineEdit*>(w))
                continue;
            SCOPED_TRACE(text.toStdString());
            QRect room = TextRoom(w);
            EXPECT_LE(TextWidth(w), room.width()) << "text wider than its control";
            EXPECT_LE(QFontMetrics(w->font()).height(), room.height()) << "text taller than its control";
            if (auto* label = qobject_cast<QLabel*>(w)) {
                EXPECT_LE(label->sizeHint().width(), label->width());
                EXPECT_LE(label->sizeHint().height(), label->height());
            }
            // A letter or digit leaves a few dark pixels at least; "..." leaves some.
            int letters = 0;
            for (QChar c : text)
                letters += c.isLetterOrNumber() ? 1 : 0;
            EXPECT_GE(DarkPixels(shot, room), letters ? 3 * letters : 1) << "too little ink: the glyphs did not render";
        }
        // Controls sit side by side, and none covers a group box's title.
        const std::vector<QWidget*>& widgets = view.Widgets();
        for (size_t i = 0; i < widgets.size(); ++i)
            for (size_t j = 0; j < widgets.size(); ++j) {
                if (i == j || qobject_cast<QGroupBox*>(widgets[j]))
                    continue;
                QRect mine = qobject_cast<QGroupBox*>(widgets[i]) ? TextRoom(widgets[i]) : widgets[i]->geometry();
                if (!qobject_cast<QGroupBox*>(widgets[i]) && j < i)
                    continue; // each pair of controls once
                EXPECT_FALSE(mine.intersects(widgets[j]->geometry()))
                    << ShownText(widgets[i]).toStdString() << " overlaps control #" << j;
            }
        for (QWidget* w : view.Widgets()) {
            if (auto* edit = qobject_cast<QLineEdit*>(w)) {
                EXPECT_LE(edit->minimumSizeHint().height(), edit->height());
            }
        }
    }
};

TEST_F(WindowBuildTest, DialogFontIsARealSansSerifFace)
{
    CQuilvexDlg dlg;
    QtDialogView view(dlg, nullptr);
    QFontInfo info(view.Font());
    EXPECT_TRUE(QFontDatabase::families().contains(info.family())) << info.family().toStdString();
    EXPECT_EQ(info.styleHint(), QFont::SansSerif);
    EXPECT_EQ(info.pointSize(), 8);
}

TEST_F(WindowBuildTest, MainWindowFollowsTheTable)
{
    CQuilvexDlg dlg;
    QtDialogView view(dlg, nullptr);
    ExpectLayout(view, tables::kMainWindow, std::size(tables::kMainWindow));

    QWidget* window = view.Window();
    EXPECT_EQ(window->windowTitle(), QStringLiteral(" Flash Memory Upgrade Utility for Dravik Modem"));
    EXPECT_EQ(window->size(), QSize(Scale(295, view.Units().x, 4), Scale(137, view.Units().y, 8)));
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
    Qt::WindowFlags flags = window->windowFlags();
    EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Window) << "a window of its own, in the task bar";
    EXPECT_EQ(window->parentWidget(), nullptr);
    EXPECT_TRUE(flags & Qt::WindowTitleHint);
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(window->windowModality(), Qt::ApplicationModal);
    // Tab stops as the template marks them; the others only take clicks.
    EXPECT_EQ(view.Control(IDOK)->focusPolicy(), Qt::StrongFocus);
    EXPECT_EQ(view.Control(IDCANCEL)->focusPolicy(), Qt::StrongFocus);
    EXPECT_EQ(view.Control(IDC_BROWSE)->focusPolicy(), Qt::StrongFocus);
    EXPECT_FALSE(view.Control(IDC_PROGRESS)->focusPolicy() & Qt::TabFocus);
    EXPECT_FALSE(qobject_cast<QProgressBar*>(view.Control(IDC_PROGRESS))->isTextVisible());
    EXPECT_EQ(
        view.Control(IDC_FILENAME)->accessibleName(), QStringLiteral("New Firmware to be Upgraded... (.dlf file)"));
}

TEST_F(WindowBuildTest, AboutBoxFollowsTheTableAndSitsOverItsOwner)
{
    QWidget owner;
    CAboutDlg dlg;
    QtDialogView view(dlg, &owner);
    ExpectLayout(view, tables::kAboutBox, std::size(tables::kAboutBox));
    EXPECT_EQ(view.Window()->windowTitle(), QStringLiteral("About Quilvex"));
    EXPECT_EQ(view.Window()->parentWidget(), &owner);
    EXPECT_EQ(view.Window()->windowFlags() & Qt::WindowType_Mask, Qt::Dialog);
    view.Show();
    ExpectReadable(view);
}

TEST_F(WindowBuildTest, MainWindowAfterDiscoveryIsReadable)
{
    CQuilvexDlg dlg;
    QtDialogView view(dlg, nullptr);
    dlg.m_strStatus = "(...as reported by modem in COM4:)";
    dlg.m_strPercent = " Country #";
    dlg.m_strPacket = "22";
    dlg.m_strAti3 = "V2.301-V90_2M_DLP";
    dlg.m_strAti119 = "DRAVIK 56K RevC";
    dlg.m_strFileName = "/home/user/firmware/v2_302.dlf";
    dlg.UpdateData(false);
    view.Show();
    ExpectReadable(view);
    EXPECT_EQ(ShownText(view.Control(IDC_STATUS)), QStringLiteral("(...as reported by modem in COM4:)"));
}

TEST_F(WindowBuildTest, WidestTransferTextsFit)
{
    CQuilvexDlg dlg;
    QtDialogView view(dlg, nullptr);
    dlg.m_strStatus = "Flash Upgrading... (WARNING: DON'T INTERRUPT THE PROCESS!!!)";
    dlg.m_strPercent = "(100%)";
    dlg.m_strPacket = "P#512";
    dlg.UpdateData(false);
    view.Show();
    ExpectReadable(view);
}

// The labels a transfer changes fill their own background, so that a new
// text paints the label alone; the window looks no different for it.
TEST_F(WindowBuildTest, LabelsFillingTheirBackgroundLookTheSame)
{
    CQuilvexDlg dlg;
    QtDialogView view(dlg, nullptr);
    dlg.m_strStatus = "Flash Upgrading... (WARNING: DON'T INTERRUPT THE PROCESS!!!)";
    dlg.m_strPercent = "(45%)";
    dlg.m_strPacket = "P#230";
    dlg.m_strAti3 = "V2.301-V90_2M_DLP";
    dlg.UpdateData(false);
    view.Show();
    for (int id : {IDC_STATUS, IDC_PERCENT, IDC_PACKET, IDC_ATI3, IDC_ATI119})
        EXPECT_TRUE(view.Control(id)->autoFillBackground()) << id;
    const QImage filled = view.Window()->grab().toImage();
    for (QWidget* w : view.Widgets())
        if (qobject_cast<QLabel*>(w))
            w->setAutoFillBackground(false);
    EXPECT_EQ(view.Window()->grab().toImage(), filled);
}

TEST_F(WindowBuildTest, AmpersandInAReplyUnderlinesInsteadOfShowing)
{
    CQuilvexDlg dlg;
    QtDialogView view(dlg, nullptr);
    dlg.m_strAti3 = "AT&T <modem>";
    dlg.UpdateData(false);
    auto* label = qobject_cast<QLabel*>(view.Control(IDC_ATI3));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->textFormat(), Qt::RichText);
    EXPECT_EQ(label->text(), QStringLiteral("AT<u>T</u>&nbsp;&lt;modem&gt;"));
    EXPECT_EQ(label->accessibleName(), QStringLiteral("ATT <modem>"));
}

} // namespace
