// take_grid_kit.h - a beat grid for the loop panel's tests without an analysis: an
// 8.5 s take at 1 kHz made the player's current buffer, found at 120 BPM, one bar a
// segment, the grid a beat late: a 0.5 s lead bar and four full bars.
#pragma once
#include "app/app_state.h"
#include "app/take_grid.h"
#include "tests/audio/preview_kit.h"

inline void take_grid_kit_load(AppState* app, PreviewPlayer* player)
{
    preview_load(player, preview_kit_buffer(1, 1000.0, 8500), false);
    player->current.store(player->pending.exchange(nullptr));
    app->preview = player;
    app->bars_per_segment = 1;
    TakeGridState& st = app->take_grid;
    st.buffer = player->current.load();
    st.generation = player->generation.load();
    st.frames = 8500;
    st.rate = 1000.0;
    st.has_result = 1;
    st.bpm = 120.0f;
    st.first_beat = 0.0;
    st.shift = 1;
}
