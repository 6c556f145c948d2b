// standins.h - the last stand-ins, for the take view and the video panel, which are
// being written beside this code. Each keeps its final name, so the call sites stay
// as they are when the real one arrives, and does the least its caller relies on;
// the take view's answer can be scripted by tests. Delete each section when its
// module lands, and this file with the last.
// Threads: UI thread only.
// Depends on: app/app_state.h.
#pragma once
#include <cstddef>
#include <cstdint>

struct AppState;
struct VideoPlayer;

// ===========================================================================
// Take view (goes when the take view lands)
// ===========================================================================

// The beat grid of the take in the library player (take loading owns it).
struct TakeBeatGrid {
    double start;               // seconds; 0 without a partial first segment
    double segment_length;      // seconds
    double beat;                // seconds
    double duration;            // seconds
    double pixels_per_second;
    int32_t count;              // segments
    int32_t partial;            // 1: segment 0 covers 0..start
    float pixels_per_segment;
};

bool take_beat_grid(AppState* app, TakeBeatGrid* grid);
void take_bars_to_loop(AppState* app, int32_t segment);
void take_grid_shift(AppState* app, int32_t beats);  // the loop panel's minus and plus

// ===========================================================================
// Video panel and player (go when the video panel lands)
// ===========================================================================

void video_player_destroy(VideoPlayer* player);
void video_player_close(VideoPlayer* player);
// Opens path in the video panel: the path copied, keep_trim as the trim-restored flag,
// ready and duration cleared, in and out cleared unless keep_trim. The stand-in has no
// player to ask, so no video opens.
void video_panel_open(AppState* app, const char* path, bool keep_trim);
// Moves the dragged trim handle to the pointer: in within max(0, out - 360) ..
// out - 0.25, out within in + 0.25 .. min(duration, in + 360).
void video_panel_trim_drag(AppState* app, float mouse_x);

// ===========================================================================
// What the stand-ins were asked, and how tests script them
// ===========================================================================

struct StandinLog {
    // Take view.
    bool have_grid;                   // script: take_beat_grid's answer ...
    TakeBeatGrid grid;                // ... and grid
    int32_t bars_to_loop;
    int32_t bars_segment;             // the segment last sent to the loop
    int32_t grid_shift;               // beats, summed
    // Video.
    int32_t video_destroys;
    int32_t video_closes;
};

StandinLog* standin_log(void);
void standin_reset(void);             // zeroes the log and the script
