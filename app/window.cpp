// window.cpp - the window's hit test, base rectangle, panel slides and widening, the
// pad-lock drag and the window buttons.
#include "app/window.h"

#include <SDL.h>

#include <algorithm>

#include "app/app_events.h"
#include "app/app_state.h"
#include "ui/drawkit.h"

// Handed over by the frame loop after each frame's drawing; read by the hit test.
static WindowHitRects g_hit_rects;
static bool g_popup_open;
static bool g_keys_help_open;

static bool rect_holds(const HitRect& r, float x, float y)
{
    return x >= r.x && x < r.x + r.w && y >= r.y && y < r.y + r.h;
}

int window_hit_classify(int32_t width, int32_t height, bool fullscreen, const WindowHitRects* rects,
                        int32_t px, int32_t py, bool popup_open, bool keys_help_open)
{
    if (fullscreen)
        return WINDOW_HIT_NORMAL;
    if (rects)
        for (const HitRect& r : rects->border_controls)
            if (rect_holds(r, (float)px, (float)py))
                return WINDOW_HIT_NORMAL;
    bool left = px < WINDOW_BORDER, right = px >= width - WINDOW_BORDER;
    bool top = py < WINDOW_BORDER, bottom = py >= height - WINDOW_BORDER;
    if (top && left)
        return WINDOW_HIT_TOP_LEFT;
    if (top && right)
        return WINDOW_HIT_TOP_RIGHT;
    if (bottom && left)
        return WINDOW_HIT_BOTTOM_LEFT;
    if (bottom && right)
        return WINDOW_HIT_BOTTOM_RIGHT;
    if (top)
        return WINDOW_HIT_TOP;
    if (bottom)
        return WINDOW_HIT_BOTTOM;
    if (left)
        return WINDOW_HIT_LEFT;
    if (right)
        return WINDOW_HIT_RIGHT;
    if (popup_open)
        return WINDOW_HIT_NORMAL;
    if (py >= WINDOW_DRAG_HEIGHT || px >= width - WINDOW_DRAG_RIGHT_GAP)
        return WINDOW_HIT_NORMAL;
    if (rects) {
        float x = (float)px, y = (float)py;
        const HitRect* order[] = {&rects->inputs_badge, &rects->library_switch, &rects->library_panel,
                                  &rects->new_session,  &rects->video_switch,   &rects->video_panel,
                                  &rects->inputs_panel};
        for (const HitRect* r : order)
            if (rect_holds(*r, x, y))
                return WINDOW_HIT_NORMAL;
    }
    if (keys_help_open)
        return WINDOW_HIT_NORMAL;
    if (rects && rect_holds(rects->logo, (float)px, (float)py))
        return WINDOW_HIT_NORMAL;
    return WINDOW_HIT_DRAG;
}

int window_hit_test(SDL_Window* window, const SDL_Point* point, void* data)
{
    if (!window || !point)
        return WINDOW_HIT_NORMAL;
    int w = 0, h = 0;
    SDL_GetWindowSize(window, &w, &h);
    bool fullscreen = (SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN) != 0;   // either kind
    return window_hit_classify(w, h, fullscreen, &g_hit_rects, point->x, point->y, g_popup_open,
                               g_keys_help_open);
}

static SDL_HitTestResult window_hit_test_sdl(SDL_Window* window, const SDL_Point* point, void* data)
{
    return (SDL_HitTestResult)window_hit_test(window, point, data);
}

bool window_install_hit_test(SDL_Window* window)
{
    return window && SDL_SetWindowHitTest(window, window_hit_test_sdl, nullptr) == 0;
}

void window_set_overlays(bool popup_open, bool keys_help_open)
{
    g_popup_open = popup_open;
    g_keys_help_open = keys_help_open;
}

void window_set_hit_rects(const WindowHitRects* rects)
{
    g_hit_rects = rects ? *rects : WindowHitRects{};
}

