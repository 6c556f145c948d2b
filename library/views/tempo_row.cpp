// tempo_row.cpp - the take view's tempo row: the found tempo and key, the loop
// switch, the bars-per-segment choice, the grid's arrows and the segment strip, whose
// cells play a segment on a click and export and drag it out on a drag.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "audio/preview.h"
#include "library/library.h"
#include "library/marks.h"
#include "library/views/library_view.h"
#include "library/views/lv_draw.h"
#include "ui/canvas.h"

static const int32_t kChoices[4] = {8, 4, 2, 1};    // right to left
static const char* const kChoiceLabels[4] = {"8", "4", "2", "1"};
static const float kDragThreshold = 6.0f;
static const double kSeekLead = 0.003;

static void layout(Library* lib, const CanvasRect* row)
{
    LibraryTake* t = &lib->take;
    t->row = *row;
    t->loop_toggle = CanvasRect{row->x + row->w - 12 - 62, row->y + 6, 62, 18};
    for (int j = 0; j < 4; j++)
        t->bar_choices[j] = CanvasRect{t->loop_toggle.x - 16 - 24 - 26.0f * j, row->y + 6, 24, 18};
    float label_x = t->bar_choices[3].x - 8 - 5 * 4 * 1.2f;
    for (int j = 0; j < 2; j++)
        t->arrows[j] = CanvasRect{label_x - 12 - 20 - 22.0f * (1 - j), row->y + 6, 20, 18};
    t->segments = CanvasRect{row->x + 12, row->y + 32, row->w - 24, 38};
}

static void status_text(Library* lib, double now, char* out, size_t cap, int32_t* tone)
{
    const LibraryTake* t = &lib->take;
    *tone = 5;
    SegmentGrid g;
    if (t->status[0] && now - t->status_time < TAKE_STATUS_SECONDS) {
        snprintf(out, cap, "%s", t->status);
        *tone = 4;
    } else if (!t->buffer) {
        snprintf(out, cap, "NOTHING PLAYING");
    } else if (!t->found) {
        snprintf(out, cap, "FINDING TEMPO... %d%%", (int)(tempo_analysis_progress(&t->analysis) * 100));
        *tone = 6;
    } else if (!(t->bpm > 0.0f)) {
        snprintf(out, cap, "NO STEADY PULSE");
    } else if (!library_segment_grid(lib, &g)) {
        snprintf(out, cap, "TOO SHORT");
    } else {
        snprintf(out, cap, "%.1f BPM  %s", t->bpm, key_name(t->key));
        *tone = 4;
    }
}

static void draw_box(Canvas* c, const CanvasRect& r, const float* fill, const char* label, const float* ink)
{
    canvas_fill_rect(c, r.x, r.y, r.w, r.h, fill);
    canvas_draw_pixel_text(c, label, r.x + r.w / 2, r.y + 5.5f, 1.2f, ink, 1);
}

static void draw_cells(Canvas* c, Library* lib, const float (*k)[4])
{
    LibraryTake* t = &lib->take;
    const CanvasRect& s = t->segments;
    canvas_fill_rect(c, s.x, s.y, s.w, s.h, k[1]);
    SegmentGrid g;
    if (!library_segment_grid(lib, &g))
        return;
    float span = (float)(g.duration * g.pixels_per_second);
    t->segment_scroll = std::max(0.0f, std::min(t->segment_scroll, span - s.w));
    CanvasRect saved;
    bool had = canvas_get_clip(c, &saved);
    canvas_set_clip(c, &s);
    for (int32_t i = 0; i < g.count; i++) {
        double a, b;
        segment_grid_bounds(&g, i, &a, &b);
        float x0 = (float)(s.x + a * g.pixels_per_second - t->segment_scroll);
        float x1 = (float)(s.x + b * g.pixels_per_second - t->segment_scroll);
        if (x1 < s.x || x0 > s.x + s.w)
            continue;
        bool partial = segment_grid_partial(&g, i);
        bool chopped = t->chop && std::fabs(t->chop_start - a) < 1e-6;
        bool hover = lv_inside(CanvasRect{x0, s.y, x1 - x0, s.h}, t->mouse_x, t->mouse_y);
        float fill[4];
        lv_mix(k[1], partial ? k[7] : k[6], i == t->segment_press ? 0.6f : chopped ? 0.45f : hover ? 0.3f : 0.15f,
               fill);
        canvas_fill_rect(c, x0 + 1, s.y, x1 - x0 - 2, s.h, fill);
        char label[24];
        int32_t bars = lib->bars_per_segment < 1 ? 4 : lib->bars_per_segment;
        if (partial)
            snprintf(label, sizeof label, "%.1f BEATS", (b - a) / g.beat);
        else
            snprintf(label, sizeof label, "%d BAR%s", bars, bars == 1 ? "" : "S");
        if (x1 - x0 > canvas_pixel_text_width(c, label, 1.0f) + 8)
            canvas_draw_pixel_text(c, label, (x0 + x1) / 2, s.y + s.h / 2 - 3.5f, 1.0f, chopped ? k[4] : k[5], 1);
    }
    canvas_set_clip(c, had ? &saved : nullptr);
}

