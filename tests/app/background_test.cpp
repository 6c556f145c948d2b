// The frame's first and last layers on the GL renderer: the dot field (every square
// submitted, its bucket colours), the bottom glow, the reduced-motion clock and its
// desktop setting, the logo with and without a canvas, the window buttons and border,
// and a picture of the whole background.
#include <SDL.h>
#include <sys/stat.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app/panels/main/app_draw.h"
#include "app/panels/background.h"
#include "app/panels/main/view.h"
#include "platform/plat_motion.h"
#include "support/draw_probe.h"
#include "tests/app/app_test.h"
#include "ui/backdrop.h"
#include "ui/canvas.h"
#include "ui/drawkit.h"
#include "ui/text.h"

namespace {

namespace fs = std::filesystem;

const DrawPixel kKnown = draw_pixel_rgb(40, 60, 80);

// The fake clock and setting: a millisecond counter and a switch that counts its reads.
uint64_t g_ticks = 0;
bool g_animations = true;
int g_reads = 0;
const BackdropClockSource kFake = {[] { return g_ticks; }, []() -> uint64_t { return 1000; },
                                   [] { return g_reads++, g_animations; }};

class BackgroundTest : public DrawTest {
protected:
    explicit BackgroundTest(int32_t w = 640, int32_t h = 1080) : DrawTest(w, h) {}
    Engine* e = engine_instance();
    AppState* app = app_instance();
    DrawKit kit{};

    void SetUp() override
    {
        DrawTest::SetUp();
        if (HasFatalFailure())
            return;
        ASSERT_TRUE(app_test_engine_start(e));
        app_init(app, e, ".");
        ASSERT_TRUE(draw_init(&kit, fx.renderer));
        draw_frame_layout(&kit, width, height);
        g_ticks = 0, g_animations = true, g_reads = 0;
        background_set_clock_source(&kFake);
    }
    void TearDown() override
    {
        background_set_clock_source(nullptr);
        text_renderer_destroy(app->text);
        canvas_destroy(app->canvas);
        app->text = nullptr;
        app->canvas = nullptr;
        draw_shutdown(&kit);
        app_test_engine_stop(e);
        DrawTest::TearDown();
    }
    bool make_canvas()
    {
        app->canvas = canvas_create(fx.renderer);
        app->text = app->canvas ? text_renderer_create(fx.renderer) : nullptr;
        return app->text != nullptr;
    }
};

class BackgroundTall : public BackgroundTest {
protected:
    BackgroundTall() : BackgroundTest(620, 1010) {}
};

}  // namespace

TEST_F(BackgroundTest, EveryDotOfALargeWindowIsSubmittedInSilence)
{
    // In silence nearly every dot lands in the dimmest bucket; a bucket of 512 used to
    // drop the rest and leave the bottom of the window bare.
    EXPECT_EQ(background_draw_dots(fx.renderer, 1920, 1080, 0.0f, 0.0, false), 966);
}

TEST_F(BackgroundTest, DotColoursComeFromTheirBucketAndTurnRedWhileRecording)
{
    struct Case {
        float level;
        bool recording;
    } cases[] = {{0, false}, {0, true}, {1, false}, {1, true}};
    for (const Case& k : cases) {
        draw_fixture_clear(&fx, 0, 0, 0);
        background_draw_dots(fx.renderer, 640, 1080, k.level, 0.0, k.recording);
        read();
        float size = (std::sin(0.011f * 23) * std::cos(0.013f * 23) * 0.5f + 0.5f) * (0.9f * k.level + 0.12f) + 0.14f;
        int v = 16 * std::min(3, (int)(4 * size)) + 14;
        DrawPixel want = k.recording ? draw_pixel_rgb(v + 8, v / 3, v / 2) : draw_pixel_rgb(v, v / 4, v / 2 + 4);
        EXPECT_TRUE(draw_probe(&fx, 23, 23, want, 1)) << k.level << " " << k.recording;
    }
}

