// The keys help: labels to keys, synthetic chords, the lit-key table, cap widths, the
// layout at both column counts, key opacity, the dither fill against a per-cell brute
// force, the opening reveal and pictures of the panel.
#include <SDL.h>

#include <cmath>
#include <random>
#include <set>
#include <vector>

#include "app/keys_help.h"
#include "ui/keyboard_caps.h"
#include "app/panels/keys_help_view.h"
#include "support/draw_probe.h"
#include "ui/canvas.h"
#include "ui/dither.h"
#include "ui/text.h"

namespace {

// The held-key seam: the keys and modifiers the test says are down.
std::set<int32_t> g_held_keys;
uint16_t g_held_mods = 0;
bool held_fake(int32_t key, uint16_t mods)
{
    return (key && g_held_keys.count(key)) || (mods & g_held_mods);
}

struct HeldSeam {
    HeldSeam() { keys_help_set_held_fn(held_fake); }
    ~HeldSeam() { keys_help_set_held_fn(nullptr); }
};

int32_t key_index(const char* label, int nth = 0)
{
    for (int32_t i = 0; i < KEYBOARD_KEYS; i++)
        if (strcmp(kKeyboardKeys[i].label, label) == 0 && nth-- == 0)
            return i;
    return -1;
}

std::vector<SDL_Event> drain_keys()
{
    std::vector<SDL_Event> out;
    SDL_Event ev;
    while (SDL_PollEvent(&ev))
        if (ev.type == SDL_KEYDOWN || ev.type == SDL_KEYUP)
            out.push_back(ev);
    return out;
}

}  // namespace

// ---------------------------------------------------------------------------
// Model
// ---------------------------------------------------------------------------

TEST(KeysHelpModel, LabelsTurnIntoKeysOrModifiers)
{
    struct Case {
        const char* label;
        int result;
        int32_t key;
        uint16_t mods;
    } cases[] = {
        {"R", 1, 'r', 0},           {"?", 1, '/', KMOD_LSHIFT}, {"+", 1, '=', KMOD_LSHIFT},
        {"−", 1, '-', 0},           {"⌫", 1, 8, 0},             {"↵", 1, 13, 0},
        {"F1", 1, SDLK_F1, 0},      {",", 1, ',', 0},           {"Ctrl", 0, -7, 0x0040},
        {"⇧", 0, -7, KMOD_LSHIFT},  {"Win", 0, -7, 0x0400},     {"…", 0, -7, 0},
        {"Bogus", 0, -7, 0},
    };
    for (const Case& c : cases) {
        int32_t key = -7;
        uint16_t mods = 0;
        EXPECT_EQ(keyboard_label_to_key(c.label, &key, &mods), c.result) << c.label;
        EXPECT_TRUE(key == c.key && mods == c.mods) << c.label << " " << key << " " << mods;
    }
}

TEST(KeysHelpModel, ChordsArriveAsOneKeyDownAndOneKeyUp)
{
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_EVENTS), 0);
    drain_keys();
    struct Case {
        const char* keys;
        int32_t key;
        uint16_t mods;
    } cases[] = {{"Ctrl\t,", ',', KMOD_LCTRL}, {"Shift\tF1", SDLK_F1, KMOD_LSHIFT}, {"?", '/', KMOD_LSHIFT},
                 {"1\t…\t4", '1', 0}};
    for (const Case& c : cases) {
        EXPECT_TRUE(keyboard_send_key(c.keys));
        std::vector<SDL_Event> got = drain_keys();
        ASSERT_EQ(got.size(), 2u) << c.keys;
        EXPECT_EQ(got[0].type, (Uint32)SDL_KEYDOWN);
        EXPECT_EQ(got[1].type, (Uint32)SDL_KEYUP);
        for (const SDL_Event& ev : got)
            EXPECT_TRUE(ev.key.keysym.sym == c.key && ev.key.repeat == 0 &&
                        (ev.key.keysym.mod & (KMOD_SHIFT | KMOD_CTRL | KMOD_ALT | KMOD_GUI)) == c.mods)
                << c.keys;
    }
    EXPECT_FALSE(keyboard_send_key("⇧"));
    EXPECT_FALSE(keyboard_send_key("Ctrl\tAlt"));
    EXPECT_TRUE(drain_keys().empty());
    SDL_QuitSubSystem(SDL_INIT_EVENTS);
}

