// The plug-in picker drawn on the GL renderer: title per target, tabs, search field,
// IDENTIFY against STOP with the progress bar, the error and hint lines, selected and
// hovered rows, names and kind tags, and the rows that fit with and without hints.
#include "tests/app/panel_view_kit.h"

namespace {

using PickerView = PanelViewTest;
const DrawPixel kPanel = pix(VIEW_PANEL);

int row_y(int k)
{
    return 270 + 34 * k;
}

TEST_F(PickerView, TitleTabsSearchAndIdentify)
{
    struct Case {
        int32_t target, tab;
        const char* search;
        uint8_t identifying;
        int title_end;           // the title's last ink column: 74 + width at scale 1.8
        DrawPixel button;
    } cases[] = {
        {-1, 2, "", 0, 74 + 333, draw_pixel_rgb(92, 20, 58)},
        {0, 1, "ab", 1, 74 + 182, draw_pixel_rgb(129, 47, 53)},
    };
    for (const Case& c : cases) {
        picker(8, false, c.target);
        AppPicker* p = &app->picker;
        p->tab = c.tab;
        snprintf(p->search, sizeof p->search, "%s", c.search);
        p->identifying = c.identifying;
        p->kind[0] = p->kind[1] = 1;   // 2 of 8 identified
        paint();
        shot(c.identifying ? "identifying" : "idle");
        InkBox title = find(60, 130, 579, 150, pix(VIEW_BRIGHT));
        EXPECT_NEAR(title.x1, c.title_end, 5) << c.target;
        for (int i = 0; i < 3; i++) {
            DrawPixel want = i == c.tab ? draw_pixel_rgb(127, 15, 73) : draw_pixel_rgb(18, 23, 23);
            EXPECT_TRUE(draw_probe(&fx, 76 + 164 * i, 167, want)) << "tab " << i;
            EXPECT_EQ(p->tabs[i].x, 74 + 164.0f * i);
        }
        EXPECT_TRUE(draw_probe(&fx, 450, 206, c.button));
        EXPECT_EQ(p->identify_button.w, 120.0f);
        DrawPixel caret = pix(draw_rgba(255, 107, 184, 255));
        if (c.search[0]) {
            EXPECT_TRUE(draw_probe(&fx, 106, 219, caret));   // 86 + the width of "ab"
            EXPECT_FALSE(find(84, 212, 104, 225, pix(VIEW_BRIGHT)).empty());
            // The progress bar: 492 x 2 / 8 = 123 wide, then the track; no key hints.
            EXPECT_TRUE(draw_probe(&fx, 194, 934, pix(VIEW_MAGENTA)));
            EXPECT_TRUE(draw_probe(&fx, 200, 934, draw_pixel_rgb(19, 24, 24)));
            EXPECT_TRUE(find(74, 938, 560, 948, pix(VIEW_MUTED)).empty());
        } else {
            EXPECT_TRUE(draw_probe(&fx, 84, 219, draw_expect_blend(draw_pixel_rgb(17, 21, 21), pix(draw_rgba(255, 107, 184, 150)))));
            EXPECT_NEAR(find(84, 212, 440, 225, pix(VIEW_MUTED)).x1, 84 + 149, 5);   // "TYPE TO SEARCH"
            EXPECT_FALSE(find(74, 938, 560, 948, pix(VIEW_MUTED)).empty());
        }
    }
}

TEST_F(PickerView, TheErrorLineOrWithNoEntriesTheHintNamingTheVariable)
{
    picker(3, true);
    snprintf(app->picker.status, sizeof app->picker.status, "p1: not a VST2 plugin");
    paint();
    EXPECT_NEAR(find(74, 244, 579, 254, pix(VIEW_RED)).x1, 74 + 21 * 8.4 - 1.4, 5);
    picker(0, true);
    paint();
    shot("empty");
    // 42 bytes: the dash is three, each drawn as '?'.
    EXPECT_NEAR(find(74, 244, 579, 254, pix(VIEW_MUTED)).x1, 74 + 42 * 8.4 - 1.4, 5);
    EXPECT_TRUE(draw_probe(&fx, 70, row_y(0) + 16, kPanel));
}

TEST_F(PickerView, RowsShowSelectionHoverNamesAndKindTags)
{
    picker(6, false);
    AppPicker* p = &app->picker;
    p->selection = 0;
    snprintf(p->label[1], sizeof p->label[1], "A Much Longer Plugin Name");
    const uint8_t kinds[] = {1, 1, 2, 3, 0, 0};
    for (int i = 0; i < 6; i++)
        p->kind[i] = kinds[i];
    app->mouse_x = 300;
    app->mouse_y = row_y(2) + 33;   // the gap below a fill belongs to its row
    paint();
    shot();
    EXPECT_TRUE(draw_probe(&fx, 70, row_y(0) + 16, draw_pixel_rgb(115, 17, 68)));
    EXPECT_TRUE(draw_probe(&fx, 70, row_y(2) + 16, draw_pixel_rgb(69, 23, 48)));
    EXPECT_TRUE(draw_probe(&fx, 70, row_y(3) + 16, kPanel));
    // Identified: its name, 25 characters; not identified: the file name "p4".
    EXPECT_NEAR(find(76, row_y(1) + 9, 480, row_y(1) + 21, pix(VIEW_LIGHT)).x1, 76 + 25 * 10.2 - 1.7, 5);
    EXPECT_NEAR(find(76, row_y(4) + 9, 480, row_y(4) + 21, pix(VIEW_MUTED)).x1, 76 + 2 * 10.2 - 1.7, 5);
    struct Tag {
        int row;
        DrawPixel ink;
        int width;   // characters
    } tags[] = {{1, pix(draw_rgba(255, 107, 184, 255)), 2},
                {2, pix(VIEW_LIGHT_TEAL), 4},
                {3, pix(VIEW_RED), 9},
                {4, pix(VIEW_MUTED), 1}};
    for (const Tag& t : tags)
        EXPECT_NEAR(find(488, row_y(t.row) + 11, 579, row_y(t.row) + 21, t.ink).x1, 490 + t.width * 8.4 - 1.4, 5)
            << "row " << t.row;
}

TEST_F(PickerView, EighteenRowsAndHintsWhileSomeAreUnidentifiedNineteenWithout)
{
    const DrawPixel hint = draw_expect_blend(kPanel, pix(draw_rgba(148, 148, 148, 190)));
    for (bool all : {false, true}) {
        picker(40, all);
        app->picker.selection = 18;
        paint();
        EXPECT_EQ(draw_probe(&fx, 70, row_y(18) + 16, draw_pixel_rgb(115, 17, 68)), all);
        EXPECT_EQ(find(74, 906, 560, 930, hint).empty(), all);
        EXPECT_EQ(vst_picker_visible_rows(&app->picker), all ? 19 : 18);
    }
    // A closed picker draws nothing and forgets its rectangles.
    app->picker.open = 0;
    paint();
    EXPECT_TRUE(draw_probe(&fx, 60, 500, bg));
    EXPECT_EQ(app->picker.tabs[0].w, 0.0f);
    EXPECT_EQ(app->picker.identify_button.w, 0.0f);
}

}  // namespace
