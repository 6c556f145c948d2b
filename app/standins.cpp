// standins.cpp - the stand-ins of standins.h, in its sections. Nothing here touches
// files, threads or plug-in libraries.
#include "app/standins.h"

#include <algorithm>
#include <cstdio>

#include "app/app_state.h"

static StandinLog g_log;

StandinLog* standin_log(void)
{
    return &g_log;
}

void standin_reset(void)
{
    g_log = StandinLog{};
    g_log.bars_segment = -1;
}

// ---------------------------------------------------------------------------
// Take view
// ---------------------------------------------------------------------------

bool take_beat_grid(AppState* app, TakeBeatGrid* grid)
{
    if (!g_log.have_grid)
        return false;
    if (grid)
        *grid = g_log.grid;
    return true;
}

void take_bars_to_loop(AppState* app, int32_t segment)
{
    g_log.bars_to_loop++;
    g_log.bars_segment = segment;
}

void take_grid_shift(AppState* app, int32_t beats)
{
    g_log.grid_shift += beats;
}