TEST(KeysHelpModel, LitKeysShareShiftReplaceTheOldestAndFade)
{
    HeldSeam seam;
    KeysHelp help;
    keys_help_init(&help, kKeysHelpSections, KEYS_HELP_SECTIONS, nullptr, nullptr);
    keys_help_light(&help, "Shift", 1.0);
    keys_help_light(&help, "⇧", 2.0);
    keys_help_light(&help, "…", 2.0);
    keys_help_light(&help, "", 2.0);
    ASSERT_EQ(help.lit_count, 1);
    EXPECT_DOUBLE_EQ(help.lit[0].time, 2.0);

    struct Level {
        double at;
        float want;
    } fade[] = {{2.0, 1.0f}, {2.1, 1.0f - 0.1f / 0.35f}, {2.35, 0.0f}, {3.0, 0.0f}};
    for (const Level& l : fade)
        EXPECT_NEAR(keys_help_light_level(&help, "⇧", l.at), l.want, 1e-4) << l.at;
    // Held through the seam: full while held, whatever the table says.
    g_held_keys.insert('q');
    EXPECT_FLOAT_EQ(keys_help_light_level(&help, "Q", 9.0), 1.0f);
    g_held_mods = KMOD_RCTRL;
    EXPECT_FLOAT_EQ(keys_help_light_level(&help, "Ctrl", 9.0), 1.0f);

    // 32 more keys: the 33rd different key replaces the one pressed longest ago.
    for (int i = 0; i < 32; i++) {
        char label[16];
        snprintf(label, sizeof label, "K%d", i);
        keys_help_light(&help, label, 3.0 + i);
    }
    EXPECT_EQ(help.lit_count, KEYS_LIT_MAX);
    EXPECT_FLOAT_EQ(keys_help_light_level(&help, "Shift", 2.0), 0.0f);
    EXPECT_FLOAT_EQ(keys_help_light_level(&help, "K31", 34.0), 1.0f);
    EXPECT_FLOAT_EQ(keys_help_light_level(&help, "K0", 3.0), 1.0f);
}

// ---------------------------------------------------------------------------
// Layout and drawing on the GL renderer
// ---------------------------------------------------------------------------

class KeysHelpDrawTest : public DrawTest {
protected:
    explicit KeysHelpDrawTest(int32_t w = 640, int32_t h = 1080) : DrawTest(w, h) {}
    Canvas* c = nullptr;
    TextRenderer* tr = nullptr;
    KeysHelp help{};
    KeyCapPalette pal{};

    void SetUp() override
    {
        DrawTest::SetUp();
        if (HasFatalFailure())
            return;
        c = canvas_create(fx.renderer);
        ASSERT_NE(c, nullptr);
        tr = text_renderer_create_in(fx.renderer, TESSEL_FONT_FOLDER);
        ASSERT_NE(tr, nullptr);
        keyboard_palette_init(&pal);
        keys_help_init(&help, kKeysHelpSections, KEYS_HELP_SECTIONS, nullptr, nullptr);
    }
    void TearDown() override
    {
        text_renderer_destroy(tr);
        canvas_destroy(c);
        DrawTest::TearDown();
    }
    void draw(double t, bool reduced)
    {
        draw_fixture_clear(&fx, 0, 0, 0);
        canvas_begin(c, 0, 0, 1);
        keyboard_panel_draw(c, tr, &help, &pal, (float)width, (float)height, t, 0.016f, reduced);
        canvas_end(c);
        read();
    }
    DrawPixel face(int i) const
    {
        auto ch = [&](int k) { return (uint8_t)std::lround(pal.colours[i][k] * 255); };
        return draw_pixel_rgb(ch(0), ch(1), ch(2));
    }
    // The share of r's pixels (inset by 1) that show palette colour i.
    float share(const CanvasRect& r, int i)
    {
        DrawPixel want = face(i);
        int n = 0, all = 0;
        for (int y = (int)r.y + 1; y < (int)(r.y + r.h) - 1; y++)
            for (int x = (int)r.x + 1; x < (int)(r.x + r.w) - 1; x++, all++) {
                DrawPixel p = draw_fixture_pixel(&fx, x, y);
                n += std::abs(p.r - want.r) <= 2 && std::abs(p.g - want.g) <= 2 && std::abs(p.b - want.b) <= 2;
            }
        return all ? (float)n / (float)all : 0.0f;
    }
};

