// view_video_panel.cpp - the video panel's painter: the new-session and video icons at
// the top of the main view, and the side panel with its header, the fitted and turned
// picture, the opening and failed states and the trim bar. Also runs the panel's
// per-frame bookkeeping (video_panel_update) before it draws.
#include <SDL.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "app/app_events.h"
#include "app/app_state.h"
#include "app/video_panel.h"
#include "app/video_player.h"
#include "app/panels/main/view.h"
#include "app/panels/main/view_palette.h"
#include "library/views/lv_draw.h"
#include "ui/drawkit.h"

static const float kPanelW = 512.0f;
static const float kAreaY = 56.0f, kAreaW = 500.0f, kAreaH = 903.0f;
static const float kBarY = 972.0f, kBarH = 44.0f;
static const float kTextY = 1030.0f;
static const float kTitleScale = 1.8f, kSmallScale = 1.4f;
static const uint32_t kHandleDragged = draw_rgba(255, 107, 184, 255);

static void view_icons(AppState* app, DrawKit* kit)
{
    HitRect r = app->layout.new_session;
    uint32_t c = app_rect_has(r, app->mouse_x, app->mouse_y) ? VIEW_LIGHT : VIEW_MUTED;
    draw_fill(kit, r.x + 9, r.y + 16.5f, r.w - 18, 3, c);
    draw_fill(kit, r.x + 16.5f, r.y + 9, 3, r.h - 18, c);

    r = app->layout.video_switch;
    if (app->video_open) {
        draw_fill(kit, r.x, r.y, r.w, r.h, color_lerp(VIEW_PANEL, VIEW_MAGENTA, 0.55f));
        c = VIEW_BRIGHT;
    } else {
        c = app_rect_has(r, app->mouse_x, app->mouse_y) ? VIEW_LIGHT : VIEW_MUTED;
    }
    draw_rect_outline(kit, r.x + 11, r.y + 7, 14, 22, c);
    for (int k = 0; k < 3; k++)
        draw_fill(kit, r.x + 15 + 2 * k, r.y + 14 + k, 2, 8.0f - 2 * k, c);
}

// The remove button's cross: 2 x 2 squares along both diagonals, seven each.
static void view_remove_button(AppState* app, DrawKit* kit, HitRect r)
{
    bool hover = app_rect_has(r, app->mouse_x, app->mouse_y);
    draw_fill(kit, r.x, r.y, r.w, r.h, color_lerp(VIEW_PANEL, VIEW_RED, hover ? 0.55f : 0.18f));
    for (int k = 0; k < 7; k++) {
        draw_fill(kit, r.x + 9 + 2 * k, 23.0f + 2 * k, 2, 2, VIEW_BRIGHT);
        draw_fill(kit, r.x + 21 - 2 * k, 23.0f + 2 * k, 2, 2, VIEW_BRIGHT);
    }
}

static void view_header(AppState* app, DrawKit* kit, float v)
{
    draw_text(kit, "VIDEO", v + 12, 24, kTitleScale, VIEW_BRIGHT);
    if (!app->video_path[0]) {
        app->video_rects[APP_VIDEO_REMOVE] = HitRect{};
        return;
    }
    HitRect r{v + 96, 14, 32, 32};
    app->video_rects[APP_VIDEO_REMOVE] = r;
    view_remove_button(app, kit, r);
    const char* slash = strrchr(app->video_path, '/');
    char name[sizeof app->video_path];
    snprintf(name, sizeof name, "%s", slash ? slash + 1 : app->video_path);
    lv_utf8_keep(name, 26);
    // Capitals for ASCII and the Latin-1 letters (U+00E0..U+00FE but the division sign,
    // two bytes each, the same length in capitals); other characters stay as they are.
    for (unsigned char* p = (unsigned char*)name; *p; p++) {
        if (*p < 0x80)
            *p = (unsigned char)toupper(*p);
        else if (*p == 0xC3 && p[1] >= 0xA0 && p[1] <= 0xBE && p[1] != 0xB7)
            *++p -= 0x20;
    }
    view_draw_name(app, kit, name, v + 140, 25, kSmallScale, kPanelW - 152, VIEW_MUTED);
}

// The texture fitted into the picture area, turned by q quarter turns clockwise.
static void view_picture(AppState* app, DrawKit* kit, float x0)
{
    int32_t q = (app->video_rotation / 90) & 3;
    float w = (float)app->video_texture_w, h = (float)app->video_texture_h;
    if (q & 1)
        std::swap(w, h);
    float s = std::min(kAreaW / w, kAreaH / h);
    float qw = s * w, qh = s * h;
    float x = x0 + (kAreaW - qw) / 2, y = kAreaY + (kAreaH - qh) / 2;
    static const float uv[4][8] = {
        {0, 0, 1, 0, 1, 1, 0, 1},
        {0, 1, 0, 0, 1, 0, 1, 1},
        {1, 1, 0, 1, 0, 0, 1, 0},
        {1, 0, 1, 1, 0, 1, 0, 0},
    };
    const float corners[4][2] = {{x, y}, {x + qw, y}, {x + qw, y + qh}, {x, y + qh}};
    SDL_Vertex vert[4];
    for (int i = 0; i < 4; i++) {
        draw_map_point(kit, corners[i][0], corners[i][1], &vert[i].position.x, &vert[i].position.y);
        vert[i].color = SDL_Color{255, 255, 255, 255};
        vert[i].tex_coord = SDL_FPoint{uv[q][2 * i], uv[q][2 * i + 1]};
    }
    static const int indices[6] = {0, 1, 2, 0, 2, 3};
    SDL_RenderGeometry(kit->renderer, app->video_texture, vert, 4, indices, 6);
}

