// background.h - the frame's first layer (backdrop, dot field, bottom glow) and the
// seams its tests replace: the performance counter and the desktop's animation
// setting, read at most every 2 s of counter time.
// Threads: UI thread only (the stamps and the animation flag are process-wide).
// Depends on: SDL2 renderer, app/app_state.h, ui/backdrop.h, platform/plat_motion.h.
#pragma once
#include <cstdint>

struct AppState;
struct SDL_Renderer;

struct BackdropClockSource {
    uint64_t (*counter)(void);      // performance counter
    uint64_t (*frequency)(void);    // its ticks per second
    bool (*animations_on)(void);    // the desktop's animation setting
};

// Null restores SDL's performance counter and plat_animations_enabled. Forgets the
// stamps, so the next frame counts as the first.
void background_set_clock_source(const BackdropClockSource* source);
// The backdrop clock for this frame: seconds since the first frame plus 1, or 0 while
// animations are off; re-reads the setting when never read or 2 s have passed, and
// sets app->reduced_motion to match.
double background_backdrop_clock(AppState* app);
// The dot field in window pixels of a w x h window: a 46-pixel grid breathing with the
// level L and clock t, in four brightness buckets filled additively, red-shifted while
// recording. Returns the number of squares submitted.
int32_t background_draw_dots(SDL_Renderer* r, int32_t w, int32_t h, float level, double t, bool recording);
// The three additive glow bands along the bottom.
void background_draw_glow(SDL_Renderer* r, int32_t w, int32_t h, float level, bool recording);
