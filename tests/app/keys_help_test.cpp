// The keys help: labels to keys, synthetic chords, the lit-key table, cap widths, the
// layout at both column counts, key opacity, the dither fill against a per-cell brute
// force, the opening reveal and pictures of the panel.
#include <SDL.h>

#include <cmath>
#include <random>
#include <set>
#include <vector>

#include "app/keys_help.h"
#include "app/panels/keyboard_caps.h"
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
    HeldSeam()
    {
        g_held_keys.clear();
        g_held_mods = 0;
        keys_help_set_held_fn(held_fake);
    }
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
        EXPECT_EQ(key, c.key) << c.label;
        EXPECT_EQ(mods, c.mods) << c.label;
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
        for (const SDL_Event& ev : got) {
            EXPECT_EQ(ev.key.keysym.sym, c.key) << c.keys;
            EXPECT_EQ(ev.key.keysym.mod & (KMOD_SHIFT | KMOD_CTRL | KMOD_ALT | KMOD_GUI), c.mods) << c.keys;
            EXPECT_EQ(ev.key.repeat, 0);
        }
    }
    EXPECT_FALSE(keyboard_send_key("⇧"));
    EXPECT_FALSE(keyboard_send_key("Ctrl\tAlt"));
    EXPECT_TRUE(drain_keys().empty());
    SDL_QuitSubSystem(SDL_INIT_EVENTS);
}

TEST(KeysHelpModel, ToggleKeyReadsTheEventsModifiers)
{
    auto key = [](SDL_Keycode sym, SDL_Scancode sc, uint16_t mod) {
        SDL_Event ev{};
        ev.type = SDL_KEYDOWN;
        ev.key.keysym.sym = sym;
        ev.key.keysym.scancode = sc;
        ev.key.keysym.mod = mod;
        return ev;
    };
    SDL_Event q = key(SDLK_QUESTION, SDL_SCANCODE_UNKNOWN, 0), slash = key('/', SDL_SCANCODE_SLASH, KMOD_LSHIFT);
    SDL_Event plain = key('/', SDL_SCANCODE_SLASH, 0), layout = key('7', SDL_SCANCODE_SLASH, KMOD_RSHIFT);
    EXPECT_TRUE(keys_help_is_toggle_key(&q, 0));
    EXPECT_TRUE(keys_help_is_toggle_key(&slash, 0));
    EXPECT_FALSE(keys_help_is_toggle_key(&plain, 1));
    EXPECT_FALSE(keys_help_is_toggle_key(&layout, 0));
    EXPECT_TRUE(keys_help_is_toggle_key(&layout, 1));
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
        return draw_pixel_rgb((uint8_t)std::lround(pal.colours[i][0] * 255), (uint8_t)std::lround(pal.colours[i][1] * 255),
                              (uint8_t)std::lround(pal.colours[i][2] * 255));
    }
    // Pixels of r (inset by 1) that show palette colour i.
    int count_colour(const CanvasRect& r, int i)
    {
        DrawPixel want = face(i);
        int n = 0;
        for (int y = (int)r.y + 1; y < (int)(r.y + r.h) - 1; y++)
            for (int x = (int)r.x + 1; x < (int)(r.x + r.w) - 1; x++) {
                DrawPixel p = draw_fixture_pixel(&fx, x, y);
                n += std::abs(p.r - want.r) <= 2 && std::abs(p.g - want.g) <= 2 && std::abs(p.b - want.b) <= 2;
            }
        return n;
    }
};

class KeysHelpNarrowTest : public KeysHelpDrawTest {
protected:
    KeysHelpNarrowTest() : KeysHelpDrawTest(620, 1010) {}
};

