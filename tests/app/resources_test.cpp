// The dialog templates and strings in res/: each window's title, size,
// style and every control's id, text and rectangle, as listed in
// window_tables.h.
#include <gtest/gtest.h>

#include <iterator>

#include "res/resource.h"
#include "tests/app/window_tables.h"

namespace {

struct WindowCase {
    const char* name;
    int templateId;
    const char* title;
    int cx, cy;
    unsigned style;
    const tables::Row* rows;
    size_t rowCount;
};

const WindowCase kWindows[] = {
    {"main", IDD_QUILVEX_DIALOG, " Flash Memory Upgrade Utility for Dravik Modem", 295, 137,
        ui::DialogModalFrame | ui::DialogCaption | ui::DialogSysMenu | ui::DialogAppWindow, tables::kMainWindow,
        std::size(tables::kMainWindow)},
    {"about", IDD_ABOUTBOX, "About Quilvex", 217, 55, ui::DialogModalFrame | ui::DialogCaption | ui::DialogSysMenu,
        tables::kAboutBox, std::size(tables::kAboutBox)},
};

class TemplateTest : public ::testing::TestWithParam<WindowCase> { };

TEST_P(TemplateTest, MatchesItsTable)
{
    RegisterResources();
    const WindowCase& w = GetParam();
    const ui::DialogTemplate* tmpl = ui::FindDialogTemplate(w.templateId);
    ASSERT_NE(tmpl, nullptr);
    EXPECT_EQ(tmpl->title, w.title);
    EXPECT_EQ(tmpl->cx, w.cx);
    EXPECT_EQ(tmpl->cy, w.cy);
    EXPECT_EQ(tmpl->fontPointSize, 8);
    EXPECT_EQ(tmpl->style, w.style);
    ASSERT_EQ(tmpl->controls.size(), w.rowCount);
    for (size_t i = 0; i < w.rowCount; ++i) {
        const tables::Row& row = w.rows[i];
        const ui::ControlTemplate& c = tmpl->controls[i];
        SCOPED_TRACE("control #" + std::to_string(i) + " id " + std::to_string(row.id));
        EXPECT_EQ(c.id, row.id);
        EXPECT_EQ(c.kind, row.kind);
        if (row.text) {
            EXPECT_EQ(c.text, row.text);
        } else {
            EXPECT_FALSE(c.text.empty());
        }
        EXPECT_EQ(c.x, row.x);
        EXPECT_EQ(c.y, row.y);
        if (row.cx >= 0) {
            EXPECT_EQ(c.cx, row.cx);
            EXPECT_EQ(c.cy, row.cy);
        }
        EXPECT_EQ(c.style & tables::kChecked, row.style);
    }
}

INSTANTIATE_TEST_SUITE_P(Windows, TemplateTest, ::testing::ValuesIn(kWindows),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Resources, AboutIconAndMenuText)
{
    RegisterResources();
    const ui::DialogTemplate* about = ui::FindDialogTemplate(IDD_ABOUTBOX);
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(about->controls.front().iconId, IDI_ABOUT);
    EXPECT_EQ(ui::LoadString(IDS_ABOUTBOX), "&About Quilvex...");
}

} // namespace