class KeysHelpNarrowTest : public KeysHelpDrawTest {
protected:
    KeysHelpNarrowTest() : KeysHelpDrawTest(620, 1010) {}
};

TEST_F(KeysHelpDrawTest, CapWidthsFollowTheRule)
{
    auto rule = [&](const char* label, float size) {
        float w = 0, h = 0;
        text_measure(tr, c, 1, label, size, 700, &w, &h);
        return std::max(19.0f, std::floor(w + 0.6f * 19 + 0.5f));
    };
    struct Case {
        const char* label;
        float want;
    } cases[] = {{"␣", 49}, {"…", 10}, {"R", rule("R", 10)}, {"Backspace", rule("Backspace", 10)},
                 {"←", rule("←", 13)}};   // one non-ASCII character: 0.68 of the height
    for (const Case& k : cases)
        EXPECT_FLOAT_EQ(keyboard_cap_width(c, tr, 19, k.label), k.want) << k.label;
    EXPECT_FLOAT_EQ(keyboard_keycaps_width(c, tr, 19, "1\t…\t4"),
                    2 * keyboard_cap_width(c, tr, 19, "1") + 10 + 2 * 3);
    // Without a text renderer the label's bytes stand in for its width.
    EXPECT_FLOAT_EQ(keyboard_cap_width(nullptr, nullptr, 19, "Tab"), std::floor(3 * 19 * 0.33f + 0.6f * 19 + 0.5f));
}

TEST_F(KeysHelpDrawTest, ThreeColumnsAtFullWidth)
{
    ASSERT_TRUE(keys_help_layout(&help, c, tr, 640, 1080));
    EXPECT_EQ(help.columns, 3);
    EXPECT_FLOAT_EQ(help.panel_x, 16);
    EXPECT_FLOAT_EQ(help.panel_w, 608);
    EXPECT_NEAR(help.column_x[1], 212.67f, 0.01f);
    EXPECT_NEAR(help.column_x[2], 409.33f, 0.01f);
    EXPECT_NEAR(help.key_size, 32.1875f, 1e-4f);
    EXPECT_FLOAT_EQ(help.key_h, 18);
    EXPECT_FLOAT_EQ(help.list_h, 444);   // the third column: PAD, APP, INPUTS PANEL, LIBRARY FILES
    int32_t want_column[] = {0, 1, 1, 2, 2, 2, 2};
    for (int32_t s = 0; s < KEYS_HELP_SECTIONS; s++)
        EXPECT_EQ(keys_help_section_column(&help, s), want_column[s]) << s;
    // Keys: rows span the panel less 24 on each side; Q sits after Tab, a row lower.
    CanvasRect k[4]{};
    const char* labels[] = {"Esc", "⌫", "Q", "→"};
    for (int i = 0; i < 4; i++)
        ASSERT_TRUE(keys_help_key_rect(&help, key_index(labels[i]), &k[i]));
    EXPECT_FLOAT_EQ(k[0].x, 16 + 24);
    EXPECT_NEAR(k[1].x + k[1].w, 16 + 608 - 24, 1e-3);
    EXPECT_NEAR(k[2].x, 40 + (help.key_size + 3) * 1.5f, 1e-3);
    EXPECT_NEAR(k[2].y - k[0].y, 21, 1e-4);
    EXPECT_NEAR(k[3].x + k[3].w, 16 + 608 - 24, 0.02);
}

