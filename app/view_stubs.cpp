// view_stubs.cpp - the main view's panel painters that are still to be written. Each
// keeps its final name and draws nothing; the background only clears the frame to
// the background colour (13, 17, 17).
#include <SDL.h>

#include "app/app_state.h"
#include "app/view.h"
#include "ui/drawkit.h"

// Replaced by the background, logo and window frame painters.
void view_background(AppState* app, DrawKit* kit, double t)
{
    if (!kit || !kit->renderer)
        return;
    SDL_SetRenderDrawColor(kit->renderer, 13, 17, 17, 255);
    SDL_RenderClear(kit->renderer);
}
void view_logo(AppState* app, DrawKit* kit) {}
void view_window_chrome(AppState* app, DrawKit* kit) {}

// Replaced by the side panels: library, loop player, plug-in picker, settings.
void view_library_strip(AppState* app, DrawKit* kit, float dt) {}
void view_loop_panel(AppState* app, DrawKit* kit) {}
void view_vst_picker(AppState* app, DrawKit* kit) {}
void view_settings(AppState* app, DrawKit* kit, float dt) {}
