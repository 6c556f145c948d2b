// The take view and its tempo row on the GL renderer: the play and pause glyphs, the
// waveform, the mark lines, the range strip's window, the row's status and cells;
// pictures in build/shots.
#include <SDL.h>

#include "audio/preview.h"
#include "library/library.h"
#include "library/library_seams.h"
#include "library/views/library_view.h"
#include "support/draw_probe.h"
#include "support/library_kit.h"
#include "ui/canvas.h"

namespace {

DrawPixel rgb(const float* c)
{
    return draw_pixel_rgb((uint8_t)std::lround(c[0] * 255), (uint8_t)std::lround(c[1] * 255),
                          (uint8_t)std::lround(c[2] * 255));
}

class TakeViewDraw : public DrawTest {
protected:
    Canvas* c = nullptr;
    LibraryKit kit;
    LibraryWithPlayer with;
    Library* lib = with.lib;
    const CanvasRect r{0, 0, 600, 266};

    void SetUp() override
    {
        DrawTest::SetUp();
        if (HasFatalFailure())
            return;
        c = canvas_create(fx.renderer);
        ASSERT_NE(c, nullptr);
        ASSERT_TRUE(library_add_file(lib, kit.wav("take.wav", 8 * 48000 + 24000).c_str(), true));
        ASSERT_TRUE(library_kit_pump(lib, [&] { return !lib->loading && lib->waveform_ready; }));
        library_init_colours(lib->ui->colours);
        lib->take.mouse_x = lib->take.mouse_y = -100;
    }
    void TearDown() override
    {
        canvas_destroy(c);
        DrawTest::TearDown();
    }
    void draw()
    {
        draw_fixture_clear(&fx, 0, 0, 0);
        canvas_begin(c, 0, 0, 1.0f);
        library_draw_take_view(c, nullptr, lib, &r, 1.0);
        canvas_end(c);
        read();
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

} // namespace