WindowHitRects window_hit_rects_from(const AppState* app, const DrawKit* kit)
{
    WindowHitRects r{};
    if (!app || !kit)
        return r;
    float s = kit->scale, ox = kit->offset_x, oy = kit->offset_y;
    float h = (float)kit->window_h;
    auto px = [&](const HitRect& u) { return HitRect{u.x * s + ox, u.y * s + oy, u.w * s, u.h * s}; };
    r.library_switch = px(app->layout.library_switch);
    if (app->library_shown)
        r.library_panel = HitRect{app->library_x * s + ox, 0.0f, WINDOW_LIBRARY_UNITS * s, h};
    r.new_session = px(app->layout.new_session);
    r.video_switch = px(app->layout.video_switch);
    if (app->video_shown) {
        r.video_panel = HitRect{APP_MAIN_VIEW_WIDTH * s + ox, 0.0f, WINDOW_VIDEO_UNITS * s, h};
        // The trim bar takes clicks only while a video is ready; the remove button is
        // empty without a video.
        if (app->video_ready && app->video_duration > 0.0)
            r.border_controls[0] = px(app_trim_bar_rect(app));
        r.border_controls[1] = px(app->video_rects[APP_VIDEO_REMOVE]);
    }
    r.logo = px(app->logo_rect);
    return r;
}

// ---------------------------------------------------------------------------
// Base rectangle and widening
// ---------------------------------------------------------------------------

static int32_t round_half_up(float v)
{
    return (int32_t)(v + 0.5f);
}

WindowBaseRect window_base_from(int32_t window_x, int32_t window_w, float left, float right, float scale)
{
    int32_t l = round_half_up(left), r = round_half_up(right);
    return WindowBaseRect{window_w - r - l, window_x + l, scale};
}

void window_save_rect(WindowBaseRect* rect, SDL_Window* window, float left, float right, float scale)
{
    if (!rect || !window)
        return;
    int x = 0, y = 0, w = 0, h = 0;
    SDL_GetWindowPosition(window, &x, &y);
    SDL_GetWindowSize(window, &w, &h);
    *rect = window_base_from(x, w, left, right, scale);
}

bool window_panels_target(const WindowBaseRect* rect, float left_units, float right_units, int32_t cur_x,
                          int32_t cur_w, int32_t* want_x, int32_t* want_w)
{
    int32_t l = round_half_up(rect->scale * left_units);
    int32_t r = round_half_up(rect->scale * right_units);
    *want_w = rect->width + l + r;
    *want_x = rect->x - l;
    return *want_w != cur_w || *want_x != cur_x;
}

void window_apply_panels(const WindowBaseRect* rect, SDL_Window* window, float left_units, float right_units,
                         WindowGeometry* granted)
{
    if (!rect || !window)
        return;
    WindowGeometry cur = window_geometry(window);
    if (granted)
        *granted = cur;
    Uint32 flags = SDL_GetWindowFlags(window);
    if (flags & (SDL_WINDOW_FULLSCREEN | SDL_WINDOW_FULLSCREEN_DESKTOP | SDL_WINDOW_MAXIMIZED))
        return;
    WindowGeometry want = cur;
    window_panels_target(rect, left_units, right_units, cur.x, cur.w, &want.x, &want.w);
    WindowGeometry usable;
    if (window_usable_bounds(window, &usable))
        want = window_keep_inside(want, &usable);
    if (want.x == cur.x && want.y == cur.y && want.w == cur.w && want.h == cur.h)
        return;
    if (want.w != cur.w || want.h != cur.h)
        SDL_SetWindowSize(window, want.w, want.h);
    if (want.x != cur.x || want.y != cur.y)
        SDL_SetWindowPosition(window, want.x, want.y);
    // A window manager may give something else (a minimum size, its own placement):
    // what counts from here on is what the window has.
    if (granted)
        *granted = window_geometry(window);
}

WindowGeometry window_fit_start(const WindowGeometry* usable, int32_t want_w, int32_t want_h)
{
    int32_t w = want_w, h = want_h;
    if (usable->w > 0 && usable->h > 0 && want_w > 0 && want_h > 0 && (want_w > usable->w || want_h > usable->h)) {
        double s = std::min((double)usable->w / want_w, (double)usable->h / want_h);
        w = std::clamp((int32_t)(want_w * s + 0.5), 1, usable->w);
        h = std::clamp((int32_t)(want_h * s + 0.5), 1, usable->h);
    }
    return WindowGeometry{usable->x + (usable->w - w) / 2, usable->y + (usable->h - h) / 2, w, h};
}

WindowGeometry window_keep_inside(WindowGeometry g, const WindowGeometry* bounds)
{
    if (bounds->w < 1 || bounds->h < 1)
        return g;
    g.w = std::min(g.w, bounds->w);
    g.h = std::min(g.h, bounds->h);
    g.x = std::clamp(g.x, bounds->x, bounds->x + bounds->w - g.w);
    g.y = std::clamp(g.y, bounds->y, bounds->y + bounds->h - g.h);
    return g;
}

