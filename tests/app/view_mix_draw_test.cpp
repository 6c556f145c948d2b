// The mix pad and the effects block drawn on the GL renderer over an engine in known
// states: gain and pan, the crossfade, a locked and a dragged point, each kind of
// slot (empty, built-in, plug-in), patch B and bypass. Probes are taken from the two
// painters alone over the cleared background; each state also writes a picture of
// the whole main view to build/shots.
#include <cmath>
#include <cstdio>
#include <vector>

#include "app/panels/main/app_draw.h"
#include "app/app_state.h"
#include "app/panels/main/view.h"
#include "app/panels/main/view_mix.h"
#include "app/panels/main/view_palette.h"
#include "audio/engine_retire.h"
#include "audio/fx.h"
#include "audio/vst.h"
#include "support/draw_probe.h"
#include "tests/app/app_test.h"
#include "tests/app/view_draw_probe.h"
#include "tests/audio/vst_mock_impl.h"
#include "ui/drawkit.h"

namespace {

const double kPi = 3.14159265358979;

class MidView : public MainViewTest {
protected:
    explicit MidView(int32_t w = DRAW_REF_WIDTH) : MainViewTest(w) {}
    VstPlugin* plugin = nullptr;
    const DrawPixel well = draw_expect_blend(bg, pix(VIEW_PANEL, 150));   // pad and tabs
    const DrawPixel block = draw_expect_blend(bg, pix(VIEW_PANEL, 100));  // effects panel
    const DrawPixel knob_well = draw_expect_blend(block, pix(draw_rgba(18, 23, 23, 150)));

    void load_plugin(int32_t slot, const char* name)
    {
        vst_mock_reset();
        snprintf(g_vst_mock.config.name, sizeof g_vst_mock.config.name, "%s", name);
        char err[128] = {};
        plugin = vst_load_entry("mock", vst_mock_entry, 48000.0f, 4096, err, sizeof err);
        ASSERT_NE(plugin, nullptr) << err;
        plugin_field = &e->slots[slot].plugin;
        engine_publish_plugin(e, plugin_field, plugin);
    }

    // The pad point where the springs have settled.
    void place_point(float x, float y)
    {
        app->pad_x.value = x;
        app->pad_y.value = y;
    }
    void draw_part() override { draw_mid(); }
    void draw_mid()
    {
        draw_fixture_clear(&fx, bg.r, bg.g, bg.b);
        view_pad(app, &kit);
        view_patches(app, &kit);
        read();
    }

