// loop_panel.cpp - the loop player panel at the foot of the library side: the take in
// the library player as a row of bars at its found tempo, with the loop and to-input
// switches, the bars-per-loop choice, the grid steppers, the play head, the looped bar
// and, while a bar is dragged, the chip and the REPLACE target over the loop display.
// Writes the hit rectangles app/player_panel.cpp reads.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "app/app_events.h"
#include "app/app_state.h"
#include "app/take_grid.h"
#include "app/panels/main/view.h"
#include "app/panels/main/view_palette.h"
#include "audio/preview.h"
#include "audio/tempo.h"
#include "ui/drawkit.h"

static const float kPanelY = 986.0f, kRowY = 991.0f, kStripY = 1014.0f;
static const float kStripW = 568.0f, kStripH = 44.0f;
static const char* const kBarLabels[4] = {"1", "2", "4", "8"};
static const int32_t kBarChoices[4] = {1, 2, 4, 8};
// The room a label keeps before the control it names.
static const float kLabelGap = 8.0f;

static bool over(const AppState* app, const HitRect& r)
{
    return app->mouse_x >= r.x && app->mouse_x < r.x + r.w && app->mouse_y >= r.y && app->mouse_y < r.y + r.h;
}

// How much wider than its layout width a label is drawn: below one device pixel a font
// pixel the text grows, and what stands beside it moves over to keep its gap.
static float growth(const DrawKit* kit, const char* label)
{
    return std::max(0.0f, draw_text_span(kit, label, 1.2f) - draw_text_width(label, 1.2f));
}

// The row is laid out from the LOOP switch at the panel's right end leftwards: the
// TO INPUT switch ends its label 30 units before the LOOP box, the bars-per-loop
// buttons keep their place before it, and the steppers their gap before "BARS".
static void layout(AppState* app, const DrawKit* kit, float L)
{
    AppPlayerRects& r = app->player_rects;
    r.panel = HitRect{L + 10, kPanelY, 580, 78};
    r.strip = HitRect{L + 16, kStripY, kStripW, kStripH};
    r.loop_switch = HitRect{L + 524, kRowY, 62, 18};
    float g = growth(kit, "TO INPUT");
    r.to_input_switch = HitRect{L + 420 - g, kRowY, 100 + g, 18};
    float T = r.to_input_switch.x;
    for (int k = 0; k < 4; k++)
        r.bars[k] = HitRect{T - 12 - 26.0f * (4 - k), kRowY, 24, 18};
    float B = r.bars[0].x, wB = draw_text_span(kit, "BARS", 1.2f);
    for (int j = 0; j < 2; j++)
        r.steppers[j] = HitRect{B - 16 - wB - 22.0f * (2 - j), kRowY, 20, 18};
}

static void draw_controls(AppState* app, DrawKit* kit)
{
    const AppPlayerRects& r = app->player_rects;
    view_tab(app, kit, r.loop_switch, "LOOP", app->player_loop != 0);
    view_tab(app, kit, r.to_input_switch, "TO INPUT", app->player_to_input != 0);
    for (int k = 0; k < 4; k++) {
        bool chosen = app->bars_per_segment == kBarChoices[k], hover = over(app, r.bars[k]);
        float t = chosen ? 0.55f : hover ? 0.22f : 0.08f;
        draw_fill(kit, r.bars[k].x, r.bars[k].y, r.bars[k].w, r.bars[k].h, color_lerp(VIEW_BACKGROUND, VIEW_MAGENTA, t));
        draw_text_centered(kit, kBarLabels[k], r.bars[k].x + 12, 996, 1.2f,
                           chosen ? VIEW_BRIGHT : hover ? VIEW_LIGHT : VIEW_MUTED);
    }
    draw_text(kit, "BARS", r.bars[0].x - kLabelGap - draw_text_span(kit, "BARS", 1.2f), 996, 1.2f, VIEW_MUTED);
    for (int j = 0; j < 2; j++) {
        const HitRect& s = r.steppers[j];
        bool hover = over(app, s);
        if (hover)
            draw_fill(kit, s.x, s.y, s.w, s.h, draw_rgba(66, 13, 41, 255));
        uint32_t icon = hover ? VIEW_BRIGHT : VIEW_MUTED;
        for (int c = 0; c < 5; c++) {
            float h = 2.0f + 2.0f * c;
            float x = j == 0 ? s.x + 6 + 2.0f * c : s.x + 12 - 2.0f * c;
            draw_fill(kit, x, 1000 - h / 2, 2, h, icon);
        }
    }
}

