// The video panel: trim bookkeeping and handles, the shown time, the trim release, the
// remove button, a later open beating an earlier one; and its painter on the GL
// renderer at 1160 x 1080 (one unit per pixel with the panel open) playing real files.
#include <chrono>
#include <cmath>
#include <cstring>
#include <string>
#include <thread>

#include <SDL.h>

#include "app/app_events.h"
#include "app/settings.h"
#include "app/video_panel.h"
#include "app/video_player.h"
#include "app/panels/main/view.h"
#include "app/window.h"
#include "support/video_fixtures.h"
#include "tests/app/view_draw_probe.h"
#include "ui/canvas.h"
#include "ui/text.h"

namespace {

using Clock = std::chrono::steady_clock;

TEST(VideoPanelTrim, TheDurationSettlesTheTrimAndTheHandlesKeepItsLimits)
{
    // restored, in, out, duration -> in, out
    const double settle[][6] = {
        {1, 12.5, 20, 15, 12.5, 15},   // kept, cut to the video
        {1, 30, 40, 15, 0, 15},        // beyond it: the whole video
        {0, 0, 0, 600, 0, 360},        // a fresh 10-minute video: 360 s
    };
    for (const auto& c : settle) {
        AppState app{};
        app.video_trim_restored = (uint8_t)c[0];
        app.video_in = c[1];
        app.video_out = c[2];
        video_panel_take_duration(&app, c[3]);
        EXPECT_EQ(app.video_in, c[4]) << c[1] << ".." << c[2] << " of " << c[3];
        EXPECT_EQ(app.video_out, c[5]) << c[1] << ".." << c[2] << " of " << c[3];
        EXPECT_EQ(app.video_trim_restored + app.video_ready, 1);
    }
    // handle, in, out, mouse x -> the handle's time, on a 600-s video
    const double drags[][5] = {
        {1, 100, 200, 1150, 199.75},   // in dragged past out stops 0.25 s before it
        {2, 100, 200, 1150, 460},      // out stops 360 s after in
        {1, 100, 200, 775, 150},       // a quarter of the track
    };
    for (const auto& c : drags) {
        AppState app{};
        app.video_x = 640;
        app.video_duration = 600;
        app.video_in = c[1];
        app.video_out = c[2];
        app.video_trim_handle = (int32_t)c[0];
        video_panel_trim_drag(&app, (float)c[3]);
        EXPECT_DOUBLE_EQ(c[0] == 1 ? app.video_in : app.video_out, c[4]) << "handle " << c[0] << " to " << c[3];
    }
}

class VideoPanelTest : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        ASSERT_NE(app->video_player = video_player_create(), nullptr);
    }
};

TEST_F(VideoPanelTest, TheShownTimeWrapsFollowsTheDraggedHandleAndKeepsTimeWithoutARate)
{
    // in, out, loop position, rate, dragged handle -> shown time
    const double cases[][6] = {
        {2, 5, 7.5 * 48000, 48000, 0, 3.5},   // the third pass, 1.5 s in
        {2, 5, 7.5 * 48000, 0, 0, 3.5},       // no rate: timed at 48,000
        {2, 5, 1000, 48000, 1, 2},            // the in handle dragged
        {2, 5, 1000, 48000, 2, 5},            // the out handle dragged
    };
    for (const auto& c : cases) {
        app->video_in = c[0];
        app->video_out = c[1];
        e->position.store((int32_t)c[2]);
        e->sample_rate = c[3];
        app->drag_mode = c[4] ? DRAG_VIDEO_TRIM : DRAG_NONE;
        app->video_trim_handle = (int32_t)c[4];
        video_panel_update(app);
        EXPECT_NEAR(app->video_shown_time, c[5], 1e-9) << c[2] << " at " << c[3];
    }
    app->drag_mode = DRAG_NONE;
}

