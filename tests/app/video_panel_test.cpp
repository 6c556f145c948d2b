// The video panel: trim bookkeeping, the shown time, the trim release, the remove
// button, a later open beating an earlier one; and its painter on the GL renderer at
// 1160 x 1080 (one unit per pixel with the panel open) with real files playing.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "app/app_events.h"
#include "app/settings.h"
#include "app/video_panel.h"
#include "app/video_player.h"
#include "app/view.h"
#include "app/window.h"
#include "support/video_fixtures.h"
#include "tests/app/view_draw_probe.h"

namespace {

using Clock = std::chrono::steady_clock;

struct TrimCase {
    bool restored;
    double in, out, duration;
    double want_in, want_out;
};

TEST(VideoPanelTrim, TheDurationSettlesTheTrimOncePerOpening)
{
    const TrimCase cases[] = {
        {true, 12.5, 20, 15, 12.5, 15},   // kept, cut to the video
        {true, 30, 40, 15, 0, 15},        // beyond it: in falls back to 0
        {true, 5, 3, 15, 0, 15},          // no stretch: the whole video
        {false, 12.5, 20, 15, 0, 15},     // a fresh video: the whole of it
        {false, 0, 0, 600, 0, 360},       // ... at most 360 s
    };
    for (const TrimCase& c : cases) {
        AppState app{};
        app.video_trim_restored = c.restored;
        app.video_in = c.in;
        app.video_out = c.out;
        video_panel_take_duration(&app, c.duration);
        EXPECT_EQ(app.video_in, c.want_in) << c.in << ".." << c.out << " of " << c.duration;
        EXPECT_EQ(app.video_out, c.want_out) << c.in << ".." << c.out << " of " << c.duration;
        EXPECT_EQ(app.video_trim_restored, 0);
        EXPECT_EQ(app.video_ready, 1);
    }
}

TEST(VideoPanelTrim, HandlesKeepTheStretchBetweenAQuarterSecondAndSixMinutes)
{
    struct {
        int handle;
        double in, out;
        float x;
        double want;
    } cases[] = {
        {1, 100, 200, 1150, 199.75},   // in dragged past out
        {2, 100, 200, 1150, 460},      // out dragged 500 s past in
        {2, 100, 200, 640, 100.25},    // out dragged before in
        {1, 100, 500, 650, 140},       // in dragged to the start, 360 s before out
        {1, 100, 200, 775, 150},       // a quarter of the track
    };
    for (const auto& c : cases) {
        AppState app{};
        app.video_x = 640;
        app.video_duration = 600;
        app.video_in = c.in;
        app.video_out = c.out;
        app.video_trim_handle = c.handle;
        video_panel_trim_drag(&app, c.x);
        EXPECT_DOUBLE_EQ(c.handle == 1 ? app.video_in : app.video_out, c.want) << "handle " << c.handle << " to " << c.x;
    }
}

class VideoPanelTest : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        app->video_player = video_player_create();
        ASSERT_NE(app->video_player, nullptr);
    }
};

TEST_F(VideoPanelTest, TheShownTimeWrapsFollowsTheDraggedHandleAndKeepsTimeWithoutARate)
{
    struct {
        double in, out, position, rate;
        int dragged;
        double want;
    } cases[] = {
        {2, 5, 7.5 * 48000, 48000, 0, 3.5},    // 7.5 s into the loop: the third pass, 1.5 s in
        {2, 5, 7.5 * 48000, 0, 0, 3.5},        // no rate: timed at 48,000
        {2, 5, 7.5 * 44100, 44100, 0, 3.5},
        {2, 5, 1000, 48000, 1, 2},             // the in handle dragged
        {2, 5, 1000, 48000, 2, 5},             // the out handle dragged
        {4, 4, 96000, 48000, 0, 4},            // no stretch
    };
    for (const auto& c : cases) {
        app->video_in = c.in;
        app->video_out = c.out;
        e->position.store((int32_t)c.position);
        e->sample_rate = c.rate;
        app->drag_mode = c.dragged ? DRAG_VIDEO_TRIM : DRAG_NONE;
        app->video_trim_handle = c.dragged;
        video_panel_update(app);
        EXPECT_NEAR(app->video_shown_time, c.want, 1e-9) << c.position << " at " << c.rate;
    }
    app->drag_mode = DRAG_NONE;
}