// A status text at the row's left. In a small window the row's labels are drawn wider
// than their layout and push the steppers towards it: what does not fit before the
// left stepper's icon is left off, whole words first and the key as one ("120.0 BPM
// A MAJ" shows "120.0 BPM"), so the text never runs into the icon.
static void status_text(AppState* app, DrawKit* kit, float L, const char* text, uint32_t colour)
{
    char shown[48];
    snprintf(shown, sizeof shown, "%s", text);
    float room = app->player_rects.steppers[0].x + 6 - kLabelGap - (L + 18);
    size_t n = strlen(shown);
    while (n > 0 && draw_text_span(kit, shown, 1.2f) > room) {
        // A double space parts the tempo from the key: the key goes whole.
        char* space = strstr(shown, "  ");
        if (!space || space == shown)
            space = strrchr(shown, ' ');
        n = space && space != shown ? (size_t)(space - shown) : n - 1;
        while (n > 0 && shown[n - 1] == ' ')
            n--;
        shown[n] = '\0';
    }
    draw_text(kit, shown, L + 18, 996, 1.2f, colour);
}

// The strip's status line; false when there are no bars to draw.
static bool draw_status(AppState* app, DrawKit* kit, float L, TakeBeatGrid* g)
{
    const TakeGridState& st = app->take_grid;
    if (!st.buffer) {
        status_text(app, kit, L, "NOTHING PLAYING", VIEW_MUTED);
        return false;
    }
    if (!st.has_result) {
        status_text(app, kit, L, "FINDING TEMPO...", VIEW_LIGHT_TEAL);
        draw_fill(kit, L + 16, 1034, tempo_analysis_progress(&st.analysis) * kStripW, 4, VIEW_LIGHT_TEAL);
        return false;
    }
    if (!take_beat_grid(app, g)) {
        status_text(app, kit, L, st.bpm > 0.0f ? "TOO SHORT" : "NO STEADY PULSE", VIEW_MUTED);
        return false;
    }
    char text[48];
    snprintf(text, sizeof text, "%.1f BPM  %s", st.bpm, key_name(st.key));
    status_text(app, kit, L, text, VIEW_BRIGHT);
    return true;
}

static uint32_t bar_colour(const TakeBeatGrid& g, int32_t i)
{
    if (segment_grid_partial(&g, i))
        return VIEW_ORANGE;
    return i % 2 ? VIEW_TEAL : VIEW_LIGHT_TEAL;
}

// Columns every 3 units, each the envelope's peak at its time.
static void draw_bar_wave(AppState* app, DrawKit* kit, const TakeBeatGrid& g, double start, float left, float right,
                          float x0, uint32_t colour)
{
    const TakeGridState& st = app->take_grid;
    if (!st.envelope || st.envelope_count < 1)
        return;
    double quarter = g.beat / 4.0;
    for (float x = left + 1; x + 2 <= right; x += 3) {
        double t = (x - x0) / g.pixels_per_second + start;
        int64_t k = std::clamp((int64_t)(t / quarter), (int64_t)0, (int64_t)st.envelope_count - 1);
        float a = std::max(1.0f, std::min(1.0f, st.envelope[k]) * 34.0f);
        draw_fill(kit, x, 1036 - a / 2, 2, a, colour);
    }
}

