// take_view.cpp - the take view: the loaded take's play button, name, times and
// volume, its waveform with the marks and the play position, the range strip that
// chooses the visible window, the volume slider and the region-loop button; and its
// mouse, handed on by the library view.
#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "audio/preview.h"
#include "library/library.h"
#include "library/library_seams.h"
#include "library/views/library_view.h"
#include "library/views/lv_draw.h"
#include "library/views/wavestrip.h"
#include "ui/canvas.h"

static const float kMarkReach = 7.0f;       // units either side of a mark's line
static const double kAheadMax = 0.06;       // seconds the drawn play head may run ahead

static void layout(Library* lib, const CanvasRect* r)
{
    LibraryTake* t = &lib->take;
    t->row = t->segments = CanvasRect{};
    t->play_button = CanvasRect{r->x + 12, r->y + 10, 28, 28};
    t->wave = CanvasRect{r->x + 12, r->y + 46, r->w - 24, 90};
    t->strip = CanvasRect{r->x + 12, r->y + 140, r->w - 24, 18};
    t->volume_slider = CanvasRect{r->x + 58, r->y + 166, 160, 12};
    t->region_button = CanvasRect{r->x + r->w - 12 - 96, r->y + 163, 96, 18};
}

static TakeRangeState range_state(const Library* lib, const LibraryItem* item)
{
    TakeRangeState s{lib->window_start, lib->window_start + lib->zoom, 0.02f, 0, 0.0f, 1.0f, 1};
    if (item && item->has_marks) {
        s.has_marks = 1;
        s.mark_in = item->mark_in;
        s.mark_out = item->mark_out;
    }
    return s;
}

// The fraction of the take under x in the waveform; false without a usable width.
static bool wave_fraction(const Library* lib, float x, float* f)
{
    const CanvasRect& w = lib->take.wave;
    if (!(w.w > 0.0f))
        return false;
    float v = (x - w.x) / w.w * lib->zoom + lib->window_start;
    if (!std::isfinite(v))
        return false;
    *f = std::clamp(v, 0.0f, 1.0f);
    return true;
}

static float mark_x(const Library* lib, float mark)
{
    const CanvasRect& w = lib->take.wave;
    return (mark - lib->window_start) / lib->zoom * w.w + w.x;
}

static void time_text(double seconds, char* out, size_t cap)
{
    long s = std::lround(seconds);
    if (!(seconds > 0.0) || s <= 0) {
        out[0] = '\0';
        return;
    }
    snprintf(out, cap, "%ld:%02ld", s / 60, s % 60);
}

static double take_duration(const Library* lib, const LibraryItem* item)
{
    double d = preview_duration(lib->player);
    return d > 0.0 ? d : item ? item->duration : 0.0;
}

// The play position drawn: the player's, carried on smoothly between its updates.
static float shown_position(Library* lib, double duration, double now)
{
    LibraryTake* t = &lib->take;
    float p = (float)preview_position(lib->player);
    if (p != t->shown_position) {
        t->shown_position = p;
        t->shown_time = now;
    }
    if (!preview_is_playing(lib->player) || !(duration > 0.0))
        return p;
    double ahead = std::min((now - t->shown_time) / duration, kAheadMax / duration);
    return (float)std::min(1.0, p + std::max(0.0, ahead));
}

static void draw_play_button(Canvas* c, Library* lib, const float (*k)[4], double now)
{
    const CanvasRect& b = lib->take.play_button;
    bool hover = lv_inside(b, lib->take.mouse_x, lib->take.mouse_y);
    float ink[4], white[4] = {1, 1, 1, 1};
    lv_mix(k[4], white, hover ? 0.25f : 0.0f, ink);
    if (lib->loading) {
        double tt = std::fmod(now, 10.0);
        ink[3] *= (float)(0.45 + 0.25 * std::sin(2 * M_PI * 1.2 * tt));
    }
    float cx = b.x + 14, cy = b.y + 14;
    if (lib->loading || preview_is_playing(lib->player)) {
        canvas_fill_rect(c, cx - 7, cy - 9, 5, 18, ink);
        canvas_fill_rect(c, cx + 2, cy - 9, 5, 18, ink);
    } else {
        canvas_fill_triangle(c, cx - 6, cy - 9, cx - 6, cy + 9, cx + 9, cy, ink);
    }
}

