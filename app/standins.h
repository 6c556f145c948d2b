// standins.h - stand-ins for functions that modules still to come own, called by the
// shell under their final names so the call sites stay as they are when the real
// ones arrive. Each does the least its caller relies on and counts its calls, so
// tests can watch the shell drive them. Delete each one (and its counter) when the
// module named beside it lands.
// Threads: UI thread only.
// Depends on: app/app_state.h.
#pragma once
#include <cstddef>
#include <cstdint>

struct AppState;
struct Library;
union SDL_Event;

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

// What the stand-ins were asked to do, and how tests script them.
struct StandinLog {
    // Calls into take loading and the session take, counted for the shell's tests.
    int32_t session_saves;            // session_wav_save calls that started a write
    int32_t session_saves_waited;     // ... of them with wait
    int32_t opened_paths;             // app_open_path calls
    char opened_path[600];            // the path last opened
    int32_t library_scans;            // app_library_scan calls
    int32_t take_load_finishes;       // take_load_finish calls
    int32_t take_loads;               // take_load_into_loop calls
    int32_t take_loaded_index;
    // Take view.
    bool have_grid;                   // script: take_beat_grid's answer ...
    TakeBeatGrid grid;                // ... and grid
    int32_t bars_to_loop;
    int32_t bars_segment;             // the segment last sent to the loop
    int32_t grid_shift;               // beats, summed
};

StandinLog* standin_log(void);
void standin_reset(void);             // zeroes the log and the script


// -- The beat grid (replaced by the take view's grid) --
bool take_beat_grid(AppState* app, TakeBeatGrid* grid);
void take_bars_to_loop(AppState* app, int32_t segment);
void take_grid_shift(AppState* app, int32_t beats);  // the loop panel's minus and plus