static void draw_bars(AppState* app, DrawKit* kit, const TakeBeatGrid& g)
{
    const HitRect S = app->player_rects.strip;
    double play_time = preview_position(app->preview) * g.duration;
    bool playing_inside = play_time + 0.004 >= 0.0 && play_time + 0.004 <= g.duration;
    int32_t play = playing_inside ? segment_grid_at(&g, play_time) : -1;
    int32_t hover = -1;
    if (over(app, S))
        hover = segment_grid_at(&g, (app->mouse_x - S.x + app->segment_scroll) / g.pixels_per_second);
    double span = g.duration * g.pixels_per_second;
    if (!over(app, S) && !app->segment_press && play >= 0) {
        double s, e;
        segment_grid_bounds(&g, play, &s, &e);
        app->segment_scroll = (float)((s + e) / 2 * g.pixels_per_second - kStripW / 2);
    }
    app->segment_scroll = (float)std::max(0.0, std::min((double)app->segment_scroll, span - kStripW));
    int32_t pressed = app->segment_press ? app->segment_press_index : -1;
    for (int32_t i = 0; i < g.count; i++) {
        double s, e;
        segment_grid_bounds(&g, i, &s, &e);
        float x0 = (float)(S.x + s * g.pixels_per_second - app->segment_scroll);
        float x1 = x0 + (float)((e - s) * g.pixels_per_second);
        float left = std::max(x0 + 1, S.x), right = std::min(x1 - 1, S.x + kStripW);
        if (right - left < 2)
            continue;
        uint32_t colour = bar_colour(g, i);
        float t = i == pressed ? 0.5f : i == hover ? 0.36f : i == play ? 0.26f : 0.12f;
        draw_fill(kit, left, S.y, right - left, kStripH, color_lerp(VIEW_BACKGROUND, colour, t));
        draw_bar_wave(app, kit, g, s, left, right, x0, draw_with_alpha(colour, i == play || i == hover ? 255 : 170));
        if (!segment_grid_partial(&g, i) && x0 + 4 >= S.x && x0 + 30 <= S.x + kStripW) {
            char n[16];
            snprintf(n, sizeof n, "%d", i - g.lead + 1);
            draw_text(kit, n, x0 + 4, 1017, 1.0f, i == play ? VIEW_BRIGHT : VIEW_MUTED);
        }
        const TakeGridState& st = app->take_grid;
        if (app->player_loop && st.region_set && std::fabs(st.region_start - s) < 1e-6) {
            draw_fill(kit, left, 1014, right - left, 2, VIEW_BRIGHT);
            draw_fill(kit, left, 1056, right - left, 2, VIEW_BRIGHT);
        }
        if (i == play) {
            float hx = (float)(S.x + play_time * g.pixels_per_second - app->segment_scroll);
            if (hx >= S.x && hx + 2 <= S.x + kStripW)
                draw_fill(kit, hx, S.y, 2, kStripH, VIEW_BRIGHT);
        }
    }
}

static void draw_drag(AppState* app, DrawKit* kit)
{
    int32_t bars = app->bars_per_segment;
    char chip[16];
    snprintf(chip, sizeof chip, "%d BAR%s", bars, bars == 1 ? "" : "S");
    float mx = app->mouse_x, my = app->mouse_y;
    float t = 0.35f;
    if (mx >= 0 && mx < APP_MAIN_VIEW_WIDTH) {
        draw_fill_additive(kit, 40, 96, 560, 250, draw_with_alpha(VIEW_LIGHT_TEAL, 40));
        draw_rect_outline(kit, 40, 96, 560, 250, VIEW_LIGHT_TEAL);
        draw_text_centered(kit, "REPLACE", 320, 211, 3.0f, VIEW_BRIGHT);
        t = 0.7f;
    }
    draw_fill(kit, mx + 14, my + 10, 92, 26, color_lerp(VIEW_BACKGROUND, VIEW_LIGHT_TEAL, t));
    draw_text_centered(kit, chip, mx + 60, my + 19, 1.3f, VIEW_BRIGHT);
}

void view_loop_panel(AppState* app, DrawKit* kit)
{
    if (!app || !kit)
        return;
    float L = app->library_x;
    layout(app, kit, L);
    const HitRect& p = app->player_rects.panel;
    draw_fill(kit, p.x, p.y, p.w, p.h, draw_rgba(13, 17, 17, 150));
    draw_controls(app, kit);
    const HitRect& S = app->player_rects.strip;
    draw_fill(kit, S.x, S.y, S.w, S.h, draw_rgba(13, 17, 17, 120));
    TakeBeatGrid g;
    if (!draw_status(app, kit, L, &g))
        return;
    draw_bars(app, kit, g);
    if (app->segment_press == 2)
        draw_drag(app, kit);
}
