// The loop display, transport pads and level sliders drawn on the GL renderer over an
// engine driven into known states through its callback: empty, recording the first
// take, a loop playing forward, reversed, and clipped input. Probes are taken from
// the three painters alone over the cleared background; each state also writes a
// picture of the whole main view to build/shots.
#include <cmath>
#include <cstring>
#include <vector>

#include "app/panels/main/app_draw.h"
#include "app/app_state.h"
#include "app/panels/main/view.h"
#include "app/panels/main/view_palette.h"
#include "support/draw_probe.h"
#include "tests/app/app_test.h"
#include "tests/app/view_draw_probe.h"
#include "ui/drawkit.h"

namespace {

const double kPi = 3.14159265358979;

class UpperView : public MainViewTest {
protected:
    // The display and slider fill, (23, 29, 29, 150), over the background.
    const DrawPixel well = draw_expect_blend(pix(VIEW_BACKGROUND), pix(VIEW_PANEL, 150));

    void SetUp() override
    {
        MainViewTest::SetUp();
        if (HasFatalFailure())
            return;
        app->ui_time = kPi / 8;   // the prompt at full strength
    }

    void run_callback(int frames, float level) { app_test_run_callback(e, frames, level); }
    // Records a first take of `frames` and stops recording: the take becomes the loop.
    void record_loop(int frames)
    {
        e->record.store(1);
        run_callback(frames, 0.25f);
        e->record.store(0);
        run_callback(128, 0.25f);
        ASSERT_EQ(e->length.load(), frames);
    }
    // No stream runs, so the test may place the play head itself.
    void seek(int32_t position) { e->position.store(position); }

    // The painters of the upper half in the main view's order, over the background.
    void draw_part() override { draw_upper(); }
    void draw_upper()
    {
        draw_fixture_clear(&fx, bg.r, bg.g, bg.b);
        view_gain_slider(app, &kit, app->layout.input_slider, &app->input_meter, "I", VIEW_LIGHT_TEAL,
                         app->input_clip, true);
        view_gain_slider(app, &kit, app->layout.output_slider, &app->output_meter, "O", VIEW_TEAL,
                         app->output_clip, false);
        view_loop_display(app, &kit);
        view_transport_pads(app, &kit);
        read();
    }