static void draw_texts(Canvas* c, TextRenderer* tr, Library* lib, const LibraryItem* item, const CanvasRect* r,
                       double pos, double duration, const float (*k)[4])
{
    char p[16], d[16], line[96];
    time_text(pos * duration, p, sizeof p);
    time_text(duration, d, sizeof d);
    int vol = (int)std::lround(lib->volume * 100.0f);
    if (item->has_marks) {
        char a[16], b[16], len[16];
        time_text(item->mark_in * duration, a, sizeof a);
        time_text(item->mark_out * duration, b, sizeof b);
        time_text((item->mark_out - item->mark_in) * duration, len, sizeof len);
        snprintf(line, sizeof line, "%s > %s = %s     %s / %s   %d%%", a, b, len, p, d, vol);
    } else {
        snprintf(line, sizeof line, "%s / %s   %d%%", p, d, vol);
    }
    canvas_draw_pixel_text(c, line, r->x + r->w - 12, r->y + 20, 1.0f, k[5], 2);
    float room = r->w - 64 - canvas_pixel_text_width(c, line, 1.0f) - 24;
    lv_draw_name(c, tr, item->name, r->x + 52, r->y + 17, 14.0f, room, k[4]);
}

static void draw_wave(Canvas* c, Library* lib, const LibraryItem* item, float pos, const float (*k)[4])
{
    const CanvasRect& w = lib->take.wave;
    if (lib->loading || !lib->waveform_ready) {
        canvas_draw_pixel_text(c, lib->loading ? "READING THE TAKE..." : "NO WAVEFORM", w.x + w.w / 2,
                               w.y + w.h / 2 - 3.5f, 1.0f, k[5], 1);
        return;
    }
    int32_t first = std::clamp((int32_t)(lib->window_start * (float)LIBRARY_WAVEFORM_COLUMNS), 0,
                               LIBRARY_WAVEFORM_COLUMNS - 1);
    int32_t count = std::clamp((int32_t)std::ceil(lib->zoom * (float)LIBRARY_WAVEFORM_COLUMNS), 1,
                               LIBRARY_WAVEFORM_COLUMNS - first);
    WaveViewWave wave{};
    wave.points = lib->take_waveform + first;
    wave.count = count;
    wave.x = w.x;
    wave.y = w.y;
    wave.w = w.w;
    wave.h = w.h;
    wave.still = 1;
    wave.growth = -1.0f;
    wave.colour = k[8];
    waveview_draw_wave(c, &wave, nullptr);
    if (item->has_marks) {
        for (float m : {item->mark_in, item->mark_out}) {
            float x = mark_x(lib, m);
            if (x >= w.x - 1 && x <= w.x + w.w + 1)
                canvas_fill_rect(c, x - 1, w.y, 2, w.h, k[6]);
        }
    }
    float x = (pos - lib->window_start) / lib->zoom * w.w + w.x;
    if (x >= w.x && x <= w.x + w.w)
        canvas_fill_rect(c, x - 1, w.y, 2, w.h, k[4]);
}

static void draw_strip(Canvas* c, TextRenderer* tr, Library* lib, const LibraryItem* item, float pos,
                       const float (*k)[4])
{
    const CanvasRect& s = lib->take.strip;
    WaveViewLane lane{0.0f, 1.0f, lib->waveform_ready ? lib->take_waveform : nullptr, LIBRARY_WAVEFORM_COLUMNS};
    const TakeRange& range = lib->take.range;
    WaveViewOverlay o{&lane, 1, lib->window_start, lib->window_start + lib->zoom,
                      (uint8_t)(range.drag >= TAKE_RANGE_LEFT_EDGE), pos,
                      range.hovered || range.drag ? range.last_x : NAN,
                      range.drag == TAKE_RANGE_LEFT_EDGE ? 1 : range.drag == TAKE_RANGE_RIGHT_EDGE ? 2 : 0};
    waveview_draw_overlay(c, tr, &s, &o);
    if (item->has_marks)
        for (float m : {item->mark_in, item->mark_out})
            canvas_fill_rect(c, s.x + m * s.w - 1, s.y, 2, s.h, k[6]);
    TakeRangeState st = range_state(lib, item);
    int32_t hover = take_range_hover_kind(&lib->take.range, &st, s.w, s.h);
    if (hover)
        lv_hit(c, s.x, s.y, s.w, s.h, hover == TAKE_RANGE_MOVE ? 9 : 5);
}

static void draw_controls(Canvas* c, Library* lib, const float (*k)[4])
{
    LibraryTake* t = &lib->take;
    const CanvasRect& v = t->volume_slider;
    canvas_draw_pixel_text(c, "GAIN", v.x - 8, v.y + 2.5f, 1.0f, k[5], 2);
    canvas_fill_rect(c, v.x, v.y + 5, v.w, 2, k[1]);
    canvas_fill_rect(c, v.x, v.y + 5, v.w * lib->volume, 2, k[6]);
    canvas_fill_rect(c, v.x + v.w * lib->volume - 2, v.y, 4, v.h, k[4]);
    const CanvasRect& b = t->region_button;
    float fill[4];
    lv_mix(k[1], k[6], lib->region_loop ? 0.55f : lv_inside(b, t->mouse_x, t->mouse_y) ? 0.22f : 0.0f, fill);
    canvas_fill_rect(c, b.x, b.y, b.w, b.h, fill);
    canvas_draw_pixel_text(c, "LOOP MARKS", b.x + b.w / 2, b.y + 5.5f, 1.0f, lib->region_loop ? k[4] : k[5], 1);
}