TEST_F(BackgroundTest, ThreeGlowBandsRiseFromTheBottom)
{
    // In silence the bands are 32.4, 59.4 and 86.4 pixels high.
    const DrawPixel pink = draw_pixel_rgb(255, 0, 128), red = draw_pixel_rgb(235, 66, 77);
    auto stack = [](DrawPixel c, int from) {
        DrawPixel p = draw_pixel_rgb(0, 0, 0);
        for (int i = from; i < 3; i++)
            p = draw_expect_add(p, DrawPixel{c.r, c.g, c.b, (uint8_t)(10 - 3 * i)});
        return p;
    };
    struct Case {
        bool recording;
        int y, from;   // the lowest band covering row y
    } cases[] = {{false, 1075, 0}, {false, 1035, 1}, {false, 1010, 2}, {true, 1075, 0}, {false, 990, 3}};
    for (const Case& k : cases) {
        draw_fixture_clear(&fx, 0, 0, 0);
        background_draw_glow(fx.renderer, 640, 1080, 0.0f, k.recording);
        read();
        EXPECT_TRUE(draw_probe(&fx, 300, k.y, stack(k.recording ? red : pink, k.from), 1)) << k.y;
    }
}

TEST_F(BackgroundTest, ReducedMotionStopsTheClockWithinTwoSecondsAndReadsTheSettingSeldom)
{
    struct Step {
        uint64_t ms;
        bool setting;
        double clock;
        uint8_t reduced;
        int reads;
    } steps[] = {
        {0, true, 1.0, 0, 1},       {500, true, 1.5, 0, 1},    {600, false, 1.6, 0, 1},
        {1900, false, 2.9, 0, 1},   {2100, false, 0.0, 1, 2},  {3000, false, 0.0, 1, 2},
        {4000, true, 0.0, 1, 2},    {4200, true, 5.2, 0, 3},
    };
    for (const Step& s : steps) {
        g_ticks = s.ms;
        g_animations = s.setting;
        EXPECT_DOUBLE_EQ(background_backdrop_clock(app), s.clock) << s.ms;
        EXPECT_EQ(app->reduced_motion, s.reduced) << s.ms;
        EXPECT_EQ(g_reads, s.reads) << s.ms;
    }

    // The desktop setting: the variable, then GTK's settings file.
    char tmpl[] = "/tmp/tessel-motion-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    fs::path root = tmpl, ini = root / "gtk-3.0/settings.ini";
    fs::create_directories(ini.parent_path());
    const char* saved = getenv("XDG_CONFIG_HOME");
    std::string saved_config = saved ? saved : "";
    setenv("XDG_CONFIG_HOME", root.c_str(), 1);
    unsetenv("TESSEL_REDUCED_MOTION");
    struct Setting {
        const char* env;
        const char* file;   // null: no file; "fifo": a FIFO under the name
        bool on;
    } settings[] = {
        {nullptr, nullptr, true},
        {nullptr, "[Settings]\ngtk-enable-animations=false\n", false},
        {nullptr, "[Settings]\n\ngtk-enable-animations = 0\n", false},
        {"1", "[Settings]\ngtk-enable-animations=true\n", false},
        {nullptr, "fifo", true},
    };
    for (const Setting& s : settings) {
        fs::remove(ini);
        if (s.env)
            setenv("TESSEL_REDUCED_MOTION", s.env, 1);
        else
            unsetenv("TESSEL_REDUCED_MOTION");
        if (s.file && std::string(s.file) == "fifo")
            ASSERT_EQ(mkfifo(ini.c_str(), 0600), 0);
        else if (s.file)
            std::ofstream(ini) << s.file;
        EXPECT_EQ(plat_animations_enabled(), s.on) << (s.env ? s.env : "-") << " " << (s.file ? s.file : "-");
    }
    unsetenv("TESSEL_REDUCED_MOTION");
    // Only the first 64 KiB are read; the file is read again only when its stamp changed.
    fs::remove(ini);
    std::ofstream(ini) << std::string(70000, '#') << "\ngtk-enable-animations=false\n";
    EXPECT_TRUE(plat_animations_enabled());
    std::ofstream(ini) << "gtk-enable-animations=false\n";
    EXPECT_FALSE(plat_animations_enabled());
    auto written = fs::last_write_time(ini);
    std::ofstream(ini) << "gtk-enable-animations=true \n";
    fs::last_write_time(ini, written);
    EXPECT_FALSE(plat_animations_enabled());
    fs::last_write_time(ini, written + std::chrono::seconds(1));
    EXPECT_TRUE(plat_animations_enabled());
    saved ? setenv("XDG_CONFIG_HOME", saved_config.c_str(), 1) : unsetenv("XDG_CONFIG_HOME");
    fs::remove_all(root);
}