void library_draw_tempo(Canvas* c, TextRenderer* tr, Library* lib, const CanvasRect* row, double now)
{
    if (!c || !lib || !row || !lib->ui)
        return;
    const float(*k)[4] = lib->ui->colours;
    layout(lib, row);
    LibraryTake* t = &lib->take;
    canvas_fill_rect(c, row->x, row->y, row->w, row->h, k[0]);
    char status[80];
    int32_t tone;
    status_text(lib, now, status, sizeof status, &tone);
    canvas_draw_pixel_text(c, status, row->x + 12, row->y + 11, 1.2f, k[tone], 0);
    if (t->buffer && !t->found)
        canvas_fill_rect(c, t->segments.x, t->segments.y + t->segments.h - 4,
                         t->segments.w * tempo_analysis_progress(&t->analysis), 4, k[6]);
    bool looping = lib->player && lib->player->looping.load(std::memory_order_relaxed) && !lib->region_loop;
    float off[4], on[4];
    lv_mix(k[1], k[6], 0.0f, off);
    lv_mix(k[1], k[6], 0.55f, on);
    draw_box(c, t->loop_toggle, looping ? on : off, "LOOP", looping ? k[4] : k[5]);
    for (int j = 0; j < 4; j++) {
        bool chosen = lib->bars_per_segment == kChoices[j];
        float fill[4];
        lv_mix(k[1], k[6], chosen ? 0.55f : lv_inside(t->bar_choices[j], t->mouse_x, t->mouse_y) ? 0.22f : 0.0f, fill);
        draw_box(c, t->bar_choices[j], fill, kChoiceLabels[j], chosen ? k[4] : k[5]);
    }
    canvas_draw_pixel_text(c, "BARS", t->bar_choices[3].x - 8, row->y + 11.5f, 1.2f, k[5], 2);
    for (int j = 0; j < 2; j++) {
        const CanvasRect& a = t->arrows[j];
        const float* ink = lv_inside(a, t->mouse_x, t->mouse_y) ? k[4] : k[5];
        float cx = a.x + a.w / 2, cy = a.y + a.h / 2;
        if (j == 0)
            canvas_fill_triangle(c, cx + 4, cy - 5, cx + 4, cy + 5, cx - 4, cy, ink);
        else
            canvas_fill_triangle(c, cx - 4, cy - 5, cx - 4, cy + 5, cx + 4, cy, ink);
    }
    draw_cells(c, lib, k);
}

// The cell under x in the segment strip, or -1.
static int32_t cell_at(Library* lib, float x)
{
    SegmentGrid g;
    if (!library_segment_grid(lib, &g) || !(g.pixels_per_second > 0.0))
        return -1;
    return segment_grid_at(&g, (x - lib->take.segments.x + lib->take.segment_scroll) / g.pixels_per_second);
}

bool library_tempo_press(Library* lib, float x, float y, double now)
{
    LibraryTake* t = &lib->take;
    if (lv_inside(t->loop_toggle, x, y)) {
        bool was = lib->player && lib->player->looping.load(std::memory_order_relaxed);
        preview_set_looping(lib->player, !was || lib->region_loop);
        lib->region_loop = 0;
        t->chop = 0;
        library_follow_segment(lib);
        return true;
    }
    for (int j = 0; j < 4; j++) {
        if (lv_inside(t->bar_choices[j], x, y)) {
            lib->bars_per_segment = kChoices[j];
            t->segment_scroll = 0.0f;
            t->chop = 0;
            return true;
        }
    }
    for (int j = 0; j < 2; j++) {
        if (lv_inside(t->arrows[j], x, y)) {
            t->shift += j ? 1 : -1;
            t->chop = 0;
            library_set_grid_shift(lib, lib->loaded_path, t->shift);
            return true;
        }
    }
    if (lv_inside(t->segments, x, y)) {
        t->segment_press = cell_at(lib, x);
        t->press_x = x;
        t->press_y = y;
    }
    return true;
}

void library_tempo_motion(Library* lib, float x, float y, double now)
{
    LibraryTake* t = &lib->take;
    if (t->segment_press < 0 || std::fabs(x - t->press_x) + std::fabs(y - t->press_y) <= kDragThreshold)
        return;
    library_export_bar(lib, t->segment_press, now);
}

bool library_tempo_release(Library* lib, float x, float y)
{
    LibraryTake* t = &lib->take;
    int32_t k = t->segment_press;
    t->segment_press = -1;
    LibrarySegment seg;
    SegmentGrid g;
    if (k < 0 || !library_segment(lib, k, &seg) || !library_segment_grid(lib, &g) || !lib->player)
        return k >= 0;
    if (lib->player->looping.load(std::memory_order_relaxed) && !lib->region_loop) {
        preview_set_region(lib->player, seg.start / g.duration, (seg.start + seg.length) / g.duration, true);
        t->chop = 1;
        t->chop_start = seg.start;
        t->chop_end = seg.start + seg.length;
    }
    preview_seek(lib->player, (seg.start + kSeekLead) / g.duration);
    if (!preview_is_playing(lib->player))
        preview_play(lib->player);
    return true;
}

bool library_take_wheel(Library* lib, float x, float y, int32_t notches)
{
    SegmentGrid g;
    if (!lib || !lib->tempo_row || lib->player_only || !lv_inside(lib->take.segments, x, y) ||
        !library_segment_grid(lib, &g))
        return false;
    lib->take.segment_scroll -= (float)notches * g.segment_width;   // clamped when drawn
    return true;
}
