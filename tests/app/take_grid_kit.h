// take_grid_kit.h - a beat grid for the loop panel's tests without an analysis: a
// take made the player's current buffer and found at a given tempo, one bar a
// segment. take_grid_kit_load: an 8.5 s take at 1 kHz at 120 BPM, the grid a beat
// late: a 0.5 s lead bar and four full bars.
#pragma once
#include "app/app_state.h"
#include "app/take_grid.h"
#include "tests/audio/preview_kit.h"

// take (owned by the player from here) replaces the player's current buffer, found at
// bpm with its first beat at first_beat seconds and the grid shifted by shift beats.
inline void take_grid_kit_take(AppState* app, PreviewPlayer* player, SampleBuffer* take, float bpm,
                               double first_beat, int32_t shift)
{
    preview_kit_empty(player);
    preview_load(player, take, false);
    player->current.store(player->pending.exchange(nullptr));
    app->preview = player;
    app->bars_per_segment = 1;
    TakeGridState& st = app->take_grid;
    st.buffer = player->current.load();
    st.generation = player->generation.load();
    st.frames = take->frames;
    st.rate = take->sample_rate;
    st.has_result = 1;
    st.bpm = bpm;
    st.first_beat = first_beat;
    st.shift = shift;
}

inline void take_grid_kit_load(AppState* app, PreviewPlayer* player)
{
    take_grid_kit_take(app, player, preview_kit_buffer(1, 1000.0, 8500), 120.0f, 0.0, 1);
}