TEST_F(VideoPanelTest, ReleaseSetsTheLoopItCanHoldAndRemoveForgetsThePath)
{
    app->video_ready = 1;
    app->video_duration = 600;
    app->video_in = 0;
    app->video_out = 360;
    e->sample_rate = 96000;
    app->drag_mode = DRAG_VIDEO_TRIM;
    EXPECT_EQ(video_panel_trim_frames(app), 34560000);
    app_handle_release(app);
    EXPECT_EQ(e->length_request.load(), (int32_t)ENGINE_LOOP_CAPACITY);
    EXPECT_STREQ(app->toasts[(app->toast_next + APP_TOASTS - 1) % APP_TOASTS].text, "LOOP 180.00 S");
    app->video_out = 1.0 / 3;
    e->sample_rate = 44100;
    EXPECT_EQ(video_panel_trim_frames(app), 14700);

    app->video_shown = 1;
    app->video_x = 640;
    std::strcpy(app->video_path, "/v/clip.mp4");
    app->video_rects[APP_VIDEO_REMOVE] = HitRect{740, 14, 32, 32};
    app_handle_click(app, 750, 20, 1, 1);
    char text[APP_SETTINGS_TEXT];
    settings_format(app, text, sizeof text);
    EXPECT_EQ(std::strstr(text, "vidpath"), nullptr);
}

// An open asked while the worker still opens an earlier file: the panel ends with the
// later file's duration and trim, and never sees the earlier one's answer.
TEST_F(VideoPanelTest, ALaterOpenWinsOverOneStillOpening)
{
    std::string dir = video_fixture_dir();
    if (dir.empty())
        GTEST_SKIP() << "no ffmpeg";
    for (int round = 0; round < 5; round++) {
        video_panel_open(app, (dir + "/h264.mp4").c_str(), false);
        std::this_thread::sleep_for(std::chrono::microseconds(300 * round));
        video_panel_open(app, (dir + "/mpeg4.avi").c_str(), false);
        auto until = Clock::now() + std::chrono::seconds(5);
        bool failed = false;   // the cut-short first open must not answer either
        while (!app->video_ready && Clock::now() < until) {
            video_panel_update(app);
            failed = failed || video_player_state(app->video_player) == VIDEO_FAILED;
        }
        EXPECT_FALSE(failed) << "round " << round;
        EXPECT_NEAR(app->video_duration, 3.0, 0.04) << "round " << round;
        EXPECT_EQ(app->video_in, 0.0);
        EXPECT_NEAR(app->video_out, 3.0, 0.04);
    }
}

// ---------------------------------------------------------------------------
// The painter
// ---------------------------------------------------------------------------

class VideoPanelView : public MainViewTest {
protected:
    VideoPanelView() : MainViewTest(1160) {}
    std::string dir;