void library_draw_take_view(Canvas* c, TextRenderer* tr, Library* lib, const CanvasRect* r, double now)
{
    if (!c || !lib || !r || !lib->ui)
        return;
    LibraryItem* item = library_loaded_item(lib);
    if (!item)
        return;
    const float(*k)[4] = lib->ui->colours;
    CanvasRect saved;
    bool had = canvas_get_clip(c, &saved);
    canvas_set_clip(c, r);
    float h = lib->player_only ? r->h : std::min(r->h, TAKE_VIEW_HEIGHT);
    canvas_fill_rect(c, r->x, r->y, r->w, h, k[0]);
    lv_hit(c, r->x, r->y, r->w, h, 2);
    layout(lib, r);
    double duration = take_duration(lib, item);
    float pos = shown_position(lib, duration, now);
    draw_play_button(c, lib, k, now);
    draw_texts(c, tr, lib, item, r, pos, duration, k);
    draw_wave(c, lib, item, pos, k);
    draw_strip(c, tr, lib, item, pos, k);
    draw_controls(c, lib, k);
    if (lib->tempo_row && !lib->player_only && r->h >= TAKE_VIEW_HEIGHT + TAKE_TEMPO_ROW_HEIGHT) {
        CanvasRect row{r->x, r->y + TAKE_VIEW_HEIGHT, r->w, TAKE_TEMPO_ROW_HEIGHT};
        library_draw_tempo(c, tr, lib, &row, now);
    }
    canvas_set_clip(c, had ? &saved : nullptr);
}

// -- Mouse ----------------------------------------------------------------------

void library_take_action(Library* lib, const TakeAction* a)
{
    if (!lib || !a)
        return;
    LibraryItem* item = library_loaded_item(lib);
    switch (a->kind) {
    case TAKE_ACTION_SEEK:
        preview_seek(lib->player, std::clamp(a->a, 0.0f, 1.0f));
        break;
    case TAKE_ACTION_IN:
        if (item)
            library_set_marks(lib, item, a->a, item->has_marks ? item->mark_out : 1.0f);
        break;
    case TAKE_ACTION_OUT:
        if (item)
            library_set_marks(lib, item, item->has_marks ? item->mark_in : 0.0f, a->a);
        break;
    case TAKE_ACTION_EDGE:
    case TAKE_ACTION_MOVE: {
        lib->window_start = a->a;
        lib->zoom = a->b - a->a;
        lib->take_dirty = 1;
        double d = take_duration(lib, item);
        if (d > 0.0)
            lib->reference_length = (float)(d * lib->zoom);
        break;
    }
    default: break;
    }
}

static float slider_value(const Library* lib, float x)
{
    const CanvasRect& v = lib->take.volume_slider;
    return v.w > 0.0f ? std::clamp((x - v.x) / v.w, 0.0f, 1.0f) : lib->volume;
}

static void toggle_region_loop(Library* lib, LibraryItem* item)
{
    lib->region_loop = lib->region_loop ? 0 : 1;
    lib->take.chop = 0;
    preview_set_looping(lib->player, lib->region_loop != 0);
    float in = item ? item->mark_in : 0.0f, out = item ? item->mark_out : 1.0f;
    preview_set_region(lib->player, in, out, lib->region_loop || (item && item->has_marks));
    double p = preview_position(lib->player);
    if (lib->region_loop && (p < in || p > out))
        preview_seek(lib->player, in);
}

// A left press on a mark's line in the waveform: 1 in, 2 out, 0 none (out first).
static int32_t mark_under(const Library* lib, const LibraryItem* item, float x, float y)
{
    if (!item || !lv_inside(lib->take.wave, x, y))
        return 0;
    float in = item->has_marks ? item->mark_in : 0.0f, out = item->has_marks ? item->mark_out : 1.0f;
    if (std::fabs(x - mark_x(lib, out)) <= kMarkReach)
        return 2;
    if (std::fabs(x - mark_x(lib, in)) <= kMarkReach)
        return 1;
    return 0;
}