    bool box_has(int x0, int y0, int x1, int y1, DrawPixel want) { return draw_box_has(&fx, x0, y0, x1, y1, want); }
    std::vector<int> row_hits(int x0, int x1, int y, DrawPixel want) { return draw_row_hits(&fx, x0, x1, y, want); }
    // The run of pixels the point's square covers on row y: first and last x.
    std::pair<int, int> square_span(int y, DrawPixel want)
    {
        std::vector<int> xs = row_hits(42, 597, y, want);
        if (xs.empty())
            return {-1, -1};
        return {xs.front(), xs.back()};
    }
};

// Pad (42, 464, 556, 250). A point at x 0.3, y 0.6012: px 208.8, py 614.3; the
// crosshair's 1-unit lines land on column 208 and row 614, and the 22-unit square
// covers columns 198..219 and rows 603..624.
const float kPointX = 0.3f, kPointY = 0.6012f;

TEST_F(MidView, GainAndPanModeLightsItsTabAndDrawsAMagentaPointOnItsCrosshair)
{
    place_point(kPointX, kPointY);
    app->smoothed_level = 0.5f;   // glow 0.45 + 0.4 x 0.5
    draw_mid();
    picture("vol_pan");

    // Tab 0 lit 35% of the way to magenta with a magenta bar; tab 1 a plain well.
    EXPECT_TRUE(draw_probe(&fx, 50, 435, pix(draw_rgba(104, 18, 63, 255))));
    EXPECT_TRUE(draw_probe(&fx, 50, 460, pix(VIEW_MAGENTA)));
    EXPECT_TRUE(draw_probe(&fx, 330, 435, well));
    EXPECT_TRUE(draw_probe(&fx, 330, 460, well));

    // The square, glowing with the output level.
    DrawPixel point = glowed(pix(VIEW_MAGENTA), VIEW_MAGENTA, 0.65f);
    EXPECT_EQ(square_span(610, point), std::make_pair(198, 219));
    EXPECT_TRUE(draw_probe(&fx, 208, 603, point));
    EXPECT_TRUE(draw_probe(&fx, 208, 624, point));
    EXPECT_FALSE(draw_probe(&fx, 208, 601, point));
    // Crosshair lines across the pad, far from the square's glow; the quarter grid.
    DrawPixel cross = draw_expect_blend(well, pix(VIEW_MAGENTA, 90));
    EXPECT_TRUE(draw_probe(&fx, 208, 500, cross));
    EXPECT_TRUE(draw_probe(&fx, 207, 500, well));
    EXPECT_TRUE(draw_probe(&fx, 400, 614, cross));
    EXPECT_TRUE(draw_probe(&fx, 400, 612, well));
    EXPECT_TRUE(draw_probe(&fx, 181, 500, draw_expect_blend(well, pix(VIEW_MUTED, 34))));
    EXPECT_TRUE(draw_probe(&fx, 500, 526, draw_expect_blend(well, pix(VIEW_MUTED, 34))));
    // "L" left of the point's row and "VOL" over it, in grey; no lock frame.
    EXPECT_TRUE(box_has(48, 599, 55, 609, pix(VIEW_MUTED)));
    EXPECT_TRUE(box_has(190, 470, 226, 480, pix(VIEW_MUTED)));
    EXPECT_FALSE(box_has(558, 470, 594, 480, pix(VIEW_YELLOW)));

    // The point follows its springs.
    place_point(0.9f, 0.2f);   // px 542.4, py 514
    draw_mid();
    EXPECT_EQ(square_span(514, point), std::make_pair(531, 552));
}

TEST_F(MidView, CrossfadeModeTintsThePointBetweenThePatchColoursAndLabelsTheSides)
{
    app->pad_mode = 1;
    e->crossfade.store(0.7f);
    e->wet_dry.store(0.4f);
    place_point(kPointX, kPointY);
    draw_mid();
    picture("fx_mix");

    EXPECT_TRUE(draw_probe(&fx, 50, 435, well));
    EXPECT_TRUE(draw_probe(&fx, 330, 435, pix(draw_rgba(52, 99, 97, 255))));
    EXPECT_TRUE(draw_probe(&fx, 330, 460, pix(VIEW_LIGHT_TEAL)));

    // 30% of the way from patch A's purple to patch B's teal.
    uint32_t tint = draw_rgba(130, 101, 200, 255);
    EXPECT_EQ(square_span(610, glowed(pix(tint), tint, 0.45f)), std::make_pair(198, 219));
    EXPECT_TRUE(draw_probe(&fx, 208, 500, draw_expect_blend(well, pix(tint, 90))));
    // "A" in purple at the left and "B" in teal at the right, on the point's row.
    EXPECT_TRUE(box_has(48, 599, 57, 611, pix(VIEW_PATCH_A)));
    EXPECT_TRUE(box_has(582, 599, 591, 611, pix(VIEW_PATCH_B)));
    EXPECT_FALSE(box_has(48, 599, 55, 609, pix(VIEW_MUTED)));
    // "DRY" under the point near the bottom.
    EXPECT_TRUE(box_has(190, 680, 226, 690, pix(VIEW_MUTED)));
}

TEST_F(MidView, ALockedPointIsFramedInYellowAndADraggedOneGrows)
{
    place_point(kPointX, kPointY);
    app->pad_lock = 1;
    app->ui_time = kPi / 6;   // the lock's breath at its height: glow 0.6
    draw_mid();
    picture("locked");

    // The pad's yellow glow reaches 2 units outside it; "LOCK" at the top right.
    EXPECT_TRUE(draw_probe(&fx, 40, 550, glowed(bg, VIEW_YELLOW, 0.6f)));
    EXPECT_TRUE(box_has(558, 470, 594, 480, pix(VIEW_YELLOW)));
    // The 30-unit square (194..223), opaque over the pad's glow and glowing at full
    // strength, and its yellow frame 3 units out (column 191).
    EXPECT_EQ(square_span(610, glowed(pix(VIEW_MAGENTA), VIEW_MAGENTA, 1.0f)), std::make_pair(194, 223));
    EXPECT_TRUE(draw_probe(&fx, 191, 610, pix(VIEW_YELLOW)));

    app->pad_lock = 0;
    app->drag_mode = DRAG_PAD;
    draw_mid();
    EXPECT_TRUE(draw_probe(&fx, 40, 550, bg));
    EXPECT_EQ(square_span(610, glowed(pix(VIEW_MAGENTA), VIEW_MAGENTA, 1.0f)), std::make_pair(194, 223));
    EXPECT_FALSE(draw_probe(&fx, 191, 610, pix(VIEW_YELLOW)));
}

// Slot rows of patch A: row 0 at y 774, row 1 at y 858. Knob 1 spans x 256..384,
// knob 2 392..520, both 26 high from 782 + 84 row.
TEST_F(MidView, SlotRowsShowBuiltInEffectsEmptySlotsAndTheirKnobValues)
{
    fx_set_type(&e->slots[0], FX_DELAY);
    e->slots[0].knob1.store(0.5f);    // filled to x 320
    e->slots[0].knob2.store(0.25f);   // filled to x 424
    e->slots[1].knob1.store(0.75f);   // an empty slot keeps its knobs: to x 352
    draw_mid();
    picture("slots");

    // Panel outline in patch A's purple; tab A lit, tab B plain; the switch lit.
    EXPECT_TRUE(draw_probe(&fx, 8, 800, draw_expect_blend(block, pix(VIEW_PATCH_A, 110))));
    EXPECT_TRUE(draw_probe(&fx, 46, 737, pix(draw_rgba(75, 36, 101, 255))));
    EXPECT_TRUE(draw_probe(&fx, 172, 737, pix(VIEW_PANEL)));
    EXPECT_TRUE(draw_probe(&fx, 580, 748, glowed(pix(VIEW_PATCH_A), VIEW_PATCH_A, 0.6f)));
    EXPECT_TRUE(box_has(130, 740, 155, 750, pix(VIEW_BRIGHT)));   // "PATCH A"

    // Row 0: a lit name box with "DELAY" in bright text.
    EXPECT_TRUE(draw_probe(&fx, 50, 780, pix(draw_rgba(81, 37, 110, 255))));
    EXPECT_TRUE(box_has(120, 796, 170, 806, pix(VIEW_BRIGHT)));
    EXPECT_FALSE(box_has(44, 776, 70, 786, pix(VIEW_YELLOW)));   // no plug-in tag
    DrawPixel fill = draw_expect_blend(knob_well, pix(VIEW_PATCH_A, 150));
    EXPECT_TRUE(draw_probe(&fx, 318, 795, fill));
    EXPECT_TRUE(draw_probe(&fx, 322, 795, knob_well));
    EXPECT_TRUE(draw_probe(&fx, 422, 795, fill));
    EXPECT_TRUE(draw_probe(&fx, 426, 795, knob_well));
    EXPECT_TRUE(box_has(256, 812, 300, 821, pix(VIEW_MUTED)));   // "Del Time"
    // The "VST" button of a slot without a plug-in.
    EXPECT_TRUE(draw_probe(&fx, 532, 786, draw_expect_blend(block, pix(VIEW_PANEL, 150))));
    EXPECT_TRUE(box_has(550, 797, 575, 806, pix(VIEW_MUTED)));

    // Row 1, empty: an unlit box, grey "+ FX", bars at the stored knobs.
    EXPECT_TRUE(draw_probe(&fx, 50, 864, pix(VIEW_PANEL)));
    EXPECT_TRUE(box_has(125, 880, 165, 890, pix(VIEW_MUTED)));
    EXPECT_FALSE(box_has(125, 880, 165, 890, pix(VIEW_BRIGHT)));
    EXPECT_TRUE(draw_probe(&fx, 350, 879, fill));
    EXPECT_TRUE(draw_probe(&fx, 354, 879, knob_well));

    // Dragging knob 2 of slot 0 brightens it and makes it glow; knob 1 stays.
    app->drag_mode = DRAG_FX_KNOB;
    app->drag_slot = 0;
    app->drag_knob = 1;
    draw_mid();
    EXPECT_TRUE(draw_probe(&fx, 410, 795, glowed(draw_expect_blend(knob_well, pix(VIEW_PATCH_A, 230)), VIEW_PATCH_A, 0.7f)));
    EXPECT_TRUE(draw_probe(&fx, 318, 795, fill));
    EXPECT_TRUE(draw_probe(&fx, 440, 795, knob_well));
}

TEST_F(MidView, APlugInSlotShowsItsNameTagSwapButtonAndParameters)
{
    load_plugin(1, "Granular Cloud Machine");
    vst_set_parameter(plugin, 0, 0.25f);    // to x 288
    vst_set_parameter(plugin, 1, 7.0f);     // out of range: held to a full bar
    fx_set_type(&e->slots[1], FX_HALL);
    e->slots[1].knob1.store(0.9f);          // the plug-in's values win
    draw_mid();
    picture("plugin");

    EXPECT_TRUE(draw_probe(&fx, 50, 900, pix(draw_rgba(81, 37, 110, 255))));   // lit
    EXPECT_TRUE(box_has(46, 861, 66, 869, pix(VIEW_YELLOW)));                  // "VST" tag
    // "Granular Cloud" is 14 characters: 150 units wide, centred on 145 (70..220).
    EXPECT_TRUE(box_has(70, 880, 76, 892, pix(VIEW_BRIGHT)));
    EXPECT_FALSE(box_has(222, 880, 240, 892, pix(VIEW_BRIGHT)));
    DrawPixel fill = draw_expect_blend(knob_well, pix(VIEW_PATCH_A, 150));
    EXPECT_TRUE(draw_probe(&fx, 286, 879, fill));
    EXPECT_TRUE(draw_probe(&fx, 290, 879, knob_well));
    EXPECT_TRUE(draw_probe(&fx, 516, 879, fill));
    EXPECT_TRUE(draw_probe(&fx, 522, 879, block));   // nothing past the well
    // "SWAP" on a warm fill.
    EXPECT_TRUE(draw_probe(&fx, 532, 870, pix(draw_rgba(89, 84, 52, 255))));
    EXPECT_TRUE(box_has(548, 880, 580, 890, pix(VIEW_BRIGHT)));
}

TEST_F(MidView, PatchBShowsItsOwnSlotsInTeal)
{
    app->patch_b = 1;
    fx_set_type(&e->slots[0], FX_DELAY);   // patch A: not shown
    fx_set_type(&e->slots[3], FX_HALL);
    e->slots[3].knob1.store(0.5f);
    draw_mid();
    picture("patch_b");

    EXPECT_TRUE(draw_probe(&fx, 46, 737, pix(VIEW_PANEL)));
    EXPECT_TRUE(draw_probe(&fx, 172, 737, pix(draw_rgba(60, 119, 116, 255))));
    EXPECT_TRUE(draw_probe(&fx, 8, 800, draw_expect_blend(block, pix(VIEW_PATCH_B, 110))));
    // Row 0 is slot 2 (empty), row 1 slot 3 (hall, lit halfway to teal).
    EXPECT_TRUE(draw_probe(&fx, 50, 780, pix(VIEW_PANEL)));
    EXPECT_TRUE(draw_probe(&fx, 50, 864, pix(draw_rgba(65, 129, 126, 255))));
    EXPECT_TRUE(draw_probe(&fx, 318, 879, draw_expect_blend(knob_well, pix(VIEW_PATCH_B, 150))));
    // The switch keeps patch A's purple.
    EXPECT_TRUE(draw_probe(&fx, 580, 748, glowed(pix(VIEW_PATCH_A), VIEW_PATCH_A, 0.6f)));
}

TEST_F(MidView, BypassDimsTheBlockAndEmptiesTheSwitch)
{
    fx_set_type(&e->slots[0], FX_DELAY);
    e->fx_bypass.store(1);
    draw_mid();
    picture("bypassed");

    DrawPixel veil = pix(VIEW_BACKGROUND, 120);
    // The lit name box only 18% of the way to purple, under the veil.
    EXPECT_TRUE(draw_probe(&fx, 50, 780, draw_expect_blend(pix(draw_rgba(44, 32, 58, 255)), veil)));
    // The switch: its well without the inner square or glow.
    EXPECT_TRUE(draw_probe(&fx, 580, 748,
                           draw_expect_blend(draw_expect_blend(block, pix(VIEW_PANEL, 150)), veil)));
    // The faint outline, then "BYPASSED" over the middle of the block.
    EXPECT_TRUE(draw_probe(&fx, 8, 800,
                           draw_expect_blend(draw_expect_blend(block, pix(VIEW_PATCH_A, 40)), veil)));
    DrawPixel under = draw_expect_blend(block, veil);
    EXPECT_TRUE(box_has(275, 829, 365, 841, draw_expect_blend(under, pix(VIEW_MUTED, 180))));

    e->fx_bypass.store(0);
    draw_mid();
    EXPECT_FALSE(box_has(275, 829, 365, 841, draw_expect_blend(under, pix(VIEW_MUTED, 180))));
}

using MidViewInAWindow = InAWindow<MidView>;

TEST_F(MidViewInAWindow, EveryOutlineOfTheEffectsBlockKeepsItsFourEdges)
{
    fx_set_type(&e->slots[0], FX_DELAY);
    const AppLayout& l = app->layout;
    in_each_window([&](int h) {
        EXPECT_TRUE(outline_lit(&fx, kit, 8, 728, 624, 212)) << h;
        EXPECT_TRUE(outline_lit(&fx, kit, l.fx_switch.x, l.fx_switch.y, l.fx_switch.w, l.fx_switch.h)) << h;
        for (int row = 0; row < 2; row++)
            for (const HitRect& r : {l.slot_name[row], l.slot_knob1[row], l.slot_knob2[row], l.slot_button[row]})
                EXPECT_TRUE(outline_lit(&fx, kit, r.x, r.y, r.w, r.h)) << h << " row " << row;
    });
}

}  // namespace