    void SetUp() override
    {
        MainViewTest::SetUp();
        if (HasFatalFailure())
            return;
        kit.right_w = WINDOW_VIDEO_UNITS;
        draw_frame_layout(&kit, 1160, 1080);
        app->video_open = app->video_shown = 1;
        app->video_x = APP_MAIN_VIEW_WIDTH;
        dir = video_fixture_dir();
    }
    void TearDown() override
    {
        app_reset_textures(app);
        video_player_destroy(app->video_player);
        app->video_player = nullptr;
        MainViewTest::TearDown();
    }
    void draw_part() override
    {
        draw_fixture_clear(&fx, 0, 0, 0);
        view_video_panel(app, &kit);
        read();
    }
    void draw() { draw_part(); }
    // Draws until the texture's frame has been still for 150 ms.
    void draw_settled()
    {
        uint32_t last = 0;
        auto still = Clock::now(), until = Clock::now() + std::chrono::seconds(10);
        while (Clock::now() < until && Clock::now() - still < std::chrono::milliseconds(150)) {
            draw();
            if (app->video_texture_serial != last || !app->video_ready)
                still = Clock::now();
            last = app->video_texture_serial;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    // The strip read from the screen, with the picture of fw x fh turned q quarter turns.
    int32_t screen_strip(int32_t fw, int32_t fh, int q)
    {
        auto mean = [&](double x, double y) {
            DrawPixel p = draw_fixture_pixel(&fx, (int)x, (int)y);
            return (p.r + p.g + p.b) / 3.0;
        };
        return video_strip_read_panel(mean, fw, fh, q);
    }
    bool has_text_colour(uint32_t colour)
    {
        return draw_box_has(&fx, 650, 495, 1150, 512, pix(colour));
    }
};

TEST_F(VideoPanelView, StatesShowTheirWords)
{
    if (dir.empty())
        GTEST_SKIP() << "no ffmpeg";
    draw();
    shot("drop");
    EXPECT_TRUE(has_text_colour(VIEW_MUTED)) << "DROP A VIDEO";
    EXPECT_EQ(app->video_rects[APP_VIDEO_REMOVE].w, 0.0f) << "no remove button without a path";

    // Opening: caught right after the request, before the worker answers.
    app->ui_time = 0.5;   // the runner at 150 x fmod(0.45, 1) along its track
    bool caught = false;
    for (int i = 0; i < 20 && !caught; i++) {
        video_panel_open(app, (dir + "/ffv1.mkv").c_str(), false);
        draw();
        // The runner on its track, where a picture would otherwise be.
        caught = draw_probe(&fx, 650 + 150 + 67 + 25, 530, pix(VIEW_MAGENTA)) &&
                 draw_probe(&fx, 650 + 150 + 30, 530, pix(VIEW_BACKGROUND)) && has_text_colour(VIEW_BRIGHT);
    }
    EXPECT_TRUE(caught) << "OPENING... with its runner";
    shot("opening");

    video_panel_open(app, (dir + "/text.mp4").c_str(), false);
    auto until = Clock::now() + std::chrono::seconds(5);
    while (video_player_state(app->video_player) != VIDEO_FAILED && Clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    draw();
    shot("failed");
    EXPECT_TRUE(has_text_colour(VIEW_RED)) << "CAN'T PLAY THAT";
    EXPECT_TRUE(draw_box_has(&fx, 740, 14, 772, 46, pix(VIEW_BRIGHT))) << "the remove button's cross";
}

// Each file is marked to be turned; the strip lies where the turn puts it.
TEST_F(VideoPanelView, ThePictureIsFittedAndTurnedByItsRotation)
{
    if (dir.empty())
        GTEST_SKIP() << "no ffmpeg";
    const std::pair<const char*, int> cases[] = {
        {"h264.mp4", 0}, {"rot270.mp4", 1}, {"rot180.mp4", 2}, {"rot90.mp4", 3}};
    for (const auto& [name, q] : cases) {
        video_panel_open(app, (dir + "/" + name).c_str(), false);
        e->position.store((int32_t)(48000 * 37.5 / 30));
        draw_settled();
        shot(name);
        EXPECT_EQ(app->video_rotation, q * 90) << name;
        EXPECT_EQ(screen_strip(640, 360, q), 37) << name;
    }
}

// After the renderer's textures are dropped, a paused video is drawn again whole.
TEST_F(VideoPanelView, APausedPictureSurvivesATextureReset)
{
    if (dir.empty())
        GTEST_SKIP() << "no ffmpeg";
    video_panel_open(app, (dir + "/ffv1.mkv").c_str(), false);
    e->position.store((int32_t)(48000 * 20.5 / 30));
    draw_settled();
    ASSERT_EQ(screen_strip(320, 180, 0), 20);
    app_reset_textures(app);
    draw();
    EXPECT_EQ(screen_strip(320, 180, 0), 20);
}

TEST_F(VideoPanelView, TheTrimBarShowsTheRangeTheMarkerAndTheHandles)
{
    if (dir.empty())
        GTEST_SKIP() << "no ffmpeg";
    video_panel_open(app, (dir + "/h264.mp4").c_str(), false);
    draw_settled();
    ASSERT_TRUE(app->video_ready);
    app->video_in = 1.0;
    app->video_out = 3.0;
    e->position.store(48000);   // shown: 2 s
    draw();
    shot("trim");
    // In at x 775, out at 1025, the marker at 900 (x0 650, 500 units for 4 s).
    EXPECT_TRUE(draw_probe(&fx, 775, 1000, pix(VIEW_BRIGHT)));
    EXPECT_TRUE(draw_probe(&fx, 780, 968, pix(VIEW_BRIGHT)));    // its tab points right
    EXPECT_TRUE(draw_probe(&fx, 1024, 1000, pix(VIEW_BRIGHT)));
    EXPECT_TRUE(draw_probe(&fx, 1019, 968, pix(VIEW_BRIGHT)));   // ... and out's left
    EXPECT_TRUE(draw_probe(&fx, 900, 990, pix(VIEW_LIGHT_TEAL)));
    EXPECT_TRUE(draw_probe(&fx, 850, 990, pix(color_lerp(VIEW_BACKGROUND, VIEW_MAGENTA, 0.42f))));
    EXPECT_FALSE(draw_box_has(&fx, 651, 975, 770, 1012, pix(color_lerp(VIEW_BACKGROUND, VIEW_MAGENTA, 0.42f))));

    app->drag_mode = DRAG_VIDEO_TRIM;
    app->video_trim_handle = 2;
    draw();
    shot("dragging");
    EXPECT_TRUE(draw_probe(&fx, 1024, 1000, pix(draw_rgba(255, 107, 184, 255))));
    EXPECT_TRUE(draw_probe(&fx, 850, 990, pix(color_lerp(VIEW_BACKGROUND, VIEW_MAGENTA, 0.6f))));
    app->drag_mode = DRAG_NONE;
}

}  // namespace
