// overlays.h - the shell's overlays beside the main view: the training and
// version-notes popup and the keys help with its keyboard panel, at their places in
// start-up, the event order, the frame and shutdown.
// Threads: UI thread only.
// Depends on: app/kit_popup.h, app/keys_help.h, app/panels/keys_help_view.h,
//             ui/keyboard_caps.h, app/app_state.h, app/app_events.h, SDL2.
#pragma once
#include <cstdint>

#include "app/keys_help.h"
#include "ui/keyboard_caps.h"

struct AppState;
struct VividKitPopup;
struct SDL_Renderer;
union SDL_Event;

struct Overlays {
    VividKitPopup* popup;         // null when it could not be made
    KeysHelp keys;
    KeyCapPalette palette;
    // What the previous frame saw, for the training discoveries.
    uint32_t prev_loop_sets;
    uint8_t prev_library, prev_inputs, prev_settings;
};

Overlays* overlays_instance(void);

// Start-up: the key-cap palette and the keys help; then, once the data folder is
// settled, the popup (it reads the preferences there).
void overlays_keys_start(Overlays* o);
void overlays_popup_start(Overlays* o);
// After the settings are loaded: the keys help opens when it was left open.
void overlays_after_settings(Overlays* o, AppState* app);
// Last of start-up: the discoveries start from the state as it stands.
void overlays_take_previous(Overlays* o, AppState* app);
// Event sub-step 1: the popup sees every event first. True: the event ends here.
bool overlays_event_popup(Overlays* o, AppState* app, const SDL_Event* event, double t);
// Event sub-steps 4 to 6, after the shell's own F11 and F12: the keys-help toggle key,
// the keyboard panel, and while the keys help is open the end of mouse events.
bool overlays_event_keys(Overlays* o, AppState* app, const SDL_Event* event, double t);
// Frame steps 15 and 16: the toggle request and "keysheet", then the discoveries.
void overlays_frame(Overlays* o, AppState* app, double t);
// The overlays' drawing, last in the frame: the keyboard panel inside the caller's
// canvas pass (which the busy gem shares), then the popup on its own.
void overlays_draw_keys(Overlays* o, AppState* app, int32_t width, int32_t height, double t, float dt);
void overlays_draw_popup(Overlays* o, AppState* app, SDL_Renderer* renderer, int32_t width, int32_t height,
                         float mouse_x, float mouse_y, double t, float dt);
bool overlays_popup_open(const Overlays* o);
bool overlays_keys_open(const Overlays* o);
// Whether a point (window units at scale 1) lies on the drawn keys-help panel.
bool overlays_keys_panel_has(const Overlays* o, float x, float y);
// After app_shutdown: the popup is freed.
void overlays_stop(Overlays* o);