TEST_F(KeysHelpNarrowTest, TwoColumnsBelowSixHundred)
{
    ASSERT_TRUE(keys_help_layout(&help, c, tr, 620, 1010));
    EXPECT_EQ(help.columns, 2);
    EXPECT_FLOAT_EQ(help.panel_w, 588);
    EXPECT_FLOAT_EQ(help.column_w, 271);
    EXPECT_NEAR(help.key_size, 30.9375f, 1e-4f);
    EXPECT_FLOAT_EQ(help.list_h, 613);
    int32_t want_column[] = {0, 1, 1, 0, 1, 1, 1};   // TAPE and PAD first
    for (int32_t s = 0; s < KEYS_HELP_SECTIONS; s++)
        EXPECT_EQ(keys_help_section_column(&help, s), want_column[s]) << s;
    keys_help_open(&help, 0.0);
    draw(5.0, false);
    shot();
    EXPECT_FALSE(keys_help_layout(&help, c, tr, 200, 1010));   // too narrow to draw
}

TEST_F(KeysHelpDrawTest, KeysNoListedCommandUsesStayDim)
{
    ASSERT_TRUE(keys_help_layout(&help, c, tr, 640, 1080));
    struct Case {
        const char* label;
        int nth;
        float want;
    } cases[] = {{"1", 0, 1}, {"4", 0, 1}, {"2", 0, 0.55f}, {"3", 0, 0.55f}, {"⇧", 0, 1},
                 {"⇧", 1, 1}, {"Q", 0, 0.55f}, {"Esc", 0, 1}, {"Ctrl", 1, 1}, {"/", 0, 0.55f}};
    for (const Case& k : cases)
        EXPECT_FLOAT_EQ(keys_help_key_opacity(&help, key_index(k.label, k.nth), 5.0), k.want) << k.label;
    keys_help_light(&help, "Q", 5.0);
    EXPECT_FLOAT_EQ(keys_help_key_opacity(&help, key_index("Q"), 5.1), 1.0f);
}

TEST(KeysHelpDither, FillMatchesEachCellOverRandomRectangles)
{
    std::mt19937 rng(19);
    std::uniform_real_distribution<float> pos(-50, 50), size(-2, 40);
    std::uniform_int_distribution<int> step(-1, 13);
    for (int trial = 0; trial < 300; trial++) {
        CanvasRect r{pos(rng), pos(rng), size(rng), size(rng)};
        float ox = pos(rng), oy = pos(rng);
        int st = step(rng);
        std::vector<CanvasRect> got;
        keyboard_dither_rects(&r, ox, oy, st, [](void* p, const CanvasRect* q) {
            ((std::vector<CanvasRect>*)p)->push_back(*q);
        }, &got);
        double area = 0;
        for (const CanvasRect& q : got)
            area += (double)q.w * q.h;
        // Brute force: each cell clipped to the rectangle, filled when the dither
        // keeps it covered; the runs cover exactly those cells.
        double want = 0;
        bool all = st <= 0, none = st >= DITHER_STEPS || r.w <= 0 || r.h <= 0;
        for (int cy = (int)std::floor((r.y - oy) / 2) - 1; !none && cy <= (int)std::ceil((r.y + r.h - oy) / 2); cy++)
            for (int cx = (int)std::floor((r.x - ox) / 2) - 1; cx <= (int)std::ceil((r.x + r.w - ox) / 2); cx++) {
                float x0 = std::max(r.x, ox + 2 * cx), x1 = std::min(r.x + r.w, ox + 2 * cx + 2);
                float y0 = std::max(r.y, oy + 2 * cy), y1 = std::min(r.y + r.h, oy + 2 * cy + 2);
                if (x1 <= x0 || y1 <= y0)
                    continue;
                int cell = ((cy % 32 + 32) % 32) * 32 + ((cx % 32 + 32) % 32);
                bool covered = all || dither_rank(cell) >= dither_level_count(st);
                float px = (x0 + x1) / 2, py = (y0 + y1) / 2;
                bool hit = false;
                for (const CanvasRect& q : got)
                    hit = hit || (px >= q.x && px < q.x + q.w && py >= q.y && py < q.y + q.h);
                EXPECT_EQ(hit, covered) << "trial " << trial << " cell " << cx << "," << cy;
                if (covered)
                    want += (double)(x1 - x0) * (y1 - y0);
            }
        EXPECT_NEAR(area, want, 1e-2) << "trial " << trial;
    }
}