TEST_F(BackgroundTest, TheCanvasLogoTakesItsColourFromTheLevel)
{
    ASSERT_TRUE(make_canvas());
    struct Case {
        float v;
        DrawPixel ink;
    } cases[] = {{0.0f, draw_pixel_rgb(255, 27, 142)}, {1.0f, draw_pixel_rgb(255, 196, 226)}};
    for (const Case& k : cases) {
        app->out_level.value = k.v;
        draw_fixture_clear(&fx, 0, 0, 0);
        view_logo(app, &kit);
        read();
        const HitRect r = app->logo_rect;
        EXPECT_TRUE(r.y == 6.0f && r.h > 30.0f);
        float w = r.w - 30.0f - 69.6f;
        // Fully covered pixels of "TESSEL", away from the glow of "VIVID".
        int full = 0, off = 0;
        for (int y = 6; y < (int)(6 + r.h); y++)
            for (int x = (int)r.x + 10; x < (int)(r.x + 10 + w - 16); x++) {
                DrawPixel p = draw_fixture_pixel(&fx, x, y);
                if (p.r < 255)
                    continue;
                full++;
                off += std::abs(p.g - k.ink.g) > 2 || std::abs(p.b - k.ink.b) > 2;
            }
        EXPECT_GT(full, 100) << k.v;
        EXPECT_EQ(off, 0) << k.v;
    }
}

TEST_F(BackgroundTest, WithoutACanvasTheLogoFallsBackAndWhitensOnlyAboveTwoHundredths)
{
    auto logo = [&](float v) {
        app->out_level.value = v;
        draw_fixture_clear(&fx, 0, 0, 0);
        view_logo(app, &kit);
        read();
        std::vector<DrawPixel> px;
        for (int y = 18; y < 65; y++)
            for (int x = 183; x < 458; x++)
                px.push_back(draw_fixture_pixel(&fx, x, y));
        return px;
    };
    auto differ = [](const std::vector<DrawPixel>& a, const std::vector<DrawPixel>& b) {
        int most = 0;
        for (size_t i = 0; i < a.size(); i++)
            most = std::max({most, std::abs(a[i].r - b[i].r), std::abs(a[i].g - b[i].g), std::abs(a[i].b - b[i].b)});
        return most;
    };
    // The glow grows with the level too, by a hair between these three.
    std::vector<DrawPixel> below = logo(0.0199f), edge = logo(0.02f), above = logo(0.0201f);
    const HitRect r = app->logo_rect;
    EXPECT_TRUE(std::fabs(r.x - 182.7f) < 1e-4f && r.y == 18.0f && std::fabs(r.w - 274.6f) < 1e-4f && r.h == 47.0f);
    EXPECT_LE(differ(below, edge), 1);
    EXPECT_GE(differ(edge, above), 3);
}