static void view_state_text(AppState* app, DrawKit* kit, float x0, int32_t state)
{
    float cx = x0 + 250;
    if (state == VIDEO_OPENING) {
        draw_text_centered(kit, "OPENING...", cx, 497.5f, kTitleScale, VIEW_BRIGHT);
        draw_fill(kit, x0 + 150, 527.5f, 200, 6, VIEW_BACKGROUND);
        float run = 150.0f * (float)std::fmod(0.9 * app->ui_time, 1.0);
        draw_fill(kit, x0 + 150 + run, 527.5f, 50, 6, VIEW_MAGENTA);
    } else if (state == VIDEO_FAILED) {
        draw_text_centered(kit, "CAN'T PLAY THAT", cx, 497.5f, kTitleScale, VIEW_RED);
    } else {
        draw_text_centered(kit, "DROP A VIDEO", cx, 497.5f, kTitleScale, VIEW_MUTED);
    }
}

// "IN 1:02.5": tenths rounded before the minutes are split off, so 59.96 s reads 1:00.0.
static void view_time_text(char* out, size_t size, const char* label, double seconds)
{
    long long tenths = std::llround(std::max(seconds, 0.0) * 10.0);
    snprintf(out, size, "%s %lld:%04.1f", label, tenths / 600, (double)(tenths % 600) / 10.0);
}

static void view_trim_bar(AppState* app, DrawKit* kit, float x0)
{
    draw_fill(kit, x0, kBarY, kAreaW, kBarH, draw_with_alpha(VIEW_BACKGROUND, 150));
    if (!app->video_ready || !(app->video_duration > 0.0))
        return;
    double d = app->video_duration;
    float xi = x0 + (float)(app->video_in / d) * kAreaW;
    float xo = x0 + (float)(app->video_out / d) * kAreaW;
    float xs = x0 + (float)(app->video_shown_time / d) * kAreaW;
    bool dragging = app->drag_mode == DRAG_VIDEO_TRIM;
    draw_fill(kit, xi, kBarY, xo - xi, kBarH, color_lerp(VIEW_BACKGROUND, VIEW_MAGENTA, dragging ? 0.6f : 0.42f));
    draw_fill(kit, xs - 1, kBarY, 2, kBarH, VIEW_LIGHT_TEAL);
    uint32_t in_c = dragging && app->video_trim_handle == 1 ? kHandleDragged : VIEW_BRIGHT;
    uint32_t out_c = dragging && app->video_trim_handle == 2 ? kHandleDragged : VIEW_BRIGHT;
    draw_fill(kit, xi - 2, 966, 4, 56, in_c);
    draw_fill(kit, xi, 966, 8, 4, in_c);
    draw_fill(kit, xo - 2, 966, 4, 56, out_c);
    draw_fill(kit, xo - 8, 966, 8, 4, out_c);

    char text[48];
    view_time_text(text, sizeof text, "IN", app->video_in);
    draw_text(kit, text, x0, kTextY, kSmallScale, VIEW_LIGHT);
    snprintf(text, sizeof text, "LOOP %.2f S", app->video_out - app->video_in);
    draw_text_centered(kit, text, x0 + 250, kTextY, kSmallScale, VIEW_BRIGHT);
    view_time_text(text, sizeof text, "OUT", app->video_out);
    draw_text(kit, text, x0 + kAreaW - draw_text_span(kit, text, kSmallScale), kTextY, kSmallScale, VIEW_LIGHT);
}

void view_video_panel(AppState* app, DrawKit* kit)
{
    if (!app || !kit)
        return;
    view_icons(app, kit);
    video_panel_update(app);
    if (!app->video_shown) {
        app->video_rects[APP_VIDEO_REMOVE] = HitRect{};
        return;
    }
    float v = app->video_x + 4, x0 = v + 6;
    draw_fill(kit, v, 8, kPanelW, 1064, draw_with_alpha(VIEW_PANEL, 150));
    view_header(app, kit, v);
    draw_fill(kit, x0, kAreaY, kAreaW, kAreaH, draw_with_alpha(VIEW_BACKGROUND, 150));

    int32_t state = video_player_state(app->video_player);
    if (state == VIDEO_READY && app->video_ready) {
        if (video_panel_upload(app, kit->renderer) && app->video_texture_w > 0 && app->video_texture_h > 0)
            view_picture(app, kit, x0);
    } else {
        view_state_text(app, kit, x0, state);
    }
    view_trim_bar(app, kit, x0);
}
