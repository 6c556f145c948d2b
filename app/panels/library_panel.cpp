// library_panel.cpp - the library switch and the library side panel: header, the
// LOOPS and FILES tabs, the session takes list, and the library view embedded on the
// canvas.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "app/app_state.h"
#include "app/take_names.h"
#include "app/takes.h"
#include "app/panels/main/view.h"
#include "app/panels/main/view_palette.h"
#include "audio/preview.h"
#include "library/library.h"
#include "library/views/library_view.h"
#include "library/views/lv_draw.h"
#include "ui/canvas.h"
#include "ui/drawkit.h"

static const char* const kTabs[2] = {"LOOPS", "FILES"};

static uint32_t mix_towards(uint32_t c, uint32_t x, float t)
{
    t = t < 0.0f ? 0.0f : t > 1.0f ? 1.0f : t;
    uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        float a = (float)((c >> shift) & 0xFF), b = (float)((x >> shift) & 0xFF);
        out |= (uint32_t)(a + (b - a) * t + 0.5f) << shift;
    }
    return out;
}

static bool over(const AppState* app, float x, float y, float w, float h)
{
    return app->mouse_x >= x && app->mouse_x < x + w && app->mouse_y >= y && app->mouse_y < y + h;
}

static void draw_switch(AppState* app, DrawKit* kit)
{
    HitRect r = app->layout.library_switch;
    uint32_t icon;
    if (app->library_open) {
        draw_fill(kit, r.x, r.y, r.w, r.h, mix_towards(VIEW_PANEL, VIEW_MAGENTA, 0.55f));
        icon = VIEW_BRIGHT;
    } else {
        icon = over(app, r.x, r.y, r.w, r.h) ? VIEW_LIGHT : VIEW_MUTED;
    }
    for (int k = 0; k < 3; k++)
        draw_fill(kit, r.x + 9.0f, r.y + 10.0f + 7.0f * (float)k, r.w - 18.0f, 3.0f, icon);
}

// The six fields of a session or loop-export name: every field all digits of its full
// width ("YYYYMMDD-HHMMSS") and in range.
static bool dated_name(const char* file, int f[6])
{
    const char* d = std::strncmp(file, "tessel-loop-", 12) == 0 ? file + 12
                    : std::strncmp(file, "tessel-", 7) == 0    ? file + 7
                                                               : nullptr;
    if (!d || std::strlen(d) < 15)
        return false;
    for (int i = 0; i < 15; i++)
        if (i == 8 ? d[i] != '-' : (d[i] < '0' || d[i] > '9'))
            return false;
    auto num = [d](int at, int n) {
        int v = 0;
        for (int i = 0; i < n; i++)
            v = v * 10 + (d[at + i] - '0');
        return v;
    };
    f[0] = num(0, 4);
    f[1] = num(4, 2);
    f[2] = num(6, 2);
    f[3] = num(9, 2);
    f[4] = num(11, 2);
    f[5] = num(13, 2);
    return f[1] >= 1 && f[1] <= 12 && f[2] >= 1 && f[2] <= 31 && f[3] <= 23 && f[4] <= 59 && f[5] <= 59;
}

// A take's row text: a session or loop-export date, else the name without its
// extension, cut to 26 bytes at a whole character.
void library_panel_row_name(const char* file, char* out, size_t cap)
{
    int f[6];
    if (dated_name(file, f)) {
        std::snprintf(out, cap, "%04d-%02d-%02d  %02d:%02d:%02d", f[0], f[1], f[2], f[3], f[4], f[5]);
        return;
    }
    char base[256];
    std::snprintf(base, sizeof base, "%s", file);
    char* dot = std::strrchr(base, '.');
    if (dot && dot != base)
        *dot = '\0';
    lv_utf8_keep(base, 26);
    std::snprintf(out, cap, "%s", base);
}

static const char* file_name(const char* path)
{
    const char* slash = std::strrchr(path, '/');
    return slash ? slash + 1 : path;
}