TEST_F(BackgroundTest, TheWindowButtonsFillOnHoverAndTheBorderIsBlendedPink)
{
    struct Case {
        float hover;
        uint8_t fill_alpha;
        DrawPixel glyph;
    } cases[] = {{1.0f, 190, draw_pixel_rgb(13, 17, 17)}, {0.4f, 76, draw_pixel_rgb(148, 148, 148)}};
    for (const Case& k : cases) {
        app->window_button_hover[0] = 0.0f;
        app->window_button_hover[1] = k.hover;
        draw_fixture_clear(&fx, kKnown.r, kKnown.g, kKnown.b);
        view_window_chrome(app, &kit);
        read();
        shot(k.hover > 0.5f ? "hover" : "half");
        const HitRect* b = app->window_buttons;
        EXPECT_TRUE(b[0].x == 560 && b[1].x == 600 && b[1].y == 6 && b[1].w == 34 && b[1].h == 26);
        DrawPixel fill = draw_expect_blend(kKnown, DrawPixel{235, 66, 77, k.fill_alpha});
        EXPECT_TRUE(draw_probe(&fx, 604, 10, fill));
        EXPECT_TRUE(draw_probe(&fx, 617, 19, k.glyph));        // where the cross's strokes meet
    }
    const DrawPixel border = draw_expect_blend(kKnown, DrawPixel{121, 9, 66, 200});
    EXPECT_TRUE(draw_probe(&fx, 0, 540, border));
    // SDL ends an outline one pixel short of x + w and y + h: the right and bottom
    // edges lie one pixel inside the window.
    EXPECT_TRUE(draw_probe(&fx, 638, 540, border));
    EXPECT_TRUE(draw_probe(&fx, 1, 540, kKnown));
}

// Windows from a 1024 x 600 screen's up, the video panel open or not: the window buttons
// lie right of the video switch, at full size from the start window's scale up.
TEST_F(BackgroundTest, TheWindowButtonsStayClearOfTheVideoSwitchAtEverySize)
{
    struct Case {
        int32_t w, h;
        float right;   // units of the open video panel
        bool full;
    } cases[] = {{368, 590, 0, false}, {652, 590, 520, false}, {460, 740, 0, false}, {140, 240, 0, false},
                 {620, 1010, 0, true},  {640, 1080, 0, true},   {1400, 800, 0, false}, {3840, 2160, 520, true}};
    app_layout_write(app);
    for (const Case& c : cases) {
        kit.right_w = c.right;
        draw_frame_layout(&kit, c.w, c.h);
        view_window_chrome(app, &kit);
        const HitRect& sw = app->layout.video_switch;
        float right = 0.0f, bottom = 0.0f;
        draw_map_point(&kit, sw.x + sw.w, sw.y + sw.h, &right, &bottom);
        const HitRect* b = app->window_buttons;
        EXPECT_LT(right, b[0].x) << c.w << " x " << c.h;
        EXPECT_EQ(b[1].x + b[1].w, c.w - 6.0f) << c.w << " x " << c.h;
        EXPECT_EQ(b[0].w == 34.0f && b[0].h == 26.0f, c.full) << c.w << " x " << c.h << ": " << b[0].w;
    }
}

TEST_F(BackgroundTall, PictureOfTheWholeBackground)
{
    ASSERT_TRUE(make_canvas());
    backdrop_reset();
    backdrop_init(app->backdrop_stars);
    backdrop_default_colors(app->backdrop_colours);
    app->smoothed_level = 0.4f;
    for (int f = 0; f < 30; f++) {
        g_ticks = 300000 + f * 16;
        view_background(app, &kit, 300.0 + f / 60.0);
    }
    read();
    shot();
    // Every grid dot lifts the red; the glow rises from the bottom edge.
    auto px = [&](int x, int y) { return draw_fixture_pixel(&fx, x, y); };
    int dots = 0, lifted = 0;
    long red = 0;   // the bottom 20 rows against 20 rows 140 above them
    for (int y = 23; y < height; y += 46)
        for (int x = 23; x < width; x += 46, dots++)
            lifted += px(x, y).r >= px(x + 23 < width ? x + 23 : x - 23, y).r + 8;
    for (int i = 0; i < 20 * width; i++)
        red += px(i % width, height - 20 + i / width).r - px(i % width, height - 160 + i / width).r;
    EXPECT_GE(lifted, dots - 4);
    EXPECT_GT(red, 12L * 20 * width);
}
