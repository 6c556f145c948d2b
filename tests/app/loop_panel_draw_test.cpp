// The loop player panel on the GL renderer: its status texts, the progress bar, the
// bars of a grid with their waveform, numbers, play head and looped-bar lines, and the
// REPLACE target while a bar is dragged; pictures in build/shots.
#include <cstdlib>

#include "app/take_grid.h"
#include "app/window.h"
#include "app/panels/main/view.h"
#include "audio/preview.h"
#include "tests/app/view_draw_probe.h"
#include "tests/app/take_grid_kit.h"

namespace {

class LoopPanel : public MainViewTest {
protected:
    explicit LoopPanel(int32_t w = DRAW_REF_WIDTH) : MainViewTest(w) {}
    PreviewPlayer player;
    const float pps = 568 / 8.5f;
    const DrawPixel strip = draw_expect_blend(draw_expect_blend(bg, pix(VIEW_BACKGROUND, 150)),
                                              pix(VIEW_BACKGROUND, 120));

    void SetUp() override
    {
        MainViewTest::SetUp();
        preview_init(&player);
        app->library_shown = 1;
        app->library_x = 0;        // L = 0: the panel at 10..590
        app->mouse_x = app->mouse_y = -100;
    }
    void TearDown() override
    {
        take_grid_free(app);
        take_grid_free(app);
        app->preview = nullptr;
        preview_kit_empty(&player);
        MainViewTest::TearDown();
    }
    void draw_part() override
    {
        draw_fixture_clear(&fx, bg.r, bg.g, bg.b);
        view_loop_panel(app, &kit);
        read();
    }
    // An 8.5 s take at 1 kHz in the player at 120 BPM, one bar a segment, its grid a
    // beat late: a 0.5 s lead bar, four full bars. The envelope is 0.5 throughout.
    void grid()
    {
        take_grid_kit_load(app, &player);
        TakeGridState& st = app->take_grid;
        st.key = 9;
        st.envelope = (float*)std::malloc(100 * sizeof(float));
        for (int i = 0; i < 100; i++)
            st.envelope[i] = 0.5f;
        st.envelope_count = 100;
    }
    DrawPixel body(uint32_t colour, float t) { return pix(color_lerp(VIEW_BACKGROUND, colour, t)); }
    bool text_at(int x0, int x1, DrawPixel colour) { return draw_box_has(&fx, x0, 994, x1, 1006, colour); }
};

TEST_F(LoopPanel, StatusTextsAndTheProgressBarWhileAnalysing)
{
    draw_part();
    shot("nothing");
    EXPECT_TRUE(text_at(18, 160, pix(VIEW_MUTED)));          // NOTHING PLAYING
    EXPECT_TRUE(draw_probe(&fx, 300, 1050, strip));
    // The steppers left of "BARS" (27.6 units at scale 1.2).
    EXPECT_NEAR(app->player_rects.steppers[0].x, 304 - 16 - 27.6f - 44, 1e-3);

    // Analysing: "FINDING TEMPO..." and a bar of half the strip.
    static float samples[4];
    SampleBuffer fake{1, 1000.0, 4, samples};
    app->take_grid.buffer = &fake;
    app->take_grid.analysis.running = 1;
    app->take_grid.analysis.hops_total = 100;
    app->take_grid.analysis.hops_done = 50;
    draw_part();
    shot("analysing");
    EXPECT_TRUE(text_at(18, 160, pix(VIEW_LIGHT_TEAL)));
    EXPECT_TRUE(draw_probe(&fx, 16 + 280, 1035, pix(VIEW_LIGHT_TEAL)));
    EXPECT_FALSE(draw_probe(&fx, 16 + 288, 1035, pix(VIEW_LIGHT_TEAL)));
    app->take_grid.analysis = TempoAnalysis{};

    // Done: no tempo, then a tempo but a take too short for a grid.
    const struct {
        float bpm;
        int64_t frames;
        const char* text;
    } ends[] = {{0.0f, 4, "NO STEADY PULSE"}, {120.0f, 4, "TOO SHORT"}};
    for (const auto& c : ends) {
        app->take_grid.has_result = 1;
        app->take_grid.bpm = c.bpm;
        app->take_grid.frames = c.frames;
        app->take_grid.rate = 1000.0;
        draw_part();
        int right = 18 + (int)draw_text_width(c.text, 1.2f);
        EXPECT_TRUE(text_at(right - 6, right, pix(VIEW_MUTED))) << c.text;
        EXPECT_FALSE(text_at(right + 2, right + 80, pix(VIEW_MUTED))) << c.text;
        EXPECT_TRUE(draw_probe(&fx, 300, 1050, strip));       // no bars
    }
    app->take_grid.buffer = nullptr;
}

TEST_F(LoopPanel, BarsNumbersPlayHeadLoopedBarAndTheReplaceTarget)
{
    grid();
    preview_seek(&player, 3.25 / 8.5);        // in bar 2 (2.5..4.5 s)
    app->player_loop = 1;
    app->take_grid.region_set = 1;
    app->take_grid.region_start = 2.5;
    draw_part();
    shot("grid");
    EXPECT_TRUE(text_at(18, 160, pix(VIEW_BRIGHT)));           // "120.0 BPM  A MAJ"
    // Bodies below the waveform: the orange lead, odd and even bars, the playing one.
    EXPECT_TRUE(draw_probe(&fx, (int)(16 + 0.25 * pps), 1050, body(VIEW_ORANGE, 0.12f)));
    EXPECT_TRUE(draw_probe(&fx, (int)(16 + 1.5 * pps), 1050, body(VIEW_TEAL, 0.12f)));
    EXPECT_TRUE(draw_probe(&fx, (int)(16 + 3.9 * pps), 1050, body(VIEW_LIGHT_TEAL, 0.26f)));
    EXPECT_TRUE(draw_probe(&fx, (int)(16 + 5.5 * pps), 1050, body(VIEW_TEAL, 0.12f)));
    // Waveform columns 17 units high about y 1036 at alpha 170, 255 in the playing bar.
    int x5 = (int)(16 + 5.5 * pps);
    EXPECT_TRUE(draw_box_has(&fx, x5 - 3, 1036, x5 + 3, 1036,
                             draw_expect_blend(body(VIEW_TEAL, 0.12f), pix(VIEW_TEAL, 170))));
    EXPECT_TRUE(draw_box_has(&fx, (int)(16 + 3.9 * pps) - 3, 1030, (int)(16 + 3.9 * pps) + 3, 1030,
                             pix(VIEW_LIGHT_TEAL)));
    EXPECT_FALSE(draw_box_has(&fx, x5 - 3, 1026, x5 + 3, 1026, pix(VIEW_TEAL, 170)));
    // Numbers: 1 on the first full bar, none on the lead.
    EXPECT_TRUE(draw_box_has(&fx, (int)(16 + 0.5 * pps) + 4, 1017, (int)(16 + 0.5 * pps) + 12, 1024,
                             pix(VIEW_MUTED)));
    EXPECT_FALSE(draw_box_has(&fx, 17, 1017, (int)(16 + 0.5 * pps) - 2, 1024, pix(VIEW_MUTED)));
    EXPECT_TRUE(draw_box_has(&fx, (int)(16 + 2.5 * pps) + 4, 1017, (int)(16 + 2.5 * pps) + 12, 1024,
                             pix(VIEW_BRIGHT)));            // the playing bar's 2
    // The play head, 2 x 44, at S.x + 3.25 s.
    int hx = (int)(16 + 3.25 * pps);
    EXPECT_TRUE(draw_probe(&fx, hx + 1, 1050, pix(VIEW_BRIGHT)));
    EXPECT_TRUE(draw_probe(&fx, hx + 1, 1015, pix(VIEW_BRIGHT)));
    EXPECT_FALSE(draw_probe(&fx, hx + 4, 1050, pix(VIEW_BRIGHT)));
    // The looped bar's lines at 1014 and 1056 across bar 2 only.
    for (int y : {1014, 1015, 1056, 1057})
        EXPECT_TRUE(draw_probe(&fx, (int)(16 + 2.8 * pps), y, pix(VIEW_BRIGHT))) << y;
    EXPECT_FALSE(draw_probe(&fx, (int)(16 + 1.5 * pps), 1056, pix(VIEW_BRIGHT)));

    // A bar dragged over the main view: the REPLACE target and the chip.
    app->segment_press = 2;
    app->segment_press_index = 3;
    app->mouse_x = 300;
    app->mouse_y = 500;
    draw_part();
    shot("replace");
    EXPECT_TRUE(draw_probe(&fx, 60, 110, draw_expect_add(bg, pix(VIEW_LIGHT_TEAL, 40))));
    EXPECT_TRUE(draw_probe(&fx, 40, 200, pix(VIEW_LIGHT_TEAL)));   // the outline
    EXPECT_TRUE(draw_box_has(&fx, 250, 205, 390, 230, pix(VIEW_BRIGHT)));
    EXPECT_TRUE(draw_probe(&fx, 316, 512, body(VIEW_LIGHT_TEAL, 0.7f)));   // the chip
    EXPECT_TRUE(draw_probe(&fx, (int)(16 + 5.5 * pps), 1050, body(VIEW_TEAL, 0.5f)));   // the pressed bar
    // The whole view with the library closed: the panel and strip rectangles are zero.
    picture("whole");
    app->library_shown = 0;
    draw_fixture_clear(&fx, 0, 0, 0);
    app_draw(app, &kit, 1.0f / 60);
    EXPECT_EQ(app->player_rects.panel.w, 0);
    EXPECT_EQ(app->player_rects.strip.w, 0);
}

// With the library open, the row's labels are drawn wider than their units.
using LoopPanelInAWindow = InAWindow<LoopPanel>;

TEST_F(LoopPanelInAWindow, OutlinesKeepTheirEdgesAndLabelsTheirGaps)
{
    grid();
    app->segment_press = 2;      // a bar dragged over the main view: the REPLACE outline
    app->segment_press_index = 3;
    app->mouse_x = 300;
    app->mouse_y = 500;
    app->library_x = -WINDOW_LIBRARY_UNITS;
    kit.left_w = WINDOW_LIBRARY_UNITS;
    in_each_window([&](int h) {
        auto [y0, y1] = kit_pixels(994, 1006, kit.scale, kit.offset_y);
        auto blank_columns = [&](int x, int step) {   // next to x, holding no muted ink
            int n = 0;
            for (; x >= 0 && x < fx.width && !draw_box_has(&fx, x, y0, x, y1, pix(VIEW_MUTED)); x += step)
                n++;
            return n;
        };
        const AppPlayerRects& r = app->player_rects;
        for (const HitRect& s : {r.loop_switch, r.to_input_switch})
            EXPECT_TRUE(outline_lit(&fx, kit, s.x + 2, s.y + 3, 12, 12)) << h;
        EXPECT_TRUE(outline_lit(&fx, kit, 40, 96, 560, 250)) << h;
        // 30 units from "TO INPUT" to the LOOP box; 16 from the right stepper's icon to "BARS".
        int loop_box = kit_pixels(r.loop_switch.x + 2, r.loop_switch.x + 14, kit.scale, kit.offset_x).first;
        EXPECT_GE(blank_columns(loop_box - 1, -1), (int)(28 * kit.scale)) << h;
        const HitRect& s = r.steppers[1];
        int icon_end = kit_pixels(s.x + 12, s.x + 14, kit.scale, kit.offset_x).second;
        EXPECT_GE(blank_columns(icon_end + 1, 1), (int)(15 * kit.scale)) << h;
        // The status text ("120.0 BPM  A MAJ") keeps the gap a label keeps before the
        // steppers' icons (8 units; one is left for rounding).
        auto [x0, x1] = kit_pixels(r.steppers[0].x + 6 - 7, s.x + 14, kit.scale, kit.offset_x);
        EXPECT_FALSE(draw_box_has(&fx, x0, y0, x1, y1, pix(VIEW_BRIGHT))) << h;
    });
    // "NOTHING PLAYING" keeps that gap too.
    take_grid_free(app);
    in_each_window([&](int h) {
        auto [y0, y1] = kit_pixels(994, 1006, kit.scale, kit.offset_y);
        const HitRect& s = app->player_rects.steppers[0];
        auto [x0, x1] = kit_pixels(s.x + 6 - 7, s.x + 6, kit.scale, kit.offset_x);
        EXPECT_FALSE(draw_box_has(&fx, x0, y0, x1 - 1, y1, pix(VIEW_MUTED))) << h;
    });
}

} // namespace
