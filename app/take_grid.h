// take_grid.h - the beat grid of the take in the library player: its tempo and key
// found a slice per frame, its peak envelope, the segments of bars the loop player
// panel shows and plays, the player following the segment it plays in, and a segment
// sent to the loop.
// Threads: UI thread only.
// Depends on: app/app_state.h, app/takes.h, app/toast.h, audio/engine.h, audio/tempo.h,
//             audio/preview.h, audio/sample_buffer.h, library/segment_grid.h,
//             library/library.h.
#pragma once
#include <cstdint>

#include "audio/tempo.h"
#include "library/segment_grid.h"

struct AppState;
struct SampleBuffer;

using TakeBeatGrid = SegmentGrid;

constexpr float TAKE_GRID_STRIP_WIDTH = 568.0f;     // the loop panel's bar strip
constexpr int32_t TAKE_GRID_STEP_WINDOWS = 96;      // analysis windows a frame

// Kept in the AppState; zero-filled at start. The buffer pointer is only compared,
// never read: the player may have freed it.
struct TakeGridState {
    const SampleBuffer* buffer;       // the buffer analysed; null none
    int32_t generation;               // the player's generation it belongs to
    int64_t frames;                   // its length and rate, taken at the start
    double rate;
    TempoAnalysis analysis;
    uint8_t has_result;
    float bpm;                        // 0: no steady pulse
    double first_beat;                // seconds
    int32_t key;                      // key_name index, -1 none
    float* envelope;                  // one peak per sixteenth note; owned
    int32_t envelope_count;
    int32_t shift;                    // beats, from the panel's steppers; not saved
    uint8_t region_set;               // the grid set the player's region ...
    double region_start, region_end;  // ... to these seconds
};

// Every frame after the library's update: restarts on a new buffer or generation,
// else steps the analysis; then the player follows the grid.
void take_beat_analysis(AppState* app);
// The grid of the analysed take at the strip's width; false when there is none.
bool take_beat_grid(AppState* app, TakeBeatGrid* grid);
// With player-loop on, the segment holding the play position becomes the player's
// region; with it off, a region the grid set gives way to the item's marks.
void take_player_follow_grid(AppState* app);
// Segment (0..count - 1) of the analysed take, resampled to the engine's rate on the
// loader's thread (takes.h, take_load_bars), becomes the loop and starts a new
// session, once the old loop is secured (take_wait.h).
void take_bars_to_loop(AppState* app, int32_t segment);
// The panel's steppers: moves the grid by whole beats.
void take_grid_shift(AppState* app, int32_t beats);
// Frees the analysis and the envelope (at exit).
void take_grid_free(AppState* app);