bool window_usable_bounds(SDL_Window* window, WindowGeometry* out)
{
    int index = window ? SDL_GetWindowDisplayIndex(window) : 0;
    SDL_Rect r;
    if (index < 0 || SDL_GetDisplayUsableBounds(index, &r) != 0 || r.w < 1 || r.h < 1)
        return false;
    *out = WindowGeometry{r.x, r.y, r.w, r.h};
    return true;
}

WindowGeometry window_geometry(SDL_Window* window)
{
    WindowGeometry g{};
    if (!window)
        return g;
    SDL_GetWindowPosition(window, &g.x, &g.y);
    SDL_GetWindowSize(window, &g.w, &g.h);
    return g;
}

// ---------------------------------------------------------------------------
// Slides
// ---------------------------------------------------------------------------

float slide_step(float value, bool open, float dt)
{
    float step = dt / WINDOW_SLIDE_SECONDS;
    return std::clamp(open ? value + step : value - step, 0.0f, 1.0f);
}

float slide_ease(float s)
{
    return (3.0f - 2.0f * s) * s * s;
}

bool window_slides_step(PanelSlides* s, bool inputs_open, bool library_open, bool video_open, float dt,
                        PanelWidths* out)
{
    bool moving = s->inputs != (inputs_open ? 1.0f : 0.0f) || s->library != (library_open ? 1.0f : 0.0f) ||
                  s->video != (video_open ? 1.0f : 0.0f);
    s->inputs = slide_step(s->inputs, inputs_open, dt);
    s->library = slide_step(s->library, library_open, dt);
    s->video = slide_step(s->video, video_open, dt);
    float ei = slide_ease(s->inputs);
    out->left = slide_ease(s->library) * WINDOW_LIBRARY_UNITS + ei * WINDOW_INPUTS_UNITS;
    out->right = slide_ease(s->video) * WINDOW_VIDEO_UNITS;
    out->library_x = -ei * WINDOW_INPUTS_UNITS - WINDOW_LIBRARY_UNITS;
    return moving;
}

// ---------------------------------------------------------------------------
// Pointer and window buttons
// ---------------------------------------------------------------------------

void pointer_track_event(PointerTrack* t, int32_t x, int32_t y, uint32_t ms)
{
    t->event_x = x;
    t->event_y = y;
    t->event_ms = ms;
    t->have_event = 1;
}

void pointer_track_pick(PointerTrack* t, int32_t global_x, int32_t global_y, uint32_t now_ms, int32_t* x,
                        int32_t* y)
{
    if (!t->have_global || global_x != t->global_x || global_y != t->global_y) {
        t->global_x = global_x;
        t->global_y = global_y;
        t->global_ms = now_ms;
        t->have_global = 1;
    }
    bool event_newer = t->have_event && (int32_t)(t->event_ms - t->global_ms) >= 0;
    *x = event_newer ? t->event_x : t->global_x;
    *y = event_newer ? t->event_y : t->global_y;
}

void window_drag(AppState* app, DrawKit* kit)
{
    if (!app || !kit || !app->pad_lock || !app->window || app->drag_mode != DRAG_NONE)
        return;
    int gx = 0, gy = 0, wx = 0, wy = 0, ww = 0, wh = 0;
    SDL_GetGlobalMouseState(&gx, &gy);
    pointer_track_pick(&app->pointer, gx, gy, SDL_GetTicks(), &gx, &gy);
    SDL_GetWindowPosition(app->window, &wx, &wy);
    SDL_GetWindowSize(app->window, &ww, &wh);
    if (ww < 1 || wh < 1)
        return;
    float px = (float)(gx - wx) * (float)kit->window_w / (float)ww;
    float py = (float)(gy - wy) * (float)kit->window_h / (float)wh;
    float x, y;
    app_units_from_pixels(kit, px, py, &x, &y);
    app->mouse_x = x;
    app->mouse_y = y;
    app_pad_drag(app, x, y);
}

int window_chrome_hit(AppState* app, float x, float y)
{
    if (!app)
        return -1;
    for (int i = 0; i < 2; i++)
        if (rect_holds(app->window_buttons[i], x, y))
            return i;
    return -1;
}

void app_reset_textures(AppState* app)
{
    if (!app || !app->video_texture)
        return;
    SDL_DestroyTexture(app->video_texture);
    app->video_texture = nullptr;
}