    bool box_has(int x0, int y0, int x1, int y1, DrawPixel want) { return draw_box_has(&fx, x0, y0, x1, y1, want); }
    std::vector<int> row_hits(int x0, int x1, int y, DrawPixel want) { return draw_row_hits(&fx, x0, x1, y, want); }
    // A column's centre pixel.
    int column_x(int i) { return (int)(42 + i * 556.0 / 180 + 1.0); }
};

// Pads (x 42, 193, 278, 363, 448; y 348..416): probe 12 units in from each pad's
// left edge, clear of the icons and of a lit neighbour's glow.
const int kPadProbeX[PAD_COUNT] = {54, 205, 290, 375, 460};
const int kPadProbeY = 358;

TEST_F(UpperView, AnEmptyEngineBreathesThePromptAndMarksTheRecordPad)
{
    draw_upper();
    picture("empty");

    // The prompt at full strength; elsewhere in the display only its fill.
    const DrawPixel prompt = pix(VIEW_MUTED);
    EXPECT_TRUE(box_has(212, 215, 428, 228, prompt));
    EXPECT_TRUE(draw_probe(&fx, 100, 150, well));
    // "MARK" under the record square while there is no loop; no length text.
    EXPECT_TRUE(box_has(100, 400, 134, 409, pix(VIEW_LIGHT)));
    EXPECT_FALSE(box_has(540, 100, 590, 112, draw_expect_blend(well, pix(VIEW_MUTED))));
    // The engine starts playing forward: only the forward pad is lit.
    EXPECT_TRUE(draw_probe(&fx, kPadProbeX[PAD_RECORD], kPadProbeY, pix(VIEW_PANEL)));
    EXPECT_TRUE(draw_probe(&fx, kPadProbeX[PAD_REVERSE], kPadProbeY, pix(VIEW_PANEL)));
    EXPECT_TRUE(draw_probe(&fx, kPadProbeX[PAD_STOP], kPadProbeY, pix(VIEW_PANEL)));
    EXPECT_TRUE(draw_probe(&fx, kPadProbeX[PAD_FORWARD], kPadProbeY, glowed(pix(VIEW_MAGENTA), VIEW_MAGENTA, 0.7f)));
    EXPECT_TRUE(draw_probe(&fx, kPadProbeX[PAD_HOLD_DUB], kPadProbeY, pix(VIEW_PANEL)));
    // The record square at rest: red at alpha 150 over the pad.
    EXPECT_TRUE(draw_probe(&fx, 117, 382, draw_expect_blend(pix(VIEW_PANEL), pix(VIEW_RED, 150))));

    // A quarter turn of the breath later the prompt is at a tenth.
    app->ui_time = 3 * kPi / 8;
    draw_upper();
    EXPECT_FALSE(box_has(212, 215, 428, 228, prompt));
    EXPECT_TRUE(box_has(212, 215, 428, 228, draw_expect_blend(well, pix(VIEW_MUTED, 25))));
}

TEST_F(UpperView, RecordingTheFirstTakePulsesTheRecordPadAndHoldsTheHeadAtTheRightEdge)
{
    e->record.store(1);
    run_callback(9600, 0.25f);
    ASSERT_EQ(e->length.load(), 0);
    ASSERT_EQ(e->position.load(), 9600);
    app->record_phase = 0.5f;   // the pulse at its height
    for (int i = 0; i < 180; i++) {
        app->overview_left[i] = 0.4f;    // 46 units up
        app->overview_right[i] = 0.2f;   // 23 down, and the white core 23 either side
    }
    draw_upper();
    picture("recording");

    // Body 32% of the way to red, under its glow at full intensity.
    EXPECT_TRUE(draw_probe(&fx, kPadProbeX[PAD_RECORD], kPadProbeY,
                           glowed(pix(draw_rgba(90, 40, 44, 255)), VIEW_RED, 1.0f)));
    // The square under its own glow (0.9) over the pad's.
    EXPECT_TRUE(draw_probe(&fx, 117, 382, glowed(pix(VIEW_RED), VIEW_RED, 0.9f)));
    // Still no loop: "MARK" stays and no length is shown.
    EXPECT_TRUE(box_has(100, 400, 134, 409, pix(VIEW_LIGHT)));
    // The head: a red bar just outside the display's right edge (its outline covers
    // the inner pixel), glowing at full intensity.
    EXPECT_TRUE(draw_probe(&fx, 598, 130, glowed(pix(VIEW_RED), VIEW_RED, 1.0f)));
    // Every column is behind the head: the bars are fully opaque.
    EXPECT_TRUE(draw_probe(&fx, column_x(20), 185, pix(VIEW_TEAL)));
    EXPECT_TRUE(draw_probe(&fx, column_x(150), 185, pix(VIEW_TEAL)));
}

TEST_F(UpperView, APlayingLoopShowsItsColumnsItsHeadAndItsLength)
{
    record_loop(24000);
    seek(12000);   // half way: the head at 42 + 278 = 320
    // Known shown overview: teal reaching 0.5 (57.5 units up), orange 0.25 (28.75
    // down); quiet around the head so its bar stands alone.
    for (int i = 0; i < 180; i++) {
        bool near_head = i >= 85 && i <= 95;
        app->overview_left[i] = near_head ? 0.0f : 0.5f;
        app->overview_right[i] = near_head ? 0.0f : 0.25f;
    }
    draw_upper();
    picture("forward");

    // The head's 2-unit bar covers pixels 319 and 320; its glow saturates it.
    EXPECT_EQ(row_hits(300, 340, 130, draw_pixel_rgb(255, 255, 255)), (std::vector<int>{319, 320}));

    // Column 30 is behind the head (opaque), column 150 ahead of it (alpha 90).
    const int played = column_x(30), ahead = column_x(150);
    // Ink 2 units inside each bar's end, none 2 units beyond it.
    EXPECT_TRUE(draw_probe(&fx, played, 165, pix(VIEW_TEAL)));
    EXPECT_TRUE(draw_probe(&fx, played, 161, well));
    EXPECT_TRUE(draw_probe(&fx, played, 247, draw_expect_add(pix(VIEW_ORANGE), pix(0xFFFFFFFFu, 95))));
    EXPECT_TRUE(draw_probe(&fx, played, 251, well));
    EXPECT_TRUE(draw_probe(&fx, ahead, 165, draw_expect_blend(well, pix(VIEW_TEAL, 90))));
    EXPECT_TRUE(draw_probe(&fx, ahead, 161, well));
    // Where both sides reach, the white core lies over them additively.
    DrawPixel ahead_teal = draw_expect_blend(well, pix(VIEW_TEAL, 90));
    EXPECT_TRUE(draw_probe(&fx, ahead, 200, draw_expect_add(ahead_teal, pix(0xFFFFFFFFu, 50))));
    EXPECT_TRUE(draw_probe(&fx, ahead, 190, ahead_teal));

    // Length in seconds at the top right; the prompt and "MARK" gone; forward lit.
    EXPECT_TRUE(box_has(560, 102, 592, 112, pix(VIEW_MUTED)));
    EXPECT_FALSE(box_has(212, 215, 428, 228, pix(VIEW_MUTED)));
    EXPECT_FALSE(box_has(100, 400, 134, 409, pix(VIEW_LIGHT)));
    EXPECT_TRUE(draw_probe(&fx, kPadProbeX[PAD_FORWARD], kPadProbeY, glowed(pix(VIEW_MAGENTA), VIEW_MAGENTA, 0.7f)));
    EXPECT_TRUE(draw_probe(&fx, kPadProbeX[PAD_REVERSE], kPadProbeY, pix(VIEW_PANEL)));
    EXPECT_TRUE(draw_probe(&fx, kPadProbeX[PAD_RECORD], kPadProbeY, pix(VIEW_PANEL)));

    // Hold-to-dub: its pad lights in its own orange and so does the head.
    app->hold_dub_held = 1;
    draw_upper();
    EXPECT_TRUE(draw_probe(&fx, kPadProbeX[PAD_HOLD_DUB], kPadProbeY,
                           glowed(pix(VIEW_HOLD_DUB), VIEW_HOLD_DUB, 0.9f)));
    EXPECT_TRUE(draw_probe(&fx, 319, 130, glowed(pix(VIEW_HOLD_DUB), VIEW_HOLD_DUB, 0.5f)));
}

TEST_F(UpperView, AReversedLoopLightsTheReversePadAndPlaysColumnsLeftOfTheHead)
{
    record_loop(24000);
    e->reversed.store(1);
    seek(6000);   // a quarter: the head at 42 + 139 = 181
    for (int i = 0; i < 180; i++) {
        bool near_head = i >= 40 && i <= 50;
        app->overview_left[i] = near_head ? 0.0f : 0.5f;
        app->overview_right[i] = near_head ? 0.0f : 0.25f;
    }
    draw_upper();
    picture("reversed");

    EXPECT_EQ(row_hits(160, 200, 130, draw_pixel_rgb(255, 255, 255)), (std::vector<int>{180, 181}));
    EXPECT_TRUE(draw_probe(&fx, kPadProbeX[PAD_REVERSE], kPadProbeY, glowed(pix(VIEW_ORANGE), VIEW_ORANGE, 0.7f)));
    EXPECT_TRUE(draw_probe(&fx, kPadProbeX[PAD_FORWARD], kPadProbeY, pix(VIEW_PANEL)));
    EXPECT_TRUE(draw_probe(&fx, kPadProbeX[PAD_STOP], kPadProbeY, pix(VIEW_PANEL)));
    // Columns left of the head count as played even though playback runs leftwards.
    EXPECT_TRUE(draw_probe(&fx, column_x(20), 165, pix(VIEW_TEAL)));
    EXPECT_TRUE(draw_probe(&fx, column_x(100), 165, draw_expect_blend(well, pix(VIEW_TEAL, 90))));

    // Stopped: no direction pad is lit.
    e->playing.store(0);
    draw_upper();
    EXPECT_TRUE(draw_probe(&fx, kPadProbeX[PAD_REVERSE], kPadProbeY, pix(VIEW_PANEL)));
    EXPECT_TRUE(draw_probe(&fx, kPadProbeX[PAD_FORWARD], kPadProbeY, pix(VIEW_PANEL)));
}

TEST_F(UpperView, ClippedInputLightsTheSliderTopOverAFullBar)
{
    record_loop(24000);
    run_callback(1280, 1.5f);   // input over full scale
    ASSERT_EQ(e->input_clip.load(), 1);
    // What the update makes of it: a full input meter and a lit clip light; the
    // output at half scale with its peak at 0.75.
    app->input_meter = Meter{1.0f, 1.0f, 0.0f};
    app->input_clip = 1.0f;
    app->output_meter = Meter{0.5f, 0.75f, 0.0f};
    e->gate_threshold.store(0.1f);   // -20 dB: the marker centred on y 202.7
    draw_upper();
    picture("clipped");

    // The clip band: 6 units of red at the top under its own glow.
    EXPECT_TRUE(draw_probe(&fx, 12, 99, glowed(pix(VIEW_RED), VIEW_RED, 1.0f)));
    EXPECT_TRUE(draw_probe(&fx, 619, 99, well));   // the output did not clip

    // A full input bar turns warm yellow at its top: at y 140 the gradient is 14%
    // of the way from (245, 214, 107, 255) to the slider colour at alpha 160.
    float v = (140.5f - 96) / 320;
    auto mix = [v](int top, int bottom) { return (uint8_t)std::lround(top + (bottom - top) * v); };
    DrawPixel hot{mix(245, 107), mix(214, 230), mix(107, 224), mix(255, 160)};
    EXPECT_TRUE(draw_probe(&fx, 21, 140, draw_expect_blend(well, hot)));

    // The output bar at 0.5 rises from 416 to 256 in teal, fading to alpha 160 at
    // the bottom; above it only the slider's fill. Its peak line sits at y 176.
    float w = (300.5f - 256) / 160;
    DrawPixel half = pix(VIEW_TEAL, (uint32_t)std::lround(255 + (160 - 255) * w));
    EXPECT_TRUE(draw_probe(&fx, 619, 300, draw_expect_blend(well, half)));
    EXPECT_TRUE(draw_probe(&fx, 619, 240, well));
    EXPECT_TRUE(draw_probe(&fx, 619, 176, pix(VIEW_LIGHT)));
    EXPECT_TRUE(draw_probe(&fx, 619, 179, well));

    // The gate marker stands 3 units out on either side of the input slider.
    EXPECT_TRUE(draw_probe(&fx, 6, 202, pix(VIEW_ORANGE)));
    EXPECT_TRUE(draw_probe(&fx, 6, 207, bg));
    EXPECT_FALSE(box_has(600, 190, 605, 215, pix(VIEW_ORANGE)));   // only the input has one
    e->gate_threshold.store(0.0f);
    draw_upper();
    EXPECT_TRUE(draw_probe(&fx, 6, 202, bg));
}

TEST_F(UpperView, DraggingTheGainShowsItLargeOverTheLoopDisplay)
{
    app->gain = 0.5f;
    draw_upper();
    // "-6.0" under the input slider in grey; nothing over the display.
    EXPECT_TRUE(box_has(8, 422, 34, 431, pix(VIEW_MUTED)));
    EXPECT_FALSE(box_has(180, 181, 460, 208, draw_expect_blend(well, pix(VIEW_LIGHT_TEAL, 230))));

    app->drag_mode = DRAG_GAIN;
    draw_upper();
    EXPECT_FALSE(box_has(8, 422, 34, 431, pix(VIEW_MUTED)));
    EXPECT_TRUE(box_has(8, 422, 34, 431, pix(VIEW_LIGHT_TEAL)));
    // "GAIN -6.0 DB" at scale 4: 284 units wide centred on 320, 28 high from 181.
    EXPECT_TRUE(box_has(178, 181, 183, 208, draw_expect_blend(well, pix(VIEW_LIGHT_TEAL, 230))));
    EXPECT_FALSE(box_has(300, 170, 340, 179, draw_expect_blend(well, pix(VIEW_LIGHT_TEAL, 230))));

    // Over a loop's bars the readout stays on top: the display, painted after the
    // sliders, neither dims nor hides it.
    record_loop(24000);
    for (int i = 0; i < 180; i++)
        app->overview_left[i] = 1.0f;
    draw_upper();
    picture("gain");
    DrawPixel bar = draw_expect_blend(well, pix(VIEW_TEAL, 90));
    EXPECT_TRUE(box_has(178, 181, 183, 208, draw_expect_blend(bar, pix(VIEW_LIGHT_TEAL, 230))));
}

}  // namespace