TEST_F(KeysHelpDrawTest, RevealShowsTheFirstHeadingBeforeTheKeyboard)
{
    EXPECT_EQ(dither_step_at(0.2 - 0.01), 6);
    keys_help_open(&help, 10.0);
    draw(10.2, false);
    shot("reveal");
    CanvasRect head{}, row{};
    ASSERT_TRUE(keys_help_heading_rect(&help, 0, &head));
    EXPECT_GT(share(head, 0), 0.2f) << "the first heading is still partly covered";
    EXPECT_LT(share(head, 0), 0.8f) << "the first heading already shows through";
    for (const char* label : {"Esc", "Q", "A", "Z", "␣"}) {   // every row wholly covered
        ASSERT_TRUE(keys_help_key_rect(&help, key_index(label), &row));
        EXPECT_FLOAT_EQ(share(row, 1), 1.0f) << label;
    }
    // With reduced motion the panel is whole at the very moment of opening.
    draw(10.0, true);
    ASSERT_TRUE(keys_help_key_rect(&help, key_index("R"), &row));
    EXPECT_GT(share(row, 4), 0.33f) << "the R cap's face";
}

TEST_F(KeysHelpDrawTest, PressedCapSinksTwoUnits)
{
    for (float pressed : {0.0f, 1.0f}) {
        draw_fixture_clear(&fx, 0, 0, 0);
        canvas_begin(c, 0, 0, 1);
        keyboard_cap_state(pressed, 0);
        keyboard_draw_cap(c, tr, &pal, 100, 100, 19, 40, "W", 1, false);
        keyboard_cap_state(0, 0);
        canvas_end(c);
        read();
        // Row 101 is the face of an idle cap and lies above the face of a pressed one,
        // which is the face moved 35 % toward the base; both show the base at row 117.
        DrawPixel f = face(4), b = face(5);
        DrawPixel sunk = draw_pixel_rgb((uint8_t)(f.r + (b.r - f.r) * 0.35f), (uint8_t)(f.g + (b.g - f.g) * 0.35f),
                                        (uint8_t)(f.b + (b.b - f.b) * 0.35f));
        EXPECT_TRUE(draw_probe(&fx, 103, 101, pressed ? draw_pixel_rgb(0, 0, 0) : f, 2)) << pressed;
        EXPECT_TRUE(draw_probe(&fx, 103, 104, pressed ? sunk : f, 2)) << pressed;
        EXPECT_TRUE(draw_probe(&fx, 103, 117, b, 2)) << pressed;
    }
}

TEST_F(KeysHelpDrawTest, PictureOfTheOpenPanel)
{
    keys_help_open(&help, 0.0);
    keys_help_light(&help, "R", 4.9);
    draw(5.0, false);
    shot();
    CanvasRect q{};
    ASSERT_TRUE(keys_help_key_rect(&help, key_index("Q"), &q));
    EXPECT_GT(share(q, 4), 0.0f) << "the open panel shows its keys";
}
