// app_draw.h - the main view's painter: writes the layout table, shakes the kit,
// calls the panel painters in their fixed order, draws the toasts and ends with the
// window frame.
// Threads: UI thread only (the renderer's thread).
// Depends on: app/app_state.h, app/panels/main/view.h, ui/drawkit.h, ui/particles.h.
#pragma once
#include <cstdint>

struct AppState;
struct DrawKit;

// Where one toast of the ring is drawn this frame.
struct ToastPlace {
    int32_t index;       // entry of the toast ring
    float x, y, w, h;    // the box, in main-view units
    float k;             // envelope 0..1: fade in, full, fade out
};

// Paints the whole main screen; dt is the frame time the update received.
void app_draw(AppState* app, DrawKit* kit, float dt);

// The fixed hit rectangles of the main screen, written into app->layout.
void app_layout_write(AppState* app);
// Two steps of the app's generator give the kit's translation: 2r x shake x 5 units
// on each axis, r in -0.5..0.5.
void app_shake_step(AppState* app, DrawKit* kit);
// The live toasts, oldest first (at y 452) and each newer one above it by k x 38;
// toasts with alpha <= 0.01 take no room. Returns how many were placed.
int32_t app_toast_layout(const AppState* app, ToastPlace out[4]);
// Draws the toasts as app_toast_layout places them.
void app_draw_toasts(const AppState* app, DrawKit* kit);