TEST_F(KeysHelpDrawTest, CapWidthsFollowTheRule)
{
    float w10 = 0, w13 = 0, h = 0;
    text_measure(tr, c, 1, "R", 10, 700, &w10, &h);
    text_measure(tr, c, 1, "Backspace", 10, 700, &w13, &h);
    float back = w13;
    text_measure(tr, c, 1, "←", 13, 700, &w13, &h);
    struct Case {
        const char* label;
        float want;
    } cases[] = {
        {"␣", std::floor(19 * 2.6f + 0.5f)},   // 49
        {"…", std::floor(19 * 0.55f + 0.5f)},  // 10
        {"R", std::max(19.0f, std::floor(w10 + 0.6f * 19 + 0.5f))},
        {"Backspace", std::max(19.0f, std::floor(back + 0.6f * 19 + 0.5f))},
        {"←", std::max(19.0f, std::floor(w13 + 0.6f * 19 + 0.5f))},   // one non-ASCII character: 0.68
    };
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
    // Keys: the first row spans the panel less 24 on each side; Q sits after Tab.
    CanvasRect esc{}, back{}, q{}, right{};
    ASSERT_TRUE(keys_help_key_rect(&help, key_index("Esc"), &esc));
    ASSERT_TRUE(keys_help_key_rect(&help, key_index("⌫"), &back));
    ASSERT_TRUE(keys_help_key_rect(&help, key_index("Q"), &q));
    ASSERT_TRUE(keys_help_key_rect(&help, key_index("→"), &right));
    float s = help.key_size;
    EXPECT_FLOAT_EQ(esc.x, 16 + 24);
    EXPECT_NEAR(back.x + back.w, 16 + 608 - 24, 1e-3);
    EXPECT_NEAR(q.x, 40 + (s + 3) * 1.5f, 1e-3);
    EXPECT_NEAR(q.y - esc.y, 21, 1e-4);
    EXPECT_NEAR(right.x + right.w, 16 + 608 - 24, 0.02);   // the arrows end the last row too
    EXPECT_FLOAT_EQ(esc.h, 18);
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
        for (const CanvasRect& q : got) {
            EXPECT_GE(q.x, r.x - 1e-4f);
            EXPECT_LE(q.x + q.w, r.x + r.w + 1e-3f);
            area += (double)q.w * q.h;
        }
        // Brute force: each cell clipped to the rectangle, filled when the dither
        // keeps it covered.
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
                EXPECT_EQ(hit, covered) << "trial " << trial << " cell " << cx << "," << cy << " rect " << r.x << ","
                                        << r.y << " " << r.w << "x" << r.h << " origin " << ox << "," << oy
                                        << " step " << st << " centre " << px << "," << py;
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
    int n = (int)((head.w - 2) * (head.h - 2));
    int covered = count_colour(head, 0);
    EXPECT_GT(covered, n / 5) << "the heading should still be partly covered";
    EXPECT_LT(covered, n * 4 / 5) << "the heading should already show through";
    // Every keyboard row is wholly covered in the panel's own colour: no cap shows.
    for (int32_t k : {key_index("Esc"), key_index("Q"), key_index("A"), key_index("Z"), key_index("␣")}) {
        ASSERT_TRUE(keys_help_key_rect(&help, k, &row));
        EXPECT_EQ(count_colour(row, 1), (int)((int)(row.y + row.h) - 1 - ((int)row.y + 1)) *
                                            ((int)(row.x + row.w) - 1 - ((int)row.x + 1)))
            << kKeyboardKeys[k].label;
    }
    // With reduced motion nothing is covered at the very moment of opening.
    draw(10.0, true);
    ASSERT_TRUE(keys_help_key_rect(&help, key_index("R"), &row));
    EXPECT_LT(count_colour(row, 1), (int)(row.w * row.h) / 4);
    EXPECT_GT(count_colour(row, 4), (int)(row.w * row.h) / 3) << "the R cap's face";
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
    EXPECT_GT(count_colour(q, 4), 0) << "the open panel shows its keys";
}

TEST_F(KeysHelpNarrowTest, PictureOfTheOpenPanel)
{
    keys_help_open(&help, 0.0);
    draw(5.0, false);
    shot();
    CanvasRect panel{};
    ASSERT_TRUE(keys_help_panel_rect(&help, &panel));
    EXPECT_LE(panel.y + panel.h, 1010 - 16 + 0.01f);
}
