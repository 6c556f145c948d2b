// The library's pictures on the GL renderer: the waveform strip, the folder tree, the
// favourites panel, the popup menu, the cards, the prism, the side panel, and the take
// view with its tempo row.
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "app/panels/main/view.h"
#include "audio/preview.h"
#include "library/cloud.h"
#include "library/folder_tree.h"
#include "library/library.h"
#include "library/library_seams.h"
#include "library/user_stores.h"
#include "library/views/favourites_panel.h"
#include "library/views/folder_tree_view.h"
#include "library/views/library_view.h"
#include "library/views/popup_menu.h"
#include "library/views/wavestrip.h"
#include "platform/plat_dir.h"
#include "support/library_kit.h"
#include "tests/audio/preview_kit.h"
#include "support/test_wait.h"
#include "tests/app/view_draw_probe.h"
#include "ui/canvas.h"
#include "ui/text.h"

namespace {

namespace fs = std::filesystem;

DrawPixel rgb(const float* c)
{
    return draw_pixel_rgb((uint8_t)std::lround(c[0] * 255), (uint8_t)std::lround(c[1] * 255),
                          (uint8_t)std::lround(c[2] * 255));
}

class LibraryDraw : public DrawTest {
protected:
    Canvas* c = nullptr;
    void SetUp() override
    {
        DrawTest::SetUp();
        if (HasFatalFailure())
            return;
        c = canvas_create(fx.renderer);
        ASSERT_NE(c, nullptr);
    }
    void TearDown() override
    {
        canvas_destroy(c);
        DrawTest::TearDown();
    }
    void begin()
    {
        draw_fixture_clear(&fx, 0, 0, 0);
        canvas_begin(c, 0, 0, 1.0f);
    }
    void end()
    {
        canvas_end(c);
        read();
    }
    std::vector<uint32_t> pixels()
    {
        std::vector<uint32_t> v;
        for (int y = 0; y < 200; y++)
            for (int x = 0; x < 640; x++) {
                DrawPixel p = draw_fixture_pixel(&fx, x, y);
                v.push_back((uint32_t)p.r | (uint32_t)p.g << 8 | (uint32_t)p.b << 16);
            }
        return v;
    }
    std::vector<uint32_t> strip_of(std::vector<float> pts, float h = 40.0f)
    {
        begin();
        CanvasRect r{20, 20, 400, h};
        const float ink[4] = {1, 1, 1, 1};
        wavestrip_draw(c, &r, pts.data(), (int)pts.size(), nullptr, 0.0f, nullptr, 0, -1.0f, ink);
        end();
        return pixels();
    }
};

TEST_F(LibraryDraw, StripDrawsNaNAndNegativesAsSilenceAndClampsAboveOne)
{
    const float nan = std::nanf("");
    auto zeros = strip_of({0, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(strip_of({nan, -1, nan, -0.5f, nan, nan, -3, 0}), zeros);
    auto ones = strip_of({1, 1, 1, 1, 1, 1, 1, 1});
    shot("ones");
    EXPECT_NE(ones, zeros);
    EXPECT_EQ(strip_of({2, 5, 1, 9, 1, 1, 3, 1}), ones);
    EXPECT_EQ(strip_of({1, 1, 1, 1, 1, 1, 1, 1}, 0.0f), zeros);   // no height: nothing
}

TEST_F(LibraryDraw, OverlayHeatGridHandlesWithGripsTheDraggedOutlineAndEdgeMarkers)
{
    float p[10][4];
    waveview_palette(p);
    const CanvasRect r{20, 20, 400, 40};
    // 4 x 2 cells of 100 x 20: 0.02 is left out; handles at 120 and 316, markers at 124 and 315.
    const float grid[8] = {0.02f, 0.85f, 1.0f, 0.0f, 0.85f, 0.0f, 0.0f, 1.0f};
    WaveViewLane lane{0.0f, 1.0f, nullptr, 0, grid, 4, 2};
    const WaveViewOverlay cases[] = {{&lane, 1, 0, 0, 0, -1, NAN, 0}, {nullptr, 0, 0.25f, 0.75f, 0, -1, NAN, 0},
                                     {nullptr, 0, 0.25f, 0.75f, 1, -1, 103.0f, 1}};
    DrawPixel bg = draw_expect_blend(draw_pixel_rgb(0, 0, 0), DrawPixel{28, 28, 28, 89}), teal = rgb(p[4]);
    DrawPixel mid = draw_pixel_rgb(214, 166, 46), top = draw_pixel_rgb(255, 255, 255);
    DrawPixel inside = draw_expect_blend(bg, DrawPixel{235, 235, 235, 26});
    const DrawPixel cells[8] = {bg, mid, top, bg, mid, bg, bg, top};
    for (const WaveViewOverlay& o : cases) {
        begin();
        waveview_draw_overlay(c, nullptr, &r, &o);
        end();
        for (int i = 0; o.lanes && i < 8; i++)
            EXPECT_TRUE(draw_probe(&fx, 70 + 100 * (i % 4), 30 + 20 * (i / 4), cells[i])) << "cell " << i;
        if (o.lanes)
            continue;
        EXPECT_TRUE(draw_probe(&fx, 121, 40, draw_expect_blend(teal, DrawPixel{0, 0, 0, 140})));   // a grip
        DrawPixel marker{235, 235, 235, (uint8_t)(o.range_active ? 255 : 76)};   // brighter under the pointer
        EXPECT_TRUE(draw_probe(&fx, 124, 30, draw_expect_blend(inside, marker)));
        EXPECT_TRUE(draw_probe(&fx, 123, 30, o.drag_handle ? rgb(p[5]) : teal));   // the outline
    }
}

TEST_F(LibraryDraw, PrismStandsStillWithReducedMotionAndOverflowsASmallTile)
{
    const float colour[4] = {0.2f, 0.7f, 0.9f, 1.0f};
    auto prism = [&](double t, CanvasRect tile, float size, uint8_t reduced) {
        begin();
        emblem_draw(c, &tile, colour, size, t, 5.0, reduced);
        end();
        return pixels();
    };
    const CanvasRect tile{100, 100, 40, 40};
    auto a = prism(0.3, tile, 0, 1), b = prism(2.9, tile, 0, 1);
    shot("prism");
    EXPECT_EQ(a, b);
    EXPECT_NE(prism(0.3, tile, 0, 0), prism(2.9, tile, 0, 0)) << "it turns without reduced motion";
    // A 10-unit tile draws a 14-unit emblem clipped to it: inside, the same emblem unclipped.
    auto whole = prism(0.0, CanvasRect{100, 90, 40, 20}, 14, 1);
    auto small = prism(0.0, CanvasRect{100, 100, 40, 10}, 0, 1);
    shot("small-tile");
    for (int y = 88; y < 114; y++)
        for (int x = 90; x < 150; x++)
            ASSERT_EQ(small[y * 640 + x], y >= 100 && y < 110 ? whole[y * 640 + x] : 0u) << x << ", " << y;
}

TEST_F(LibraryDraw, TreeRowsFillsSizesTagsParentAndPreview)
{
    LibraryKit kit;
    plat_dir_make(kit.data_dir().c_str());
    folders_use_data_path(kit.data_dir().c_str());
    fs::create_directories(kit.path("root/sub"));
    std::string wav = kit.wav("root/a.wav", 48000);
    kit.text("root/b.wav", std::string(2048, 'x'));
    FolderTree* t = foldertree_create();
    ASSERT_TRUE(foldertree_set_root(t, kit.path("root").c_str()));
    tags_set(kit.path("root/b.wav").c_str(), 7);
    foldertree_set_highlight(t, wav.c_str());   // row 1
    foldertree_select(t, 2);                    // b.wav
    foldertree_set_reduced_motion(t, 1);
    CanvasRect r{0, 0, 400, 300};
    // Hover a.wav until its preview is read.
    t->hovering = 1;
    t->pointer_x = 200;
    t->pointer_y = 26 * 2 + 13;
    test_wait_until([&] {
        begin();
        foldertree_draw(c, nullptr, t, &r, nullptr, 1.0f / 60.0f);
        end();
        const FolderTreePreview* p = foldertree_preview_find(t, wav.c_str());
        return p && p->ready;
    }, [] {}, 10);
    begin();
    foldertree_draw(c, nullptr, t, &r, nullptr, 1.0f / 60.0f);
    end();
    shot();
    // Rows: the parent row, sub, a.wav (highlighted, hovered), b.wav (selected).
    EXPECT_TRUE(draw_probe(&fx, 3, 26 * 3 + 3, rgb(t->palette[5])));                 // selection fill
    EXPECT_TRUE(draw_box_has(&fx, 20, 0, 60, 25, rgb(t->palette[2])));               // ".."
    // The size ends 16 units from the right; the tag digit lies left of it.
    std::vector<int> size_ink = draw_row_hits(&fx, 300, 399, 26 * 3 + 13, rgb(t->palette[4]));
    ASSERT_FALSE(size_ink.empty());
    EXPECT_LE(size_ink.back(), 400 - 16);
    EXPECT_GE(size_ink.back(), 400 - 18);
    EXPECT_TRUE(draw_box_has(&fx, 250, 26 * 3, 370, 26 * 4, rgb(t->palette[8])));   // the digit 7
    // The hovered file shows its preview strip and duration "0:01".
    ASSERT_NE(foldertree_preview_find(t, wav.c_str()), nullptr);
    EXPECT_TRUE(foldertree_preview_find(t, wav.c_str())->ready);
    foldertree_destroy(t);
}

// A selection restored before the tree was ever drawn is in view on its first frame.
TEST_F(LibraryDraw, ARestoredSelectionIsInViewOnTheFirstFrame)
{
    LibraryKit kit;
    fs::create_directories(kit.path("root"));
    for (int i = 10; i < 70; i++)
        kit.text("root/f" + std::to_string(i), "x");
    const CanvasRect r{0, 0, 400, 260};
    FolderTree* t = foldertree_create();
    foldertree_restore(t, (kit.path("root") + "|" + kit.path("root/f40")).c_str());
    begin();
    foldertree_draw(c, nullptr, t, &r, nullptr, 1.0f / 60.0f);
    end();
    float top = FOLDER_TREE_ROW * 31.0f - t->scroll;   // under the parent row
    EXPECT_TRUE(draw_box_has(&fx, 3, (int)top + 3, 6, (int)top + 6, rgb(t->palette[5]))) << top;
    foldertree_destroy(t);
}

TEST_F(LibraryDraw, FavouritesRowsAndTheDragGap)
{
    LibraryKit kit;
    plat_dir_make(kit.data_dir().c_str());
    kit.text("data/TideCoil/favs.ini", "/one\n/two\n/three\n");
    folders_use_data_path(kit.data_dir().c_str());
    FavouritesPanel* p = favpanel_create();
    favpanel_set_marked(p, "/two");
    CanvasRect r{0, 0, 176, 200};
    begin();
    favpanel_draw(c, nullptr, p, &r, nullptr);
    end();
    shot("rows");
    float marked[4] = {p->colours[1][0], p->colours[1][1], p->colours[1][2], 0.10f};
    DrawPixel fill = draw_expect_blend(rgb(p->colours[0]), DrawPixel{(uint8_t)std::lround(marked[0] * 255),
                                                                      (uint8_t)std::lround(marked[1] * 255),
                                                                      (uint8_t)std::lround(marked[2] * 255), 26});
    EXPECT_TRUE(draw_probe(&fx, 170, 8 + 26 + 2, fill));        // row 1 at y + 8 + 26
    EXPECT_TRUE(draw_probe(&fx, 170, 8 + 2, rgb(p->colours[0])));
    // Dragging row 0 down to row 2: row 1's label moves up into row 0's place.
    p->pressed = 0;
    p->button_held = 1;
    p->press_y = 21;
    p->pointer_y = 8 + 26 * 2 + 13;
    begin();
    favpanel_draw(c, nullptr, p, &r, nullptr);
    end();
    shot("drag");
    EXPECT_TRUE(p->dragging);
    EXPECT_EQ(p->target, 2);
    EXPECT_TRUE(draw_probe(&fx, 170, 8 + 2, fill));   // "/two" now first
    favpanel_free(p);
}

TEST_F(LibraryDraw, PopupAtTheAnchorFlippedInsideWithHoverFills)
{
    PopupMenu m;
    popup_menu_init(&m);
    PopupMenuItem items[2] = {};
    std::strcpy(items[0].label, "OPEN");
    std::strcpy(items[1].label, "DELETE...");
    items[1].id = 1;
    items[1].danger = 1;
    CanvasRect bounds{0, 0, 640, 400};
    struct Case {
        float ax, ay, x, y;
        int hover;
        const float* colour;
        float alpha;
    };
    const Case cases[] = {{100, 50, 100, 50, 0, m.colours[2], 0.18f}, {630, 390, 480, 326, 1, m.colours[5], 0.26f}};
    for (const Case& k : cases) {
        popup_menu_open(&m, k.ax, k.ay, items, 2, 0.0);
        m.hover = k.hover;
        for (int f = 0; f < 30; f++) {   // the hover eases in
            begin();
            popup_menu_draw(c, nullptr, &m, &bounds, 1.0 + f, 1.0f / 30.0f, 1);
            end();
        }
        shot(k.hover ? "flipped" : "anchor");
        EXPECT_FLOAT_EQ(m.x, k.x);
        EXPECT_FLOAT_EQ(m.y, k.y);
        DrawPixel row = draw_expect_blend(rgb(m.colours[0]), DrawPixel{(uint8_t)std::lround(k.colour[0] * 255),
                                                                        (uint8_t)std::lround(k.colour[1] * 255),
                                                                        (uint8_t)std::lround(k.colour[2] * 255),
                                                                        (uint8_t)(k.alpha * 255)});
        int ry = (int)m.y + 4 + 28 * k.hover;
        EXPECT_TRUE(draw_probe(&fx, (int)(m.x + m.w) - 10, ry + 3, row, 3));
        EXPECT_TRUE(draw_probe(&fx, (int)(m.x + m.w) - 10, (int)m.y + 4 + 28 * (1 - k.hover) + 3, rgb(m.colours[0])));
    }
    items[0].key_hint = "L";
    popup_menu_open(&m, 100, 50, items, 1, 0.0);
    begin();
    popup_menu_draw(c, nullptr, &m, &bounds, 1.0, 1.0f / 30.0f, 1);
    end();
    int right = (int)(m.x + m.w) - 4 - 10, top = (int)m.y + 4 + 5;   // a key cap right-aligned 10 inside
    EXPECT_TRUE(draw_probe(&fx, right - 2, top + 4, rgb(m.caps.colours[4])));
    popup_menu_free(&m);
}

TEST_F(LibraryDraw, CardsEvery96WithStripsOnceReadAndFailedItemsDimmed)
{
    LibraryKit kit;
    LibraryWithPlayer with;
    Library* lib = with.lib;
    std::string good = kit.wav("good.wav", 48000);
    std::string bad = kit.text("bad.wav", "not audio");
    fs::last_write_time(bad, fs::file_time_type::clock::now() - std::chrono::seconds(100));
    ASSERT_TRUE(library_add_file(lib, good.c_str(), false));
    ASSERT_TRUE(library_add_file(lib, bad.c_str(), false));
    lib->state.source = LIBRARY_SOURCE_ALL;
    lib->dirty = 1;
    library_set_option_c(lib, 1);
    CanvasRect r{0, 0, 580, 600};
    begin();
    library_draw(c, nullptr, lib, &r, nullptr, nullptr, 1.0);
    end();
    shot("reading");
    const float(*k)[4] = lib->ui->colours;
    const CanvasRect& l = lib->ui->list;
    // Before the summaries: the glyph in each strip.
    EXPECT_TRUE(draw_box_has(&fx, (int)l.x + 60, (int)l.y + 50, (int)(l.x + l.w) - 80, (int)l.y + 74,
                             draw_expect_blend(rgb(k[1]), DrawPixel{(uint8_t)std::lround(k[8][0] * 255),
                                                                     (uint8_t)std::lround(k[8][1] * 255),
                                                                     (uint8_t)std::lround(k[8][2] * 255), 114})));
    ASSERT_TRUE(library_kit_pump(lib, [&] { return lib->queued == 0; }));
    lib->selected = -1;
    lib->state.selected_path[0] = '\0';
    lib->dirty = 1;
    begin();
    library_draw(c, nullptr, lib, &r, nullptr, nullptr, 2.0);
    end();
    shot("ready");
    // Cards 96 apart: both bodies at their rows, the gap between in the background.
    EXPECT_TRUE(draw_probe(&fx, (int)l.x + 48, (int)l.y + 4, rgb(k[1])));
    EXPECT_TRUE(draw_probe(&fx, (int)l.x + 48, (int)l.y + 96 + 4, rgb(k[1])));
    EXPECT_TRUE(draw_probe(&fx, (int)l.x + 48, (int)l.y + 88, rgb(k[0])));
    // The failed card's play triangle at alpha 0.3 over its button.
    int failed = lib->items[lib->view[1]].failed ? 1 : 0;
    ASSERT_TRUE(lib->items[lib->view[failed]].failed);
    float btn[4];
    std::memcpy(btn, k[6], sizeof btn);
    DrawPixel under = draw_expect_blend(rgb(k[1]), DrawPixel{(uint8_t)std::lround(btn[0] * 255),
                                                              (uint8_t)std::lround(btn[1] * 255),
                                                              (uint8_t)std::lround(btn[2] * 255), 46});
    DrawPixel tri = draw_expect_blend(under, DrawPixel{(uint8_t)std::lround(btn[0] * 255),
                                                        (uint8_t)std::lround(btn[1] * 255),
                                                        (uint8_t)std::lround(btn[2] * 255), 77});
    EXPECT_TRUE(draw_probe(&fx, (int)l.x + 24, (int)l.y + 96 * failed + 41, tri, 3));
    // The good card's strip: bars of its colour in the strip band.
    int good_pos = 1 - failed;
    const LibraryItem& g = lib->items[lib->view[good_pos]];
    EXPECT_TRUE(g.ready);
    std::vector<int> bars = draw_row_hits(&fx, (int)l.x + 52, (int)(l.x + l.w) - 70, (int)l.y + 96 * good_pos + 62,
                                          rgb(k[1]));
    EXPECT_LT(bars.size(), (size_t)(l.w - 130));   // something covers the body there
}

class LibraryPanel : public MainViewTest {
protected:
    void draw_part() override { view_library_strip(app, &kit, 1.0f / 60.0f); }
};

TEST_F(LibraryPanel, SwitchTabsRowsEmptyNoFilesViewAndTheLoadingBar)
{
    app->library_open = 1;
    app->library_shown = 1;
    app->library_x = 0;   // on screen for the picture: L = 4
    app->reduced_motion = 1;
    app->take_loading = 1;
    app->library_tab = 0;
    draw_fixture_clear(&fx, 13, 17, 17);
    draw_part();
    read();
    shot("empty");
    const DrawPixel bg = pix(VIEW_BACKGROUND);
    DrawPixel panel = draw_expect_blend(bg, pix(draw_rgba(23, 29, 29, 150)));
    // The switch lit (12, 12, 36, 36) between its bars, under the panel's fill.
    EXPECT_TRUE(draw_probe(&fx, 14, 14, draw_expect_blend(pix(color_lerp(VIEW_PANEL, VIEW_MAGENTA, 0.55f)),
                                                         pix(draw_rgba(23, 29, 29, 150)))));
    // The loading bar at L + 4 + 520 x 0.35 = L + 186.
    EXPECT_TRUE(draw_probe(&fx, 4 + 186 + 2, 85, pix(VIEW_LIGHT_TEAL)));
    EXPECT_FALSE(draw_probe(&fx, 4 + 186 - 3, 85, pix(VIEW_LIGHT_TEAL)));
    EXPECT_TRUE(draw_box_has(&fx, 26, 104, 80, 116, pix(VIEW_MUTED)));   // "EMPTY"
    // Rows of takes.
    app->take_count = 2;
    std::strcpy(app->takes[0].name, "tessel-20250102-030405.wav");
    app->takes[0].seconds = 125.9f;
    std::strcpy(app->takes[1].name, "drums.wav");
    std::strcpy(app->session_name, "drums.wav");
    draw_fixture_clear(&fx, 13, 17, 17);
    draw_part();
    read();
    shot("rows");
    // Row 0 on the list's fill; row 1, the session take, filled towards magenta.
    EXPECT_TRUE(draw_probe(&fx, 14, 92 + 2, draw_expect_blend(panel, pix(draw_rgba(13, 17, 17, 150)))));
    EXPECT_TRUE(draw_probe(&fx, 14, 92 + 36 + 2, pix(color_lerp(VIEW_BACKGROUND, VIEW_MAGENTA, 0.4f))));
    char name[64];
    library_panel_row_name("tessel-20250102-030405.wav", name, sizeof name);
    EXPECT_STREQ(name, "2025-01-02  03:04:05");
    library_panel_row_name("tessel-2025-1-2-3-4-5.wav", name, sizeof name);
    EXPECT_STREQ(name, "tessel-2025-1-2-3-4-5");
    library_panel_row_name("abcdefghijklmnopqrstuvwxyz0123.wav", name, sizeof name);
    EXPECT_STREQ(name, "abcdefghijklmnopqrstuvwxyz");
    // Row 1 as the session take and the take playing, then as another file whose name
    // differs from theirs only in case: names compare byte for byte.
    {
        LibraryKit files;
        LibraryWithPlayer with;
        std::string playing = files.wav("Drums.wav", 480);
        ASSERT_TRUE(library_add_file(with.lib, playing.c_str(), false));
        std::snprintf(with.lib->loaded_path, sizeof with.lib->loaded_path, "%s", playing.c_str());
        preview_load(&with.player, preview_kit_buffer(2, 48000.0, 100), true);
        app->library = with.lib;
        app->preview = &with.player;
        std::strcpy(app->session_name, "Drums.wav");
        for (const char* row : {"Drums.wav", "drums.wav"}) {
            bool same = std::strcmp(row, "Drums.wav") == 0;
            std::strcpy(app->takes[1].name, row);
            draw_fixture_clear(&fx, 13, 17, 17);
            draw_part();
            read();
            EXPECT_TRUE(draw_probe(&fx, 14, 92 + 36 + 2,
                                   same ? pix(color_lerp(VIEW_BACKGROUND, VIEW_MAGENTA, 0.4f))
                                        : draw_expect_blend(panel, pix(draw_rgba(13, 17, 17, 150)))))
                << row;
            EXPECT_TRUE(draw_probe(&fx, 4 + 16 + 2, 92 + 36 + 5 + 2,
                                   pix(color_lerp(VIEW_BACKGROUND, VIEW_MAGENTA, same ? 0.75f : 0.12f))))
                << row;
        }
        app->library = nullptr;
        app->preview = nullptr;
    }
    // FILES without a canvas: "NO FILES VIEW".
    app->library_tab = 1;
    Canvas* saved = app->canvas;
    app->canvas = nullptr;
    draw_fixture_clear(&fx, 13, 17, 17);
    draw_part();
    read();
    shot("no-files-view");
    EXPECT_TRUE(draw_box_has(&fx, 26, 104, 120, 116, pix(VIEW_MUTED)));
    app->canvas = saved;
}

}  // namespace

namespace {

// The library view at its own rectangle with real files, as a user would drive it.
class LibraryInProcess : public LibraryDraw {
protected:
    LibraryKit kit;
    std::string old_path = std::getenv("PATH") ? std::getenv("PATH") : "";
    void SetUp() override
    {
        LibraryDraw::SetUp();
        std::string bin = kit.path("bin");
        fs::create_directories(bin);
        std::ofstream(bin + "/xdg-open") << "#!/bin/sh\necho \"$@\" >> \"" << kit.path("opened") << "\"\n";
        fs::permissions(bin + "/xdg-open", fs::perms::owner_all);
        setenv("PATH", (bin + ":" + old_path).c_str(), 1);
        setenv("XDG_DATA_HOME", kit.path("share").c_str(), 1);
    }
    void TearDown() override
    {
        setenv("PATH", old_path.c_str(), 1);
        unsetenv("XDG_DATA_HOME");
        LibraryDraw::TearDown();
    }
};

bool press(Library* lib, int button, float x, float y, double now, void* cloud = nullptr)
{
    SDL_Event e{};
    e.type = SDL_MOUSEBUTTONDOWN;
    e.button.button = (uint8_t)button;
    bool used = library_handle_event(lib, &e, x, y, cloud, now);
    e.type = SDL_MOUSEBUTTONUP;
    library_handle_event(lib, &e, x, y, cloud, now);
    return used;
}

TEST_F(LibraryInProcess, DroppedFilesPlayMenusTrashAndFilter)
{
    if (std::system("command -v sox >/dev/null && command -v ffmpeg >/dev/null") != 0)
        GTEST_SKIP() << "sox and ffmpeg make the files";
    std::string d = kit.path("drop");
    fs::create_directories(d);
    std::string make = "cd '" + d + "' && sox -n -r 44100 -c 2 -b 16 tone.wav synth 1 sine 440 vol 0.5 && " +
                       "sox -n -r 48000 -c 1 tone.flac synth 1 sine 660 vol 0.5 && " +
                       "ffmpeg -loglevel error -f lavfi -i sine=frequency=330:duration=1 -c:a libmp3lame tone.mp3 && " +
                       "head -c 30 tone.wav > cut.wav && : > empty.wav && echo text > text.mp3";
    ASSERT_EQ(std::system(make.c_str()), 0);
    LibraryWithPlayer with;
    Library* lib = with.lib;
    for (const char* f : {"tone.wav", "tone.flac", "tone.mp3", "cut.wav", "empty.wav", "text.mp3"})
        ASSERT_TRUE(library_add_file(lib, (d + "/" + f).c_str(), false));
    lib->state.source = LIBRARY_SOURCE_ALL;
    lib->dirty = 1;
    library_set_option_c(lib, 1);
    CanvasRect r{0, 0, 580, 700};
    ASSERT_TRUE(library_kit_pump(lib, [&] { return lib->queued == 0; }));
    begin();
    library_draw(c, nullptr, lib, &r, nullptr, nullptr, 1.0);
    end();
    shot("six");
    ASSERT_EQ(lib->view_count, 6);
    int ready = 0, failed = 0;
    for (int i = 0; i < lib->count; i++) {
        ready += lib->items[i].ready;
        failed += lib->items[i].failed;
    }
    EXPECT_EQ(ready, 3);
    EXPECT_EQ(failed, 3);
    const CanvasRect l = lib->ui->list;
    auto card_y = [&](int pos) { return l.y + 96.0f * (float)pos; };
    int wav_pos = -1;
    for (int p = 0; p < 6; p++)
        if (std::strcmp(lib->items[lib->view[p]].path, (d + "/tone.wav").c_str()) == 0)
            wav_pos = p;
    ASSERT_GE(wav_pos, 0);
    // The play button plays it through the preview player.
    press(lib, SDL_BUTTON_LEFT, l.x + 20, card_y(wav_pos) + 30, 2.0);
    ASSERT_TRUE(library_kit_pump(lib, [&] { return !lib->loading; }));
    EXPECT_NEAR(preview_duration(&with.player), 1.0, 0.01);
    EXPECT_TRUE(preview_is_playing(&with.player));
    // Right-click: the menu at the pointer; SHOW IN EXPLORER hands over the folder.
    press(lib, SDL_BUTTON_RIGHT, 300, card_y(wav_pos) + 20, 3.0);
    ASSERT_TRUE(library_popup_open(lib));
    begin();
    library_draw(c, nullptr, lib, &r, nullptr, nullptr, 3.0);
    end();
    shot("menu");
    EXPECT_FLOAT_EQ(lib->ui->menu.x, 300.0f);
    // Down four times skips the disabled SHOW IN QUILL; up once is SHOW IN EXPLORER.
    SDL_Event k{};
    k.type = SDL_KEYDOWN;
    for (SDL_Keycode sym : {SDLK_DOWN, SDLK_DOWN, SDLK_DOWN, SDLK_RETURN}) {
        k.key.keysym.sym = sym;
        library_handle_event(lib, &k, 0, 0, nullptr, 3.0);
    }
    EXPECT_FALSE(library_popup_open(lib));
    auto opened_line = [&] {   // the stand-in opener's whole line
        std::ifstream in(kit.path("opened"));
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        return !text.empty() && text.back() == '\n';
    };
    EXPECT_TRUE(test_wait_until(opened_line, [] {}, 10)) << "nothing opened within a minute";
    std::ifstream opened(kit.path("opened"));
    std::string line;
    std::getline(opened, line);
    EXPECT_EQ(line, d);
    // DELETE... then the confirm area: into the trash, and back byte for byte.
    std::string wav = d + "/tone.wav";
    std::ifstream in(wav, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    library_card_action(lib, 4);
    for (int i = 0; i < 60; i++)
        library_update(lib, 4.0 + i / 60.0, 1.0f / 60.0f);
    press(lib, SDL_BUTTON_LEFT, l.x + l.w - 28, card_y(wav_pos) + 40, 5.0);
    EXPECT_FALSE(fs::exists(wav));
    std::string trashed = kit.path("share/Trash/files/tone.wav");
    ASSERT_TRUE(fs::exists(trashed));
    std::ifstream info(kit.path("share/Trash/info/tone.wav.trashinfo"));
    std::string text((std::istreambuf_iterator<char>(info)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("Path=" + wav), std::string::npos) << text;
    fs::rename(trashed, wav);
    std::ifstream back(wav, std::ios::binary);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(back)), std::istreambuf_iterator<char>()), bytes);
    // The filter narrows the cards as typed.
    lib->ui->filter_focused = 1;
    SDL_Event t{};
    t.type = SDL_TEXTINPUT;
    std::strcpy(t.text.text, "t");
    library_handle_event(lib, &t, 0, 0, nullptr, 6.0);
    library_rebuild_view(lib);
    EXPECT_EQ(lib->view_count, 5);   // all but the trashed one have a "t"
    std::strcpy(t.text.text, "ext");
    library_handle_event(lib, &t, 0, 0, nullptr, 6.0);
    library_rebuild_view(lib);
    EXPECT_EQ(lib->view_count, 1);
    begin();
    library_draw(c, nullptr, lib, &r, nullptr, nullptr, 6.0);
    end();
    shot("filtered");
}

// The take view and its tempo row: the play and pause glyphs, the waveform, the mark
// lines, the range strip's window, the row's status and cells.
class TakeViewDraw : public LibraryDraw {
protected:
    LibraryKit kit;
    LibraryWithPlayer with;
    Library* lib = with.lib;
    const CanvasRect r{0, 0, 600, 266};

    void SetUp() override
    {
        LibraryDraw::SetUp();
        if (HasFatalFailure())
            return;
        ASSERT_TRUE(library_add_file(lib, kit.wav("take.wav", 8 * 48000 + 24000).c_str(), true));
        ASSERT_TRUE(library_kit_pump(lib, [&] { return !lib->loading && lib->waveform_ready; }));
        library_init_colours(lib->ui->colours);
        lib->take.mouse_x = lib->take.mouse_y = -100;
    }
    void draw()
    {
        begin();
        library_draw_take_view(c, nullptr, lib, &r, 1.0);
        end();
    }
    const float* k(int i) { return lib->ui->colours[i]; }
    DrawPixel at(int x, int y) { return draw_fixture_pixel(&fx, x, y); }
    bool same(DrawPixel a, DrawPixel b) { return std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b) < 6; }
};

TEST_F(TakeViewDraw, GlyphsWaveformMarksWindowAndTheTempoRow)
{
    PreviewPlayer* p = &with.player;
    preview_pause(p);
    LibraryItem* item = library_loaded_item(lib);
    ASSERT_NE(item, nullptr);
    library_set_marks(lib, item, 0.25f, 0.75f);
    lib->window_start = 0.0f;
    lib->zoom = 1.0f;
    draw();
    shot("paused");
    // The play triangle (centre 26, 24) in the text colour; the waveform in its
    // rectangle (12, 46, 576, 90); the marks 2 units wide at 12 + 576 x mark.
    EXPECT_TRUE(draw_probe(&fx, 24, 24, rgb(k(4))));
    EXPECT_TRUE(draw_box_has(&fx, 14, 50, 586, 132, rgb(k(8))) || !draw_box_has(&fx, 14, 50, 586, 132, at(1, 60)));
    EXPECT_TRUE(draw_probe(&fx, 12 + 144, 60, rgb(k(6))));
    EXPECT_TRUE(draw_probe(&fx, 12 + 432, 60, rgb(k(6))));
    EXPECT_FALSE(draw_probe(&fx, 12 + 144 + 3, 60, rgb(k(6))));

    // Playing: the pause glyph's two bars with a gap; the window on the range strip
    // (12, 140, 576, 18) at 0.25..0.75 differs from the strip outside it.
    preview_play(p);
    lib->window_start = 0.25f;
    lib->zoom = 0.5f;
    draw();
    shot("playing");
    EXPECT_TRUE(draw_probe(&fx, 21, 20, rgb(k(4))));
    EXPECT_TRUE(draw_probe(&fx, 30, 20, rgb(k(4))));
    EXPECT_FALSE(draw_probe(&fx, 26, 20, rgb(k(4))));
    // The window's handles (4 units inside each end) stand out from the strip.
    EXPECT_FALSE(same(at(12 + 146, 149), at(12 + 60, 149)));
    EXPECT_FALSE(same(at(12 + 430, 149), at(12 + 60, 149)));
    EXPECT_TRUE(same(at(12 + 146, 149), at(12 + 430, 149)));
    EXPECT_FALSE(same(at(12 + 140, 149), at(12 + 146, 149)));

    // The tempo row: 120 BPM, one bar a segment, the grid a beat late: a lead cell, then
    // full cells; the status in the text colour.
    lib->tempo_row = 1;
    LibraryTake& t = lib->take;
    t.buffer = p->pending.load() ? p->pending.load() : p->current.load();
    t.generation = p->generation.load();
    t.frames = t.buffer->frames;
    t.rate = t.buffer->sample_rate;
    t.found = 1;
    t.bpm = 120.0f;
    t.first_beat = 0.0;
    t.key = 0;
    t.shift = 1;
    lib->bars_per_segment = 1;
    draw();
    shot("tempo-row");
    EXPECT_TRUE(draw_box_has(&fx, 12, 195, 140, 207, rgb(k(4))));   // "120.0 BPM  C MAJ"
    float pps = 576 / 8.5f;
    DrawPixel lead = at(12 + (int)(0.25 * pps), 224), one = at(12 + (int)(1.5 * pps), 224),
              two = at(12 + (int)(3.5 * pps), 224), gap = at(12 + (int)(2.5 * pps), 224);
    EXPECT_FALSE(same(lead, one));
    EXPECT_TRUE(same(one, two));
    EXPECT_FALSE(same(gap, one));   // a unit of strip between cells
    SegmentGrid g;
    ASSERT_TRUE(library_segment_grid(lib, &g));
    EXPECT_EQ(g.count, 5);
    lib->tempo_row = 0;
    t.buffer = nullptr;
}

// Opened at 60 and at 144 frames a second, the take view ends with its tempo row taking clicks.
TEST_F(TakeViewDraw, TheTempoRowShowsAndTakesClicksAtEveryFrameRate)
{
    library_set_option_b(lib, 1);
    library_set_tempo_row(lib, true);
    for (int fps : {60, 144}) {
        lib->ui->openness = 0.0f, lib->bars_per_segment = 1;
        for (double now = 10.0; now < 11.0; now += 1.0 / fps) {   // a second
            library_update(lib, now, 1.0f / (float)fps);
            canvas_begin(c, 0, 0, 1.0f);
            library_draw(c, nullptr, lib, &r, nullptr, nullptr, now);
            canvas_end(c);
        }
        EXPECT_EQ(lib->take.row.h, TAKE_TEMPO_ROW_HEIGHT) << fps;
        EXPECT_TRUE(press(lib, SDL_BUTTON_LEFT, lib->take.bar_choices[0].x + 4, lib->take.bar_choices[0].y + 4, 12.0));
        EXPECT_EQ(lib->bars_per_segment, 8) << fps;
    }
}

TEST_F(LibraryInProcess, TheCloudTabAClientsButtonLineAndHintsAndTheTreesMark)
{
    LibraryWithPlayer with;
    Library* lib = with.lib;
    TextRenderer* tr = text_renderer_create_in(fx.renderer, TESSEL_FONT_FOLDER);
    CloudClient *none = cloud_create("c", "e", ""), *ready = cloud_create("c", "e", "key");
    CanvasRect r{0, 0, 640, 400};
    const float* bg = lib->ui->colours[0];
    auto lit = [&](int x0, int y0, int x1, int y1) {   // pixels unlike the background
        int n = 0;
        for (int y = y0; y <= y1; y++)
            for (int x = x0; x <= x1; x++) {
                DrawPixel p = draw_fixture_pixel(&fx, x, y);
                n += std::abs(p.r - bg[0] * 255) + std::abs(p.g - bg[1] * 255) + std::abs(p.b - bg[2] * 255) > 40;
            }
        return n;
    };
    auto hint_ink = [&](CloudClient* cloud) {   // the centred hint's pixels
        begin();
        library_draw(c, tr, lib, &r, nullptr, cloud, 1.0);
        end();
        return lit(14, 200, 626, 235);
    };
    hint_ink(nullptr);   // lays out the tabs: ALL, CLOUD, LOCAL
    press(lib, SDL_BUTTON_LEFT, lib->ui->tabs[1].x + 4, lib->ui->tabs[1].y + 4, 1.0);
    int no_token = hint_ink(none), sign_in = hint_ink(ready);
    EXPECT_GT(no_token, sign_in + 200);   // the no-token hint is the longer
    EXPECT_GT(lit(346, 6, 560, 24), 40);   // the status line, left of the buttons
    // SIGN IN reaches the client: with no service behind it the sign-in fails.
    press(lib, SDL_BUTTON_LEFT, lib->ui->cloud_buttons[0].x + 4, lib->ui->cloud_buttons[0].y + 4, 2.0, ready);
    test_wait_until([&] { return !cloud_is_busy(ready); }, [] {}, 10);
    EXPECT_STRNE(cloud_status_text(ready), "SIGN IN");
    cloud_destroy(ready);
    cloud_destroy(none);
    // The tree keeps a mark it was given until the player's take changes.
    library_enable_browse(lib, true);
    lib->state.source = LIBRARY_SOURCE_BROWSE;
    foldertree_set_highlight(lib->tree, "/decoding.wav");
    hint_ink(nullptr);
    EXPECT_STREQ(lib->tree->highlight, "/decoding.wav");
    std::string take = kit.wav("take.wav", 4800);
    ASSERT_TRUE(library_add_file(lib, take.c_str(), true));
    hint_ink(nullptr);
    EXPECT_EQ(std::string(lib->tree->highlight), take);
    text_renderer_destroy(tr);
}

TEST_F(TakeViewDraw, TheTakesNameIsDrawnWithTheTextRenderer)
{
    TextRenderer* tr = text_renderer_create_in(fx.renderer, TESSEL_FONT_FOLDER);
    std::string name = kit.wav("\xC3\xA9t\xC3\xA9 \xE2\x80\x9Cn\xC3\xBC\xE2\x80\x9D.wav", 4800);   // été “nü”
    ASSERT_TRUE(library_add_file(lib, name.c_str(), true));
    ASSERT_TRUE(library_kit_pump(lib, [&] { return !lib->loading; }));
    const char* shown = library_loaded_item(lib)->name;
    float x0 = 0, y0 = 0, x1 = 0, y1 = 0;   // the name's ink box with the pen at (52, 17)
    ASSERT_TRUE(text_ink_bounds(tr, c, 3, shown, 14.0f, 400, &x0, &y0, &x1, &y1));
    auto drawn = [&](TextRenderer* t) {
        begin();
        if (!t)   // the name alone as the text renderer draws it there
            canvas_fill_rect(c, r.x, r.y, r.w, r.h, k(0));
        t ? library_draw_take_view(c, t, lib, &r, 1.0) : (void)text_draw(tr, c, 3, shown, 52, 17, 14.0f, 400, k(4), 0);
        end();
        std::string box;
        for (int y = 17 + (int)std::floor(y0), x = 52 + (int)std::floor(x0); y <= 18 + (int)y1; y++)
            box.append((const char*)fx.pixels->pixels + y * fx.pixels->pitch + 4 * x, 4 * (54 + (int)x1 - x));
        return box;
    };
    EXPECT_TRUE(drawn(nullptr) == drawn(tr));
    text_renderer_destroy(tr);
}

}  // namespace
