// standins.h - the last stand-ins, for the take view, which is
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
// What the stand-ins were asked, and how tests script them
// ===========================================================================

struct StandinLog {
    // Take view.
    bool have_grid;                   // script: take_beat_grid's answer ...
    TakeBeatGrid grid;                // ... and grid
    int32_t bars_to_loop;
    int32_t bars_segment;             // the segment last sent to the loop
    int32_t grid_shift;               // beats, summed
};

StandinLog* standin_log(void);
void standin_reset(void);             // zeroes the log and the script
