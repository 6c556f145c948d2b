// player_panel.cpp - mouse input of the library side: the take player's loop panel
// (switches, bar choice, grid steppers, the segment strip with its press, drag and
// click) and the hand-over of events to the embedded library view.
#include <SDL.h>

#include <algorithm>
#include <cmath>

#include "app/app_events.h"
#include "app/app_state.h"
#include "app/settings.h"
#include "app/take_grid.h"
#include "audio/engine.h"
#include "audio/preview.h"
#include "library/library.h"
#include "library/views/library_view.h"

static const float kDragThreshold = 6.0f;       // |dx| + |dy| that turns a press into a drag
static const double kSeekLead = 0.003;          // seconds into the segment a click plays from
static const int32_t kBarChoices[4] = {1, 2, 4, 8};

static void loop_panel_press(AppState* app, float x, float y)
{
    const AppPlayerRects& r = app->player_rects;
    if (app_rect_has(r.loop_switch, x, y)) {
        app->player_loop = app->player_loop ? 0 : 1;
        preview_set_looping(app->preview, app->player_loop != 0);
        settings_save(app);
        return;
    }
    if (app_rect_has(r.to_input_switch, x, y)) {
        app->player_to_input = app->player_to_input ? 0 : 1;
        app->engine->player_to_input.store(app->player_to_input, std::memory_order_relaxed);
        settings_save(app);
        return;
    }
    TakeBeatGrid g{};
    if (app_rect_has(r.strip, x, y)) {
        if (!take_beat_grid(app, &g) || !(g.pixels_per_second > 0.0))
            return;
        double t = (x - r.strip.x + app->segment_scroll) / g.pixels_per_second;
        int32_t k = t < g.duration ? segment_grid_at(&g, t) : -1;
        if (k >= 0) {
            app->segment_press = 1;
            app->segment_press_x = x;
            app->segment_press_y = y;
            app->segment_press_index = k;
        }
        return;
    }
    for (int j = 0; j < 2; j++) {
        if (app_rect_has(r.steppers[j], x, y)) {
            take_grid_shift(app, j ? 1 : -1);
            return;
        }
    }
    for (int k = 0; k < 4; k++) {
        if (app_rect_has(r.bars[k], x, y)) {
            app->bars_per_segment = kBarChoices[k];
            app->segment_scroll = 0.0f;
            settings_save(app);
            return;
        }
    }
}

static void loop_panel_release(AppState* app, float x)
{
    int32_t state = app->segment_press;
    int32_t k = app->segment_press_index;
    app->segment_press = 0;
    if (state == 2) {
        if (x >= 0.0f && x < APP_MAIN_VIEW_WIDTH)
            take_bars_to_loop(app, k);
        return;
    }
    TakeBeatGrid g{};
    double start, end;
    if (!take_beat_grid(app, &g) || !segment_grid_bounds(&g, k, &start, &end))
        return;
    if (app->player_loop)
        preview_set_region(app->preview, start / g.duration, end / g.duration, true);
    preview_seek(app->preview, (start + kSeekLead) / g.duration);
    if (!preview_is_playing(app->preview))
        preview_play(app->preview);
}