static void draw_play_icon(DrawKit* kit, float x, float y, uint32_t ink)
{
    static const float kHeights[6] = {14, 12, 10, 8, 6, 4};
    for (int i = 0; i < 6; i++)
        draw_fill(kit, x + 7.0f + 2.0f * (float)i, y + 12.0f - 0.5f * kHeights[i], 2.0f, kHeights[i], ink);
}

static void draw_loops(AppState* app, DrawKit* kit, float L, bool take_view)
{
    float bottom = take_view ? 782.0f : 976.0f;
    int32_t rows = (int32_t)((bottom - 92.0f) / 36.0f);
    rows = rows < 1 ? 1 : rows;
    draw_fill(kit, L + 10.0f, 88.0f, 580.0f, (float)rows * 36.0f + 8.0f, draw_rgba(13, 17, 17, 150));
    if (app->take_count == 0)
        draw_text(kit, "EMPTY", L + 22.0f, 104.0f, 1.5f, VIEW_MUTED);
    LibraryItem* loaded = library_loaded_item(app->library);
    const char* loaded_name = loaded ? file_name(loaded->path) : "";
    bool plays = loaded && app->preview && preview_is_playing(app->preview);
    for (int32_t k = 0; k < rows; k++) {
        int32_t i = app->take_scroll + k;
        if (i >= app->take_count)
            break;
        const TakeEntry* t = &app->takes[i];
        float y = 92.0f + 36.0f * (float)k;
        bool hovered = app->mouse_x >= L + 4.0f && app->mouse_x < L + 596.0f && app->mouse_y >= y &&
                       app->mouse_y < y + 36.0f;
        bool session = app->session_name[0] && take_name_same(t->name, app->session_name);
        if (session || hovered)
            draw_fill(kit, L + 8.0f, y, 576.0f, 34.0f, mix_towards(VIEW_BACKGROUND, VIEW_MAGENTA, session ? 0.4f : 0.18f));
        bool playing = plays && take_name_same(loaded_name, t->name);
        float bx = L + 16.0f, by = y + 5.0f;
        if (playing) {
            draw_fill(kit, bx, by, 24.0f, 24.0f, mix_towards(VIEW_BACKGROUND, VIEW_MAGENTA, 0.75f));
            draw_fill(kit, bx + 7.0f, by + 7.0f, 10.0f, 10.0f, VIEW_BRIGHT);
        } else if (hovered && app->mouse_x < L + 44.0f) {
            draw_fill(kit, bx, by, 24.0f, 24.0f, mix_towards(VIEW_BACKGROUND, VIEW_MAGENTA, 0.45f));
            draw_play_icon(kit, bx, by, draw_rgba(255, 107, 184, 255));
        } else {
            draw_fill(kit, bx, by, 24.0f, 24.0f, mix_towards(VIEW_BACKGROUND, VIEW_MAGENTA, 0.12f));
            draw_play_icon(kit, bx, by, session || hovered ? VIEW_LIGHT : VIEW_MUTED);
        }
        char duration[32];
        int32_t secs = (int32_t)t->seconds;
        std::snprintf(duration, sizeof duration, "%d:%02d", secs / 60, secs % 60);
        float duration_x = L + 580.0f - draw_text_span(kit, duration, 1.4f);
        draw_text(kit, duration, duration_x, y + 12.0f, 1.4f, VIEW_MUTED);
        char name[64];
        library_panel_row_name(t->name, name, sizeof name);
        view_draw_name(app, kit, name, L + 48.0f, y + 12.0f, 1.4f, duration_x - 16.0f - (L + 48.0f),
                       session || hovered ? VIEW_BRIGHT : VIEW_LIGHT);
    }
}

// The library view on the canvas, aligned to the kit.
static void draw_library(AppState* app, DrawKit* kit, const CanvasRect* r, uint8_t player_only)
{
    Library* lib = app->library;
    library_set_option_a(lib, player_only);
    library_set_option_c(lib, app->reduced_motion);
    view_canvas_begin(app->canvas, kit);
    library_draw(app->canvas, app->text, lib, r, app->library_colours, nullptr, perf_seconds());
    canvas_set_clip(app->canvas, nullptr);
    canvas_end(app->canvas);
}

