// window_chrome.cpp - view_window_chrome, the frame's last layer: the minimise and
// close buttons of the borderless window and its thin border, in window pixels.
// There is no maximise button by design.
#include <SDL.h>

#include "app/app_state.h"
#include "app/panels/main/view.h"
#include "ui/drawkit.h"

static const SDL_Color kCloseAccent = {235, 66, 77, 255};
static const SDL_Color kMinimiseAccent = {148, 148, 148, 255};
static const SDL_Color kGlyphDark = {13, 17, 17, 255};
static const SDL_Color kGlyphGrey = {148, 148, 148, 255};
// 0.55 of the way from (255, 0, 128) to (13, 17, 17).
static const SDL_Color kBorder = {121, 9, 66, 200};

static void set_colour(SDL_Renderer* r, SDL_Color c, uint8_t a)
{
    SDL_SetRenderDrawColor(r, c.r, c.g, c.b, a);
}

void view_window_chrome(AppState* app, DrawKit* kit)
{
    if (!app || !kit || !kit->renderer)
        return;
    SDL_Renderer* r = kit->renderer;
    float w = (float)kit->window_w, h = (float)kit->window_h;
    app->window_buttons[0] = HitRect{w - 80.0f, 6.0f, 34.0f, 26.0f};
    app->window_buttons[1] = HitRect{w - 40.0f, 6.0f, 34.0f, 26.0f};
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
            SDL_FRect bar{cx - 5.0f, cy + 4.0f, 10.0f, 2.0f};
            SDL_RenderFillRectF(r, &bar);
        } else {
            SDL_RenderDrawLineF(r, cx - 5.0f, cy - 5.0f, cx + 5.0f, cy + 5.0f);
            SDL_RenderDrawLineF(r, cx + 5.0f, cy - 5.0f, cx - 5.0f, cy + 5.0f);
        }
    }
    set_colour(r, kBorder, kBorder.a);
    SDL_FRect border{0.5f, 0.5f, w - 1.0f, h - 1.0f};
    SDL_RenderDrawRectF(r, &border);
}
