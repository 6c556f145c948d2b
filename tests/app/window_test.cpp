// The window's own title strip and resize borders, the base rectangle and the window
// widening for side panels, and the panel slides, as pure functions.
#include <gtest/gtest.h>

#include <vector>

#include "app/panels/main/app_draw.h"
#include "app/app_state.h"
#include "app/frame_pace.h"
#include "app/window.h"
#include "ui/drawkit.h"

namespace {

const int W = 620, H = 1010;

int hit(int x, int y, const WindowHitRects* rects = nullptr, bool fullscreen = false)
{
    return window_hit_classify(W, H, fullscreen, rects, x, y);
}

// ---------------------------------------------------------------------------
// Hit test
// ---------------------------------------------------------------------------

TEST(WindowHitTest, CornersComeBeforeEdgesAndEdgesAreSixPixelsWide)
{
    EXPECT_EQ(hit(0, 0), WINDOW_HIT_TOP_LEFT);
    EXPECT_EQ(hit(5, 5), WINDOW_HIT_TOP_LEFT);
    EXPECT_EQ(hit(W - 1, 0), WINDOW_HIT_TOP_RIGHT);
    EXPECT_EQ(hit(W - 6, 5), WINDOW_HIT_TOP_RIGHT);
    EXPECT_EQ(hit(0, H - 1), WINDOW_HIT_BOTTOM_LEFT);
    EXPECT_EQ(hit(W - 1, H - 1), WINDOW_HIT_BOTTOM_RIGHT);

    EXPECT_EQ(hit(300, 0), WINDOW_HIT_TOP);
    EXPECT_EQ(hit(300, 5), WINDOW_HIT_TOP);
    EXPECT_EQ(hit(300, H - 6), WINDOW_HIT_BOTTOM);
    EXPECT_EQ(hit(0, 500), WINDOW_HIT_LEFT);
    EXPECT_EQ(hit(W - 6, 500), WINDOW_HIT_RIGHT);
    // One pixel further in is inside the window.
    EXPECT_EQ(hit(6, 500), WINDOW_HIT_NORMAL);
    EXPECT_EQ(hit(W - 7, 500), WINDOW_HIT_NORMAL);
    EXPECT_EQ(hit(300, H - 7), WINDOW_HIT_NORMAL);
}

TEST(WindowHitTest, TheDragStripIsTheTop48PixelsLessTheRightmost84)
{
    EXPECT_EQ(hit(300, 6), WINDOW_HIT_DRAG);
    EXPECT_EQ(hit(300, 47), WINDOW_HIT_DRAG);
    EXPECT_EQ(hit(300, 48), WINDOW_HIT_NORMAL);
    EXPECT_EQ(hit(W - 85, 20), WINDOW_HIT_DRAG);
    EXPECT_EQ(hit(W - 84, 20), WINDOW_HIT_NORMAL);   // the window buttons' corner
}

TEST(WindowHitTest, FullscreenIsNormalEverywhere)
{
    EXPECT_EQ(hit(0, 0, nullptr, true), WINDOW_HIT_NORMAL);
    EXPECT_EQ(hit(300, 20, nullptr, true), WINDOW_HIT_NORMAL);
    EXPECT_EQ(hit(W - 1, H - 1, nullptr, true), WINDOW_HIT_NORMAL);
}

TEST(WindowHitTest, ControlsInTheStripStayClickableWithHalfOpenBounds)
{
    WindowHitRects rects{};
    rects.library_switch = HitRect{10, 10, 30, 30};
    rects.new_session = HitRect{80, 10, 30, 30};
    rects.video_switch = HitRect{460, 10, 30, 30};
    rects.logo = HitRect{200, 8, 100, 36};
    EXPECT_EQ(hit(10, 10, &rects), WINDOW_HIT_NORMAL);
    EXPECT_EQ(hit(39, 39, &rects), WINDOW_HIT_NORMAL);
    EXPECT_EQ(hit(40, 20, &rects), WINDOW_HIT_DRAG);   // x + width is outside
    EXPECT_EQ(hit(20, 40, &rects), WINDOW_HIT_DRAG);
    EXPECT_EQ(hit(90, 20, &rects), WINDOW_HIT_NORMAL);
    EXPECT_EQ(hit(470, 20, &rects), WINDOW_HIT_NORMAL);
    EXPECT_EQ(hit(250, 20, &rects), WINDOW_HIT_NORMAL);
    EXPECT_EQ(hit(150, 20, &rects), WINDOW_HIT_DRAG);
    // The borders still win over a rectangle that reaches them.
    rects.library_switch = HitRect{0, 0, 60, 40};
    EXPECT_EQ(hit(2, 2, &rects), WINDOW_HIT_TOP_LEFT);
    // ... but not over a panel's control reaching into them.
    rects.border_controls[0] = HitRect{400, 900, W - 400 + 2.0f, 30};
    EXPECT_EQ(hit(W - 1, 910, &rects), WINDOW_HIT_NORMAL);
    EXPECT_EQ(hit(W - 1, 930, &rects), WINDOW_HIT_RIGHT);

    // An open side panel's strip is its own (a panel is all of the window's height).
    rects.library_panel = HitRect{120, 0, 180, (float)H};
    EXPECT_EQ(hit(150, 20, &rects), WINDOW_HIT_NORMAL);
}

TEST(WindowHitTest, RectanglesFollowTheKitsScaleAndOriginAndTheShownPanels)
{
    static AppState app;
    app = AppState{};
    app_layout_write(&app);
    app.logo_rect = HitRect{200, 10, 100, 40};
    DrawKit kit{};
    kit.scale = 0.5f;
    kit.offset_x = 300.0f;   // a library panel open to the left
    kit.offset_y = 5.0f;
    kit.translate_x = 7.0f;  // the screen shake does not move the window's rectangles
    kit.window_h = 540;

    WindowHitRects r = window_hit_rects_from(&app, &kit);
    EXPECT_FLOAT_EQ(r.library_switch.x, 12 * 0.5f + 300);
    EXPECT_FLOAT_EQ(r.library_switch.y, 12 * 0.5f + 5);
    EXPECT_FLOAT_EQ(r.library_switch.w, 18.0f);
    EXPECT_FLOAT_EQ(r.logo.x, 400.0f);
    EXPECT_FLOAT_EQ(r.library_panel.w, 0.0f);
    EXPECT_FLOAT_EQ(r.video_panel.w, 0.0f);

    app.library_shown = 1;
    app.library_x = -600.0f;
    app.video_shown = 1;
    r = window_hit_rects_from(&app, &kit);
    EXPECT_FLOAT_EQ(r.library_panel.x, 0.0f);
    EXPECT_FLOAT_EQ(r.library_panel.y, 0.0f);
    EXPECT_FLOAT_EQ(r.library_panel.w, 300.0f);
    EXPECT_FLOAT_EQ(r.library_panel.h, 540.0f);
    EXPECT_FLOAT_EQ(r.video_panel.x, 640 * 0.5f + 300);
    EXPECT_FLOAT_EQ(r.video_panel.w, 260.0f);
    // The trim bar (handles' grab included) beats the border only while it takes clicks.
    EXPECT_FLOAT_EQ(r.border_controls[0].w, 0.0f);
    app.video_x = 640.0f, app.video_ready = 1, app.video_duration = 4.0;
    r = window_hit_rects_from(&app, &kit);
    EXPECT_FLOAT_EQ(r.border_controls[0].x + r.border_controls[0].w, 1154 * 0.5f + 300);
}

// ---------------------------------------------------------------------------
// Base rectangle and widening
// ---------------------------------------------------------------------------

TEST(WindowBase, SideWidthsAreRoundedHalfUpBeforeTheyComeOff)
{
    WindowBaseRect r = window_base_from(100, 1000, 10.5f, 20.4f, 0.9f);
    EXPECT_EQ(r.x, 111);
    EXPECT_EQ(r.width, 1000 - 20 - 11);
    EXPECT_FLOAT_EQ(r.scale, 0.9f);
    r = window_base_from(-40, 620, 0.0f, 0.0f, 0.935f);
    EXPECT_EQ(r.x, -40);
    EXPECT_EQ(r.width, 620);
}

TEST(WindowBase, PanelsWidenTheWindowToTheLeftAndRightOfTheBase)
{
    WindowBaseRect base{620, 330, 0.935f};
    int32_t x = 0, w = 0;
    // The library: 600 units at 0.935 = 561 pixels to the left.
    ASSERT_TRUE(window_panels_target(&base, 600.0f, 0.0f, 330, 620, &x, &w));
    EXPECT_EQ(w, 620 + 561);
    EXPECT_EQ(x, 330 - 561);
    // Already there: nothing to do.
    EXPECT_FALSE(window_panels_target(&base, 600.0f, 0.0f, 330 - 561, 620 + 561, &x, &w));
    // The video panel only widens to the right.
    ASSERT_TRUE(window_panels_target(&base, 0.0f, 520.0f, 330, 620, &x, &w));
    EXPECT_EQ(x, 330);
    EXPECT_EQ(w, 620 + 486);   // 486.2 rounds down
    // Closed panels give the base back.
    ASSERT_TRUE(window_panels_target(&base, 0.0f, 0.0f, 0, 1500, &x, &w));
    EXPECT_EQ(x, 330);
    EXPECT_EQ(w, 620);
}

TEST(WindowPointer, TheSourceThatChangedLastIsFollowed)
{
    // {event x, y (0: none), global x, y, ms, wanted x, y}: a global value that stays still never wins.
    const struct { int ex, ey, gx, gy; uint32_t ms; int x, y; } steps[] = {
        {0, 0, 740, 680, 100, 740, 680}, {100, 120, 740, 680, 116, 100, 120}, {0, 0, 740, 680, 148, 100, 120},
        {0, 0, 900, 20, 164, 900, 20}, {300, 310, 900, 20, 196, 300, 310}};
    PointerTrack t{};
    for (const auto& s : steps) {
        if (s.ex)
            pointer_track_event(&t, s.ex, s.ey, s.ms - 1);
        int x = -1, y = -1;
        pointer_track_pick(&t, s.gx, s.gy, s.ms, &x, &y);
        EXPECT_EQ(std::make_pair(x, y), std::make_pair(s.x, s.y)) << "at " << s.ms;
    }
}

// ---------------------------------------------------------------------------
// Slides
// ---------------------------------------------------------------------------

TEST(WindowSlides, AStepIsDtOverTheSlideTimeClampedToTheEnds)
{
    EXPECT_FLOAT_EQ(slide_step(0.0f, true, 0.018f), 0.1f);
    EXPECT_FLOAT_EQ(slide_step(0.5f, false, 0.018f), 0.4f);
    EXPECT_FLOAT_EQ(slide_step(0.95f, true, 0.05f), 1.0f);
    EXPECT_FLOAT_EQ(slide_step(0.05f, false, 0.05f), 0.0f);
    // About ten frames at 60 per second open a panel fully.
    float s = 0.0f;
    int frames = 0;
    while (s < 1.0f && frames < 100) {
        s = slide_step(s, true, 1.0f / 60.0f);
        frames++;
    }
    EXPECT_EQ(frames, 11);
}

TEST(WindowSlides, EasingIsSmoothstep)
{
    EXPECT_FLOAT_EQ(slide_ease(0.0f), 0.0f);
    EXPECT_FLOAT_EQ(slide_ease(0.25f), 0.15625f);
    EXPECT_FLOAT_EQ(slide_ease(0.5f), 0.5f);
    EXPECT_FLOAT_EQ(slide_ease(0.75f), 0.84375f);
    EXPECT_FLOAT_EQ(slide_ease(1.0f), 1.0f);
}

TEST(WindowSlides, WidthsAndTheLibraryPlaceFollowTheEasedSlides)
{
    PanelSlides s{};
    PanelWidths w{};
    // Nothing open, nothing moving: the window is left alone.
    EXPECT_FALSE(window_slides_step(&s, false, false, false, 0.016f, &w));
    EXPECT_FLOAT_EQ(w.left, 0.0f);
    EXPECT_FLOAT_EQ(w.right, 0.0f);
    EXPECT_FLOAT_EQ(w.library_x, -600.0f);

    // Half way: each panel is half of its width (smoothstep(0.5) = 0.5).
    EXPECT_TRUE(window_slides_step(&s, true, true, true, 0.09f, &w));
    EXPECT_FLOAT_EQ(s.library, 0.5f);
    EXPECT_FLOAT_EQ(w.left, 0.5f * 600 + 0.5f * 440);
    EXPECT_FLOAT_EQ(w.right, 0.5f * 520);
    // The library sits left of the inputs panel.
    EXPECT_FLOAT_EQ(w.library_x, -0.5f * 440 - 600);

    EXPECT_TRUE(window_slides_step(&s, true, true, true, 0.09f, &w));
    EXPECT_FLOAT_EQ(w.left, 1040.0f);
    EXPECT_FLOAT_EQ(w.library_x, -1040.0f);
    // At their ends: the step after reports no movement.
    EXPECT_FALSE(window_slides_step(&s, true, true, true, 0.016f, &w));

    // Closing the inputs panel only: the library slides back against the main view.
    EXPECT_TRUE(window_slides_step(&s, false, true, true, 0.18f, &w));
    EXPECT_FLOAT_EQ(w.left, 600.0f);
    EXPECT_FLOAT_EQ(w.library_x, -600.0f);
}

// Frame pacing at 60 Hz: each frame's start when frames take busy(i) seconds and wait as asked.
template <class Busy>
std::vector<double> paced_starts(int frames, Busy busy)
{
    FramePace pace;
    frame_pace_init(&pace, 60);
    std::vector<double> starts{100.0};
    for (int i = 0; i + 1 < frames; i++) {
        double presented = starts.back() + busy(i);
        starts.push_back(presented + frame_pace_after_present(&pace, starts.back(), presented));
    }
    return starts;
}

TEST(FramePace, TheRateComesFromTheDisplayAndSixtyWhenItDoesNotSay)
{
    for (double hz : {144.0, 0.0, -5.0, 5000.0}) {
        FramePace p;
        frame_pace_init(&p, hz);
        EXPECT_DOUBLE_EQ(p.period, hz == 144 ? 1 / 144.0 : 1 / 60.0) << hz;
    }
}

TEST(FramePace, QuickPresentsArePacedOntoTheRefreshGridAndHeldOnesAreLeftAlone)
{
    const struct { double busy; bool paced; } cases[] = {{0.002, true}, {0.011, true}, {0.0158, true}, {1 / 60.0, false}, {0.030, false}};
    for (const auto& c : cases) {
        std::vector<double> s = paced_starts(40, [&](int) { return c.busy; });
        for (int i = FRAME_PACE_WINDOW + 1; i < 40; i++)
            EXPECT_NEAR(s[i] - s[i - 1], c.paced ? 1 / 60.0 : c.busy, 1e-9) << c.busy << " frame " << i;
    }
}

TEST(FramePace, AnOverrunStartsAFreshGridAndVsyncThatStartsHoldingEndsThePause)
{
    // Quick frames, one that takes 50 ms, quick again, then presents held by vsync.
    std::vector<double> s = paced_starts(60, [](int i) { return i == 20 ? 0.050 : i < 40 ? 0.002 : 1 / 60.0; });
    EXPECT_NEAR(s[21] - s[20], 0.050, 1e-9);         // no pause after the long frame
    EXPECT_NEAR(s[22] - s[21], 1 / 60.0, 1e-9);      // the grid starts again from it
    EXPECT_NEAR(s[59] - s[58], 1 / 60.0, 1e-9);      // held: the present's own wait only
}

}  // namespace
