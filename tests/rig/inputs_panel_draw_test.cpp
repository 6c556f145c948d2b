// inputs_panel_draw_test.cpp - what the inputs panel draws, probed on the offscreen GL
// target with a fake back-end and the panel opened at -10 s: rows, faders and meters
// at the positions their values give, a muted row's opacity, the scene highlight,
// the bus meters, and the status line (its rules as a table, its ink in its box).
// Pictures of several states go to build/test/shots/.
#include <gtest/gtest.h>

#include <cstring>

#include "app/shell_rigs.h"
#include "tests/rig/panel_kit.h"

namespace {

const float kFader0 = 92.0f, kFaderW = 228.0f;

// The palette the program gives the panel.
InputsPanelPalette program_palette()
{
    InputsPanelPalette p;
    shell_rigs_palette(&p);
    return p;
}

const DrawPixel kKnob = {242, 242, 242, 255};

class PanelDrawTest : public PanelTest {
protected:
    InputsPanelPalette pal = program_palette();
    void open(FakeRig* rig)
    {
        make(rig, nullptr, &pal);
        draw();
        read();
    }
    static int knob_x(float fader) { return (int)(kFader0 + kFaderW * fader); }
};

TEST_F(PanelDrawTest, RowsStand34ApartFromY60AndALinkedPairFoldsIntoOne)
{
    for (int n : {2, 8, 16}) {
        SCOPED_TRACE(n);
        FakeRig rig(n);
        for (int i = 0; i < n; i++) {
            rig.scene().inputs[i].muted = 0;
            rig.scene().inputs[i].gain = rig_fader_to_gain(0.2f + 0.05f * (float)(i % 8));
        }
        draw_fixture_clear(&fx, 0, 0, 0);
        open(&rig);
        for (int k = 0; k < std::min(n, 12); k++) {
            int y = 60 + 34 * k + 8;
            EXPECT_TRUE(draw_probe(&fx, knob_x(0.2f + 0.05f * (float)(k % 8)), y, kKnob)) << "row " << k;
        }
        char suffix[16];
        snprintf(suffix, sizeof suffix, "%d-inputs", n);
        shot(suffix);
        inputs_panel_destroy(panel);
        panel = nullptr;
    }
    FakeRig rig(4, "alsa:Desk");   // the first pair linked
    for (int i = 0; i < 4; i++) {
        rig.scene().inputs[i].muted = 0;
        rig.scene().inputs[i].gain = rig_fader_to_gain(0.3f + 0.1f * (float)i);
    }
    ASSERT_TRUE(rig.scene().inputs[0].link);
    open(&rig);
    EXPECT_TRUE(draw_probe(&fx, knob_x(0.3f), 60 + 8, kKnob)) << "the pair's row";
    EXPECT_TRUE(draw_probe(&fx, knob_x(0.5f), 60 + 34 + 8, kKnob)) << "input 3 moves up into row 2";
}

TEST_F(PanelDrawTest, TheBarPeakTickAndKnobStandWhereTheirValuesPutThem)
{
    FakeRig rig(2);
    rig.scene().inputs[0].muted = 0;
    rig.scene().inputs[0].gain = rig_fader_to_gain(0.4f);
    rig.meters.post[0] = 0.5f;
    rig.meters.level[0] = 0.55f;
    rig.meters.peak[0] = 0.9f;
    open(&rig);
    int top = 60;
    // The post-gain bar (rows 13 to 19) ends at 0.5 of the fader.
    DrawPixel in_bar = draw_fixture_pixel(&fx, knob_x(0.5f) - 2, top + 16);
    DrawPixel past_bar = draw_fixture_pixel(&fx, knob_x(0.5f) + 2, top + 16);
    EXPECT_GT(in_bar.r, 200);
    EXPECT_LT(past_bar.r, 150);
    // The peak tick at 0.9, above the bar's rows.
    DrawPixel tick = draw_fixture_pixel(&fx, knob_x(0.9f), top + 11);
    DrawPixel beside = draw_fixture_pixel(&fx, knob_x(0.9f) + 4, top + 11);
    EXPECT_GT(tick.r, 240);
    EXPECT_LT(beside.r, 100);
    EXPECT_TRUE(draw_probe(&fx, knob_x(0.4f), top + 8, kKnob));
    EXPECT_FALSE(draw_probe(&fx, knob_x(0.4f) + 4, top + 8, kKnob));
}

TEST_F(PanelDrawTest, AMutedRowDrawsAtOpacity045)
{
    FakeRig rig(2);
    rig.scene().inputs[0].muted = 0;
    rig.scene().inputs[1].muted = 1;
    rig.scene().inputs[0].gain = rig.scene().inputs[1].gain = rig_fader_to_gain(0.5f);
    open(&rig);
    int x = knob_x(0.5f), y = 60 + 34 + 7;
    DrawPixel bg = draw_fixture_pixel(&fx, x + 10, y);
    DrawPixel knob = draw_fixture_pixel(&fx, x, y);
    float alpha = (float)(knob.r - bg.r) / (float)(242 - bg.r);
    EXPECT_NEAR(alpha, 0.45f, 0.08f) << "knob " << (int)knob.r << " over " << (int)bg.r;
    EXPECT_TRUE(draw_probe(&fx, x, 60 + 7, kKnob)) << "the unmuted row's knob is whole";
}

TEST_F(PanelDrawTest, TheSceneHighlightSitsUnderTheActiveSceneAndTheBusMetersShowTheirLevels)
{
    FakeRig rig(4);
    rig.view.active_scene = 2;
    rig.meters.bus[0] = 0.5f;
    rig.meters.bus[1] = 0.25f;
    open(&rig);
    EXPECT_TRUE(draw_probe(&fx, 12 + 96 + 2, 6, kKnob)) << "scene 3's button";
    EXPECT_FALSE(draw_probe(&fx, 12 + 2, 6, kKnob)) << "scene 1's button";
    // Master strip 8 below the 142-unit list: bars at +12 and +28 across x 88..368.
    float strip = 56 + 142 + 8, x0 = 88, w = 280;
    for (int ch = 0; ch < 2; ch++) {
        float level = ch == 0 ? 0.5f : 0.25f;
        int y = (int)strip + 12 + 16 * ch + 4;
        EXPECT_GT(draw_fixture_pixel(&fx, (int)(x0 + w * level) - 3, y).r, 200) << ch;
        EXPECT_LT(draw_fixture_pixel(&fx, (int)(x0 + w * level) + 3, y).r, 100) << ch;
    }
}

TEST_F(PanelDrawTest, TheStatusLineInksItsBoxInItsColourAndStatesArePictured)
{
    struct Shot {
        const char* name;
        int state;
        uint8_t fallback, save_failed;
        DrawPixel ink;
    };
    const Shot shots[] = {
        {"loading", RIG_STATE_LOADING, 1, 0, {242, 242, 242, 255}},
        {"read-only", RIG_STATE_READ_ONLY, 0, 0, {242, 242, 242, 255}},
        {"save-failed", RIG_STATE_READY, 0, 1, {0, 0, 0, 0}},
    };
    for (const Shot& s : shots) {
        SCOPED_TRACE(s.name);
        FakeRig rig(4);
        rig.view.state = s.state;
        rig.view.fallback = s.fallback;
        rig.view.save_failed = s.save_failed;
        snprintf(rig.view.save_message, sizeof rig.view.save_message, "THE DISK IS FULL");
        rig.no_doc = s.state == RIG_STATE_LOADING;
        draw_fixture_clear(&fx, 0, 0, 0);
        open(&rig);
        float strip = 56 + 142 + 8 + 52;
        DrawPixel want = s.ink;
        if (s.save_failed)
            want = DrawPixel{(uint8_t)(pal.c[10][0] * 255 + 0.5f), (uint8_t)(pal.c[10][1] * 255 + 0.5f),
                             (uint8_t)(pal.c[10][2] * 255 + 0.5f), 255};
        EXPECT_TRUE(draw_box_has(&fx, 8, (int)strip, 420, (int)strip + 36, want)) << "ink of the line's colour";
        shot(s.name);
        inputs_panel_destroy(panel);
        panel = nullptr;
    }
}

DrawPixel opaque(const float* c) { return draw_pixel_rgb(c[0] * 255 + 0.5f, c[1] * 255 + 0.5f, c[2] * 255 + 0.5f); }

TEST_F(PanelDrawTest, SceneNumbersStandAtY30AndTheHeaderGlyphsDissolveWithTheBody)
{
    FakeRig rig(4);
    open(&rig);
    // Scene 2's "2" in the accent colour stands in rows 30 to 36.
    EXPECT_TRUE(draw_box_has(&fx, 78, 30, 86, 31, opaque(pal.c[8])));
    EXPECT_FALSE(draw_box_has(&fx, 78, 37, 86, 42, opaque(pal.c[8])));
    // 0.17 s into closing the header layer is gone but "⏏" shows through the body's dither.
    inputs_panel_close(panel, now);
    now += 0.17 - 1.0 / 60.0;
    draw_fixture_clear(&fx, 0, 0, 0);
    draw();
    read();
    shot("closing");
    EXPECT_TRUE(draw_box_has(&fx, 210, 14, 228, 34, opaque(pal.c[4]))) << "eject";
    EXPECT_FALSE(draw_box_has(&fx, 232, 8, 300, 22, opaque(pal.c[3]))) << "the device name is in the header layer";
}

TEST_F(PanelDrawTest, TheEjectGlyphBlinksByASweepingClipWhileTheRigLoads)
{
    FakeRig rig(4);
    rig.view.state = RIG_STATE_LOADING, rig.view.fallback = 1, rig.no_doc = true;
    make(&rig, nullptr, &pal);
    // The left half a quarter into the 0.9 s period, then the right; with reduced motion the whole.
    const struct { double phase; uint8_t reduced; bool left, right; } cases[] = {
        {0.25, 0, true, false}, {0.75, 0, false, true}, {0.25, 1, true, true}};
    for (const auto& k : cases) {
        SCOPED_TRACE(k.phase + k.reduced);
        frame.reduced_motion = k.reduced;
        now = 9 * 0.9 + k.phase * 0.9 - 1.0 / 60.0;
        draw_fixture_clear(&fx, 0, 0, 0);
        draw();
        read();
        EXPECT_EQ(draw_box_has(&fx, 211, 14, 217, 34, opaque(pal.c[4])), k.left);
        EXPECT_EQ(draw_box_has(&fx, 221, 14, 227, 34, opaque(pal.c[4])), k.right);
    }
}

// ---- The status line's rules ---------------------------------------------------------

const char* label_of(void* ctx, int input)
{
    return ((RigDocument*)ctx)->scenes[0].inputs[input].label;
}

// One row of the status line's table: the view's flags, the pointer, then the line.
struct StatusCase {
    const char* what;
    int state;          // RigLoadState
    const char* flags;  // f fallback, b store busy, s save failed, d on defaults, a all muted,
                        // h input 4 hot, m mismatch, o fewer opened, p save pending,
                        // w another writer 1 s ago, W ... 2.5 s ago, c input 1 clipped, u input 1
                        // muted, v bus over
    int kind, index;    // hovered (or with a drag kind below 0: dragged) item
    float pan;          // input 1's pan
    const char* text;
    int colour;
};

TEST(InputsStatusLine, EachRuleInItsPlace)
{
    const char* minus3 = "3 \xC2\xB7 VOX \xC2\xB7 \xE2\x88\x92" "3.0 DB";
    const StatusCase cases[] = {
        {"another writer within 2.5 s", 2, "w", IPH_MUTE, 2, 0, "\xE2\x9C\xA7 CHANGED IN TESSEL PRO", 3},
        {"another writer 2.5 s ago: the hover", 2, "W", IPH_MUTE, 2, 0, minus3, 3},
        {"a gain drag hides the writer", 2, "w", -2, 2, 0, minus3, 3},
        {"pan", 2, "", IPH_PAN, 0, -0.35f, "1 \xC2\xB7 PAN L 35", 3},
        {"pan near the centre", 2, "", IPH_PAN, 0, 0.004f, "1 \xC2\xB7 PAN C", 3},
        {"a muted input", 2, "u", IPH_FADER, 0, 0, "1 \xC2\xB7 MUTED", 3},
        {"a clipped lamp", 2, "cu", IPH_LAMP, 0, 0, "1 \xC2\xB7 CLIPPED", 3},
        {"the bus", 2, "v", IPH_MASTER_FADER, -1, 0, "BUS \xC2\xB7 0.0 DB \xC2\xB7 OVER", 3},
        {"read only", 3, "spd", 0, -1, 0, "\xE2\x96\xA0 READ ONLY - MADE BY A NEWER APP", 3},
        {"save failed", 2, "sd", 0, -1, 0, "\xE2\x9C\x97 COULDN'T SAVE - RETRYING", 10},
        {"unreadable", 2, "da", 0, -1, 0, "CAN'T READ THE RIG FILE - CHANGES STAY IN THIS SESSION", 10},
        {"loading on the fallback", 1, "fb", 0, -1, 0, "\xE2\x97\x8C LOADING RIG - PLAYING 1-2 MEANWHILE", 3},
        {"loading, store busy", 1, "b", 0, -1, 0, "\xE2\x97\x8C LOADING RIG\xE2\x80\xA6", 4},
        {"no interface", 0, "a", 0, -1, 0, "\xE2\x97\x8C NO INTERFACE", 4},
        {"all muted", 2, "ahmop", 0, -1, 0, "ALL INPUTS MUTED - NOTHING WILL RECORD", 9},
        {"signal while muted", 2, "hmop", 0, -1, 0, "INPUT 4 HAS SIGNAL - IT'S MUTED", 10},
        {"mismatch", 2, "mop", 0, -1, 0, "RIG DOESN'T MATCH THE STREAM", 10},
        {"fewer opened", 2, "op", 0, -1, 0, "ONLY 4 OF 8 INPUTS OPENED", 10},
        {"saving", 2, "p", 0, -1, 0, "\xE2\x9C\xA6 SAVING\xE2\x80\xA6", 3},
        {"nothing to say", 2, "", 0, -1, 0, "", -1},
    };
    for (const StatusCase& c : cases) {
        SCOPED_TRACE(c.what);
        rigkit::Doc doc = rigkit::fresh_doc("jack:Desk", 4);
        RigScene& sc = doc->scenes[0];
        for (int i = 0; i < 4; i++)
            sc.inputs[i].muted = 0;
        sc.inputs[2].gain = rig_db_to_gain(-3.04f);
        sc.inputs[0].pan = c.pan;
        sc.inputs[0].muted = strchr(c.flags, 'u') != nullptr;
        snprintf(sc.inputs[2].label, 64, "vox");
        InputsStatusInput in{};
        RigInputView& v = in.view;
        auto has = [&](char f) { return strchr(c.flags, f) != nullptr; };
        v.state = c.state;
        v.inputs_opened = 4;
        v.inputs_on_device = has('o') ? 8 : 4;
        v.fallback = has('f'), v.store_busy = has('b'), v.save_failed = has('s'), v.on_defaults = has('d');
        v.no_live_input = has('a'), v.mismatch = has('m'), v.save_pending = has('p');
        v.hot_input = has('h') ? 3 : -1;
        v.other_writer_at = has('w') ? 9.0 : has('W') ? 7.5 : -1;
        snprintf(v.other_writer, sizeof v.other_writer, "tessel pro");
        snprintf(v.api, sizeof v.api, "jack");
        in.any_clip[0] = has('c');
        in.bus_over = has('v');
        in.hovering = c.kind > 0;
        in.hover_kind = c.kind;
        in.hover_index = c.index;
        in.drag_kind = c.kind < 0 ? -c.kind : 0;
        in.drag_input = c.index;
        in.doc = doc.get();
        in.now = 10.0;
        in.label = label_of;
        in.label_ctx = doc.get();
        char out[400];
        EXPECT_EQ(inputs_status_line(&in, out, sizeof out), c.colour);
        EXPECT_STREQ(out, c.text);
    }
}

}  // namespace