bool library_take_press(Library* lib, int32_t button, int32_t clicks, float x, float y)
{
    if (!lib)
        return false;
    LibraryTake* t = &lib->take;
    LibraryItem* item = library_loaded_item(lib);
    bool left = button == SDL_BUTTON_LEFT;
    if (left && lib->player && lv_inside(t->region_button, x, y)) {
        toggle_region_loop(lib, item);
        return true;
    }
    if (left && lv_inside(t->volume_slider, x, y)) {
        library_set_volume(lib, clicks >= 2 ? 1.0f : slider_value(lib, x));
        t->volume_drag = clicks >= 2 ? 0 : 1;
        return true;
    }
    int32_t mark = left ? mark_under(lib, item, x, y) : 0;
    if (mark) {
        if (clicks >= 2) {
            float in = mark == 1 ? 0.0f : item->mark_in, out = mark == 2 ? 1.0f : item->mark_out;
            if (in <= 0.0f && out >= 1.0f)
                library_clear_marks(lib, item);
            else
                library_set_marks(lib, item, in, out);
        } else {
            t->mark_drag = mark;
            lib->marks_deferred = 1;
        }
        return true;
    }
    if (left && lv_inside(t->play_button, x, y)) {
        library_play_item(lib, item);
        return true;
    }
    float f;
    if (left && lib->player && lv_inside(t->wave, x, y) && wave_fraction(lib, x, &f)) {
        preview_seek(lib->player, f);
        t->scrubbing = 1;
        return true;
    }
    if (lib->tempo_row && !lib->player_only && lv_inside(t->row, x, y))
        return left && library_tempo_press(lib, x, y, lib->ui ? lib->ui->now : 0.0);
    TakeRangeState s = range_state(lib, item);
    TakeAction a;
    if (take_range_press(&t->range, &s, t->strip.w, t->strip.h, left, x - t->strip.x, y - t->strip.y, &a)) {
        library_take_action(lib, &a);
        return true;
    }
    return lv_inside(t->play_button, x, y) || lv_inside(t->wave, x, y);
}

bool library_take_motion(Library* lib, float x, float y)
{
    if (!lib)
        return false;
    LibraryTake* t = &lib->take;
    t->mouse_x = x;
    t->mouse_y = y;
    LibraryItem* item = library_loaded_item(lib);
    float f;
    if (t->volume_drag) {
        library_set_volume(lib, slider_value(lib, x));
        return true;
    }
    if (t->mark_drag) {
        if (item && wave_fraction(lib, x, &f)) {
            float in = item->has_marks ? item->mark_in : 0.0f, out = item->has_marks ? item->mark_out : 1.0f;
            library_set_marks(lib, item, t->mark_drag == 1 ? f : in, t->mark_drag == 2 ? f : out);
        }
        return true;
    }
    if (t->scrubbing) {
        if (wave_fraction(lib, x, &f))
            preview_seek(lib->player, f);
        return true;
    }
    if (lib->tempo_row && t->segment_press >= 0) {
        library_tempo_motion(lib, x, y, lib->ui ? lib->ui->now : 0.0);
        return true;
    }
    if (lv_inside(t->strip, x, y) || t->range.hovered || t->range.drag) {
        TakeRangeState s = range_state(lib, item);
        TakeAction a;
        take_range_motion(&t->range, &s, t->strip.w, t->strip.h, x - t->strip.x, y - t->strip.y, &a);
        library_take_action(lib, &a);
        return t->range.drag != 0;
    }
    return false;
}

bool library_take_release(Library* lib, int32_t button, float x, float y)
{
    if (!lib)
        return false;
    LibraryTake* t = &lib->take;
    bool used = t->volume_drag || t->mark_drag || t->scrubbing;
    t->volume_drag = 0;
    t->scrubbing = 0;
    if (t->mark_drag) {
        t->mark_drag = 0;
        lib->marks_deferred = 0;
        library_save_marks(lib);
    }
    if (lib->tempo_row && t->segment_press >= 0)
        used = library_tempo_release(lib, x, y) || used;
    if (t->range.drag) {
        TakeAction a;
        take_range_release(&t->range, t->strip.w, button == SDL_BUTTON_LEFT, x - t->strip.x, &a);
        library_take_action(lib, &a);
        used = true;
    }
    return used;
}

// -- The library view's hand-over -------------------------------------------------

bool library_take_view_press(Library* lib, const SDL_Event* e, float x, float y)
{
    return e && library_take_press(lib, e->button.button, e->button.clicks, x, y);
}

bool library_take_view_motion(Library* lib, const SDL_Event* e, float x, float y)
{
    return library_take_motion(lib, x, y);
}

bool library_take_view_release(Library* lib, const SDL_Event* e, float x, float y)
{
    return e && library_take_release(lib, e->button.button, x, y);
}