bool app_loop_panel_event(AppState* app, DrawKit* kit, const SDL_Event* event)
{
    if (!app || !app->engine || !event)
        return false;
    const AppPlayerRects& r = app->player_rects;
    float x = app->mouse_x, y = app->mouse_y;
    switch (event->type) {
    case SDL_MOUSEWHEEL: {
        if (!app_rect_has(r.panel, x, y))
            return false;
        TakeBeatGrid g{};
        float per_segment = take_beat_grid(app, &g) ? g.segment_width : 0.0f;
        app->segment_scroll -= (float)(event->wheel.y - event->wheel.x) * per_segment;
        return true;
    }
    case SDL_MOUSEBUTTONDOWN:
        app_units_from_pixels(kit, (float)event->button.x, (float)event->button.y, &x, &y);
        if (!app_rect_has(r.panel, x, y))
            return false;
        if (event->button.button == SDL_BUTTON_LEFT)
            loop_panel_press(app, x, y);
        return true;
    case SDL_MOUSEMOTION:
        app_units_from_pixels(kit, (float)event->motion.x, (float)event->motion.y, &x, &y);
        if (app->segment_press == 1 &&
            std::fabs(x - app->segment_press_x) + std::fabs(y - app->segment_press_y) > kDragThreshold)
            app->segment_press = 2;
        return false;
    case SDL_MOUSEBUTTONUP:
        if (!app->segment_press)
            return false;
        app_units_from_pixels(kit, (float)event->button.x, (float)event->button.y, &x, &y);
        loop_panel_release(app, x);
        return true;
    default:
        return false;
    }
}

// Keys the library view never sees: the shell's own library, Esc and Tab keys, and
// chords with Ctrl or Alt, but for Ctrl+Up and Ctrl+Down, which move the folder tree's
// root while the tree is shown.
static bool library_key(const Library* lib, const SDL_KeyboardEvent* k)
{
    SDL_Keycode sym = k->keysym.sym;
    uint16_t mod = k->keysym.mod;
    if ((mod & KMOD_CTRL) && !(mod & KMOD_ALT) && (sym == SDLK_UP || sym == SDLK_DOWN))
        return lib->tree && lib->state.source == LIBRARY_SOURCE_BROWSE && !lib->player_only;
    return sym != SDLK_l && sym != SDLK_ESCAPE && sym != SDLK_TAB && !(mod & (KMOD_CTRL | KMOD_ALT));
}

bool app_player_panel_event(AppState* app, DrawKit* kit, const SDL_Event* event)
{
    if (!app || !app->engine || !event || !app->library_shown || app->picker.open || app->settings_open)
        return false;
    if (app_loop_panel_event(app, kit, event))
        return true;
    Library* lib = app->library;
    if (!lib)
        return false;
    float x = app->mouse_x, y = app->mouse_y;
    if (event->type == SDL_MOUSEMOTION)
        app_units_from_pixels(kit, (float)event->motion.x, (float)event->motion.y, &x, &y);
    else if (event->type == SDL_MOUSEBUTTONDOWN || event->type == SDL_MOUSEBUTTONUP)
        app_units_from_pixels(kit, (float)event->button.x, (float)event->button.y, &x, &y);
    bool inside = app_rect_has(app->library_view_rect, x, y);
    bool menu = library_popup_open(lib);
    // While the filter has the focus every key and text is the library's, and a press
    // elsewhere reaches it too (untaken) so the focus goes away.
    bool typing = library_wants_keyboard(lib);
    double now = perf_seconds();
    switch (event->type) {
    case SDL_MOUSEMOTION:
        library_handle_event(lib, event, x, y, nullptr, now);
        return false;
    case SDL_MOUSEBUTTONDOWN:
        if (!inside && !menu) {
            if (typing)
                library_handle_event(lib, event, x, y, nullptr, now);
            return false;
        }
        app->library_press_inside = inside;
        library_handle_event(lib, event, x, y, nullptr, now);
        return true;
    case SDL_MOUSEBUTTONUP:
        if (!inside && !menu && !app->library_press_inside)
            return false;
        app->library_press_inside = 0;
        library_handle_event(lib, event, x, y, nullptr, now);
        return true;
    case SDL_MOUSEWHEEL:
        return (inside || menu) && library_handle_event(lib, event, x, y, nullptr, now);
    case SDL_KEYDOWN:
        if (typing)
            return library_handle_event(lib, event, x, y, nullptr, now);
        return (inside || menu) && library_key(lib, &event->key) && library_handle_event(lib, event, x, y, nullptr, now);
    case SDL_TEXTINPUT:
        return typing && library_handle_event(lib, event, x, y, nullptr, now);
    default:
        return false;
    }
}