// The loop holds at most 360 s at 48 kHz: at 96 kHz a 360-s trim gets 180 s, and the
// toast says so.
TEST_F(VideoPanelTest, ReleaseSetsTheLoopItCanHoldAndRemoveForgetsThePath)
{
    app->video_ready = 1;
    app->video_out = 360;
    e->sample_rate = 96000;
    app->drag_mode = DRAG_VIDEO_TRIM;
    EXPECT_EQ(video_panel_trim_frames(app), 34560000);
    app_handle_release(app);
    EXPECT_EQ(e->length_request.load(), (int32_t)ENGINE_LOOP_CAPACITY);
    EXPECT_STREQ(app->toasts[(app->toast_next + APP_TOASTS - 1) % APP_TOASTS].text, "LOOP 180.00 S");
    app->video_out = 1.0 / 3;
    e->sample_rate = 44100;
    EXPECT_EQ(video_panel_trim_frames(app), 14700);   // trunc(14700 + 0.5)

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
        bool failed = false;
        for (auto until = Clock::now() + std::chrono::seconds(60); !app->video_ready && Clock::now() < until;) {
            video_panel_update(app);
            failed = failed || video_player_state(app->video_player) == VIDEO_FAILED;
        }
        ASSERT_TRUE(app->video_ready || failed) << "round " << round << ": not ready within a minute";
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
    std::string dir = video_fixture_dir();

    void SetUp() override
    {
        MainViewTest::SetUp();
        if (dir.empty())
            GTEST_SKIP() << "no ffmpeg";
        kit.right_w = WINDOW_VIDEO_UNITS;
        draw_frame_layout(&kit, 1160, 1080);
        app->video_open = app->video_shown = 1;
        app->video_x = APP_MAIN_VIEW_WIDTH;
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
    // Opens a file and draws until the player has failed or its picture for the shown
    // time is in the texture.
    void play(const char* name, double loop_seconds)
    {
        video_panel_open(app, (dir + "/" + name).c_str(), false);
        e->position.store((int32_t)(48000 * loop_seconds));
        std::string why;
        if (!video_panel_wait_served(app, [this] { draw_part(); }, &why) &&
            video_player_state(app->video_player) != VIDEO_FAILED)
            ADD_FAILURE() << name << ": " << why;
    }
    int32_t screen_strip(int32_t fw, int32_t fh, int q)
    {
        return video_strip_read_panel([&](double x, double y) {
            DrawPixel p = draw_fixture_pixel(&fx, (int)x, (int)y);
            return (p.r + p.g + p.b) / 3.0;
        }, fw, fh, q);
    }
    bool words_in(uint32_t colour) { return draw_box_has(&fx, 650, 495, 1150, 512, pix(colour)); }
};

TEST_F(VideoPanelView, StatesShowTheirWords)
{
    draw_part();
    shot("drop");
    EXPECT_TRUE(words_in(VIEW_MUTED)) << "DROP A VIDEO";
    EXPECT_EQ(app->video_rects[APP_VIDEO_REMOVE].w, 0.0f) << "no remove button without a path";

    // Caught right after the request, before the worker answers: the runner at
    // 150 x fmod(0.9 x 0.5, 1) along its track, where a picture would otherwise be.
    app->ui_time = 0.5;
    bool caught = false;
    for (int i = 0; i < 20 && !caught; i++) {
        video_panel_open(app, (dir + "/ffv1.mkv").c_str(), false);
        draw_part();
        caught = draw_probe(&fx, 650 + 150 + 67 + 25, 530, pix(VIEW_MAGENTA)) &&
                 draw_probe(&fx, 650 + 150 + 30, 530, pix(VIEW_BACKGROUND)) && words_in(VIEW_BRIGHT);
    }
    shot("opening");
    EXPECT_TRUE(caught) << "OPENING... with its runner";

    play("text.mp4", 0);
    shot("failed");
    EXPECT_TRUE(words_in(VIEW_RED)) << "CAN'T PLAY THAT";
    EXPECT_TRUE(draw_box_has(&fx, 740, 14, 772, 46, pix(VIEW_BRIGHT))) << "the remove button's cross";
}

// The video's title at (784, 25) and a LOOPS row's name at (52, 104): names beyond
// ASCII through the text renderer (the title in capitals, cut after 26 characters), not
// a "?" per byte; names of ASCII alone in the 5 x 7 font as the kit draws it there.
TEST_F(VideoPanelView, NamesBeyondAsciiInTheTitleAndTheTakeRows)
{
    app->canvas = canvas_create(fx.renderer);
    app->text = text_renderer_create_in(fx.renderer, TESSEL_FONT_FOLDER);
    app->library_shown = 1, app->library_x = 0, app->take_count = 1;
    app->mouse_x = app->mouse_y = -100;
    auto box = [&](int x0, int y0, int x1, int y1) {
        std::string out;
        for (int y = y0; y <= y1; y++)
            out.append((const char*)fx.pixels->pixels + y * fx.pixels->pitch + 4 * x0, 4 * (size_t)(x1 - x0 + 1));
        return out;
    };
    auto frame = [&](const std::string& video, const std::string& take) {
        snprintf(app->video_path, sizeof app->video_path, "/v/%s", video.c_str());
        snprintf(app->takes[0].name, sizeof app->takes[0].name, "%s.wav", take.c_str());
        draw_part();
        view_library_strip(app, &kit, 0.0f);
        read();
    };
    auto title = [&](const std::string& video) { frame(video, " "); return box(780, 14, 1150, 50); };
    auto row = [&](const std::string& take) { frame("", take); return box(44, 94, 470, 126); };
    auto e_acute = [](int n) { std::string s; while (n-- > 0) s += "\xC3\xA9"; return s; };
    const std::string utf8 = "Gr\xC3\xBC\xC3\x9F" "e caf\xC3\xA9", q = "Gr????e caf??";   // Grüße café
    EXPECT_TRUE(title(utf8) != title("")) << "the title where it belongs";
    EXPECT_TRUE(title(utf8) == title("GR\xC3\x9C\xC3\x9F" "E CAF\xC3\x89")) << "the title in capitals";
    EXPECT_TRUE(title(utf8) != title(q)) << "the title";
    EXPECT_TRUE(title(e_acute(27)) == title(e_acute(26))) << "the title cut after 26 characters";
    EXPECT_TRUE(title(e_acute(26)) != title(e_acute(25))) << "the title cut after 26 characters";
    EXPECT_TRUE(row(utf8) != row(" ")) << "the row's name where it belongs";   // " .wav": a blank name
    EXPECT_TRUE(row(utf8) != row(q)) << "the row";
    const std::string ascii[] = {title("clip-1.mp4"), row("drums")};
    frame("", " ");
    draw_text(&kit, "CLIP-1.MP4", 784, 25, 1.4f, VIEW_MUTED);
    draw_text(&kit, "drums", 52, 104, 1.4f, VIEW_LIGHT);
    read();
    EXPECT_TRUE(ascii[0] == box(780, 14, 1150, 50)) << "the title in the pixel font";
    EXPECT_TRUE(ascii[1] == box(44, 94, 470, 126)) << "the row in the pixel font";
    text_renderer_destroy(std::exchange(app->text, nullptr));
    canvas_destroy(std::exchange(app->canvas, nullptr));
}

// Each file is marked to be turned; the strip lies where the turn puts it.
TEST_F(VideoPanelView, ThePictureIsFittedAndTurnedByItsRotation)
{
    for (auto [name, q] : {std::pair{"h264.mp4", 0}, {"rot270.mp4", 1}, {"rot180.mp4", 2}, {"rot90.mp4", 3}}) {
        play(name, 37.5 / 30);
        shot(name);
        EXPECT_EQ(app->video_rotation, q * 90) << name;
        EXPECT_EQ(screen_strip(640, 360, q), 37) << name;
    }
}

// After the renderer's textures are dropped, a paused video is drawn again whole.
TEST_F(VideoPanelView, APausedPictureSurvivesATextureReset)
{
    play("ffv1.mkv", 20.5 / 30);
    ASSERT_EQ(screen_strip(320, 180, 0), 20);
    app_reset_textures(app);
    draw_part();
    EXPECT_EQ(screen_strip(320, 180, 0), 20);
}

TEST_F(VideoPanelView, TheTrimBarShowsTheRangeTheMarkerAndTheHandles)
{
    play("h264.mp4", 1);
    ASSERT_TRUE(app->video_ready);
    app->video_in = 1.0;
    app->video_out = 3.0;
    draw_part();
    shot("trim");
    // In at x 775, out at 1025, the shown 2 s at 900 (x0 650, 500 units for 4 s).
    const uint32_t range = color_lerp(VIEW_BACKGROUND, VIEW_MAGENTA, 0.42f);
    EXPECT_TRUE(draw_probe(&fx, 775, 1000, pix(VIEW_BRIGHT)));
    EXPECT_TRUE(draw_probe(&fx, 780, 968, pix(VIEW_BRIGHT)));    // its tab points right
    EXPECT_TRUE(draw_probe(&fx, 1024, 1000, pix(VIEW_BRIGHT)));
    EXPECT_TRUE(draw_probe(&fx, 1019, 968, pix(VIEW_BRIGHT)));   // ... and out's left
    EXPECT_TRUE(draw_probe(&fx, 900, 990, pix(VIEW_LIGHT_TEAL)));
    EXPECT_TRUE(draw_probe(&fx, 850, 990, pix(range)));
    EXPECT_FALSE(draw_box_has(&fx, 651, 975, 770, 1012, pix(range)));

    app->drag_mode = DRAG_VIDEO_TRIM;
    app->video_trim_handle = 2;
    draw_part();
    shot("dragging");
    EXPECT_TRUE(draw_probe(&fx, 1024, 1000, pix(draw_rgba(255, 107, 184, 255))));
    EXPECT_TRUE(draw_probe(&fx, 850, 990, pix(color_lerp(VIEW_BACKGROUND, VIEW_MAGENTA, 0.6f))));
    app->drag_mode = DRAG_NONE;
}

}  // namespace