void view_library_strip(AppState* app, DrawKit* kit, float dt)
{
    if (!app || !kit)
        return;
    draw_switch(app, kit);
    app->library_view_rect = HitRect{};
    if (!app->library_shown)
        return;
    float L = app->library_x + 4.0f;
    draw_fill(kit, L, 8.0f, 592.0f, 1064.0f, draw_rgba(23, 29, 29, 150));
    draw_text(kit, "LIBRARY", L + 12.0f, 24.0f, 1.8f, VIEW_BRIGHT);
    char count[16];
    std::snprintf(count, sizeof count, "%d", app->take_count);
    draw_text(kit, count, L + 536.0f - draw_text_span(kit, count, 1.6f), 25.0f, 1.6f, VIEW_MUTED);

    app->library_new_button = HitRect{L + 548.0f, 14.0f, 32.0f, 32.0f};
    HitRect nb = app->library_new_button;
    draw_fill(kit, nb.x, nb.y, nb.w, nb.h,
              mix_towards(VIEW_PANEL, VIEW_MAGENTA, over(app, nb.x, nb.y, nb.w, nb.h) ? 0.55f : 0.25f));
    draw_fill(kit, nb.x + 8.0f, 28.5f, 16.0f, 3.0f, VIEW_BRIGHT);
    draw_fill(kit, nb.x + 14.5f, 22.0f, 3.0f, 16.0f, VIEW_BRIGHT);

    app->library_tabs[0] = HitRect{L + 6.0f, 54.0f, 288.0f, 28.0f};
    app->library_tabs[1] = HitRect{L + 296.0f, 54.0f, 290.0f, 28.0f};
    if (app->library_tab == 1)
        app_player_ensure(app);   // the library is made on first use
    bool views = app->library && app->folder_tree && app->canvas && app->text;
    if (app->library_tab == 1) {
        if (views) {
            CanvasRect r{L + 6.0f, 58.0f, 580.0f, 922.0f};
            draw_library(app, kit, &r, 0);
            // The header band under the tabs is covered; clicks reach the view below it.
            draw_fill(kit, L + 6.0f, 56.0f, 580.0f, 32.0f, draw_rgba(13, 17, 17, 255));
            draw_fill(kit, L + 6.0f, 56.0f, 580.0f, 32.0f, draw_rgba(23, 29, 29, 150));
            app->library_view_rect = HitRect{L + 6.0f, 88.0f, 580.0f, 892.0f};
        } else {
            draw_fill(kit, L + 6.0f, 88.0f, 580.0f, 892.0f, draw_rgba(13, 17, 17, 150));
            draw_text(kit, "NO FILES VIEW", L + 22.0f, 104.0f, 1.5f, VIEW_MUTED);
        }
    }
    if (app->take_loading) {
        float f = app->reduced_motion ? 0.35f : (float)std::fmod(0.9 * app->ui_time, 1.0);
        draw_fill(kit, L + 4.0f + 520.0f * f, 83.0f, 60.0f, 4.0f, VIEW_LIGHT_TEAL);
    }
    for (int i = 0; i < 2; i++) {
        HitRect t = app->library_tabs[i];
        bool chosen = app->library_tab == i;
        bool hovered = over(app, t.x, t.y, t.w, t.h);
        draw_fill(kit, t.x, t.y, t.w, t.h,
                  mix_towards(VIEW_BACKGROUND, VIEW_MAGENTA, chosen ? 0.55f : hovered ? 0.22f : 0.08f));
        float pixel = 1.5f;
        draw_text_centered(kit, kTabs[i], t.x + 0.5f * t.w, 63.0f, pixel,
                           chosen ? VIEW_BRIGHT : hovered ? VIEW_LIGHT : VIEW_MUTED);
    }
    if (app->library_tab == 0) {
        bool take_view = views && library_loaded_item(app->library);
        draw_loops(app, kit, L, take_view);
        if (take_view) {
            CanvasRect r{L + 6.0f, 792.0f, 580.0f, 188.0f};
            draw_library(app, kit, &r, 1);
            app->library_view_rect = HitRect{L + 6.0f, 792.0f, 580.0f, 188.0f};
        }
    }
}
