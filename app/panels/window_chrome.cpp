// window_chrome.cpp - view_window_chrome, the frame's last layer: the minimise and
// close buttons of the borderless window and its thin border, in window pixels; in
// small windows the buttons shrink to stay clear of the main view's controls. There
// is no maximise button by design.
#include <SDL.h>

#include <algorithm>

#include "app/app_events.h"
#include "app/app_state.h"
#include "app/panels/main/view.h"
#include "ui/drawkit.h"

static const SDL_Color kCloseAccent = {235, 66, 77, 255};
static const SDL_Color kMinimiseAccent = {148, 148, 148, 255};
static const SDL_Color kGlyphDark = {13, 17, 17, 255};
static const SDL_Color kGlyphGrey = {148, 148, 148, 255};
// 0.55 of the way from (255, 0, 128) to (13, 17, 17).
static const SDL_Color kBorder = {121, 9, 66, 200};

// Full-size buttons, window pixels: 34 x 26 each, 6 apart and 6 in from the top and
// right edges.
static const float kEdge = 6.0f;
static const float kButtonW = 34.0f, kButtonH = 26.0f;
static const float kButtonsSpan = 2 * kButtonW + 6.0f;
static const float kCornerGap = 8.0f;   // main-view units kept clear beside the video switch

static void set_colour(SDL_Renderer* r, SDL_Color c, uint8_t a)
{
    SDL_SetRenderDrawColor(r, c.r, c.g, c.b, a);
}

// The buttons' size as a fraction of the full one. The window's right edge lies at or
// right of the main view's, so buttons that fit in the view's top-right corner beside
// the video switch cover none of its controls: they keep their pixel size while that
// corner holds them and shrink with the view in smaller windows.
static float window_button_fraction(const AppState* app, const DrawKit* kit)
{
    const HitRect& sw = app->layout.video_switch;
    float corner = (APP_MAIN_VIEW_WIDTH - (sw.x + sw.w) - kCornerGap) * kit->scale;
    return std::clamp((corner - kEdge) / kButtonsSpan, 0.0f, 1.0f);
}

void view_window_chrome(AppState* app, DrawKit* kit)
{
    if (!app || !kit || !kit->renderer)
        return;
    SDL_Renderer* r = kit->renderer;
    float w = (float)kit->window_w, h = (float)kit->window_h;
    float k = window_button_fraction(app, kit);
    app->window_buttons[0] = HitRect{w - kEdge - kButtonsSpan * k, kEdge, kButtonW * k, kButtonH * k};
    app->window_buttons[1] = HitRect{w - kEdge - kButtonW * k, kEdge, kButtonW * k, kButtonH * k};
    SDL_SetRenderDrawBlendMode(r, SDL_BLENDMODE_BLEND);
    for (int i = 0; i < 2; i++) {
        const HitRect& b = app->window_buttons[i];
        float hv = app->window_button_hover[i];
        SDL_Color accent = i == 1 ? kCloseAccent : kMinimiseAccent;
        if (hv > 0.01f) {
            set_colour(r, accent, draw_alpha_byte(hv * 190.0f));
            SDL_FRect fill{b.x, b.y, b.w, b.h};
            SDL_RenderFillRectF(r, &fill);
        }
        SDL_Color glyph = hv > 0.5f ? kGlyphDark : kGlyphGrey;
        set_colour(r, glyph, 255);
        float cx = b.x + b.w / 2.0f, cy = b.y + b.h / 2.0f;
        if (i == 0) {
            SDL_FRect bar{cx - 5.0f * k, cy + 4.0f * k, 10.0f * k, std::max(1.0f, 2.0f * k)};
            SDL_RenderFillRectF(r, &bar);
        } else {
            float d = 5.0f * k;
            SDL_RenderDrawLineF(r, cx - d, cy - d, cx + d, cy + d);
            SDL_RenderDrawLineF(r, cx + d, cy - d, cx - d, cy + d);
        }
    }
    set_colour(r, kBorder, kBorder.a);
    SDL_FRect border{0.5f, 0.5f, w - 1.0f, h - 1.0f};
    SDL_RenderDrawRectF(r, &border);
}
