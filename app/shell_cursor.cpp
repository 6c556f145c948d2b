// shell_cursor.cpp - the cursor kind of the pointer and the custom cursor's overlay.
#include "app/shell_cursor.h"

#include <SDL.h>

#include "app/app_events.h"
#include "app/app_state.h"
#include "app/overlays.h"
#include "app/shell.h"
#include "app/window.h"
#include "rig/views/inputs_panel.h"
#include "ui/cursor.h"

// Mode 3: the system's own pointer (resize borders, the drag strip, outside).
static const uint32_t kSystemPointer = 3;

// The window buttons' zone, window pixels: y 6..32, x from width - 80 to width - 6.
static bool in_button_zone(float x, float y, int32_t w)
{
    return y >= 6.0f && y <= 32.0f && x >= (float)w - 80.0f && x <= (float)w - 6.0f;
}

// SDL on X11 keeps the global pointer position from input-extension motion, which a
// warped pointer does not send; while the pointer is over our window its event-fed
// window position is exact, so that is used, and the global one otherwise.
static void pointer_position(SDL_Window* window, int* x, int* y)
{
    if (SDL_GetMouseFocus() == window) {
        SDL_GetMouseState(x, y);
        return;
    }
    int gx = 0, gy = 0, wx = 0, wy = 0;
    SDL_GetGlobalMouseState(&gx, &gy);
    SDL_GetWindowPosition(window, &wx, &wy);
    *x = gx - wx;
    *y = gy - wy;
}

uint32_t shell_cursor_kind(ShellCtx* sh, float* window_x, float* window_y)
{
    int x = 0, y = 0, w = 0, h = 0;
    pointer_position(sh->window, &x, &y);
    SDL_GetWindowSize(sh->window, &w, &h);
    *window_x = (float)x;
    *window_y = (float)y;
    bool inside = x >= 0 && x < w && y >= 0 && y < h;
    if (SDL_GetMouseFocus() != sh->window || !inside)
        return kSystemPointer;
    SDL_Point p{x, y};
    if (window_hit_test(sh->window, &p, nullptr) != WINDOW_HIT_NORMAL)
        return kSystemPointer;
    // The popup takes the whole window; the keys help its own panel, and the main
    // view beneath it takes no pointer while it is open.
    const Overlays* o = overlays_instance();
    if (overlays_popup_open(o))
        return CURSOR_HAND;
    if (overlays_keys_open(o))
        return overlays_keys_panel_has(o, (float)x, (float)y) ? CURSOR_HAND : CURSOR_ARROW;
    InputsPanel* panel = sh->rigs.panel;
    if (panel && inputs_panel_is_open(panel) && inputs_panel_hit_test(panel, (float)x, (float)y))
        return (uint32_t)inputs_panel_cursor_mode(panel);
    const HitRect& b = sh->rigs.badge;
    bool on_badge = x >= b.x && x < b.x + b.w && y >= b.y && y < b.y + b.h;
    if (on_badge || in_button_zone((float)x, (float)y, w))
        return CURSOR_HAND;
    return (uint32_t)app_cursor_kind(sh->app);
}

void shell_cursor_update(ShellCtx* sh, uint32_t kind, float window_x, float window_y, double t, float dt)
{
    AppState* app = sh->app;
    CustomCursor* cur = &sh->cursor;
    uint32_t buttons = SDL_GetGlobalMouseState(nullptr, nullptr) | SDL_GetMouseState(nullptr, nullptr);
    cursor_set_pressed(cur, (buttons & SDL_BUTTON_LMASK) ? 1 : 0);
    cursor_set_busy(cur, app->session_saving || app->take_loading ? 1 : 0);
    cursor_update(cur, dt, kind, 1.0f, 0.0f, 0.5f, window_x / CURSOR_UNIT, window_y / CURSOR_UNIT, t,
                  app->reduced_motion);
}
