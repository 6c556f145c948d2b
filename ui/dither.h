// dither.h - the noise-dither dissolve: a fixed 32 x 32 rank map and the number of
// cells each of the 12 fade steps keeps, so panels open and close in steps of 30 ms.
// Threads: any; the tables are built once, on first use, under C++'s guarded static.
// Depends on: nothing.
//
// A cell (row * 32 + column) is shown at level k when
//     dither_rank(cell) < dither_level_count(k).
// The ranks mix two octaves of tileable value noise with white noise from a fixed
// seed, so every run, every machine and every panel sees the same map.
#pragma once
#include <cstdint>

constexpr int32_t DITHER_SIZE = 32;                       // the map is DITHER_SIZE x DITHER_SIZE cells
constexpr int32_t DITHER_CELLS = DITHER_SIZE * DITHER_SIZE;
constexpr int32_t DITHER_STEPS = 12;                      // level 12: everything shown

constexpr double DITHER_STEP_SECONDS = 0.03;

// Rank 0..1023 of a cell; 1024 (never shown below level 12) outside 0..1023.
int32_t dither_rank(int32_t cell);
// Cells kept at a level: 0 below level 1, 1024 from level 12, a smoothstep between.
int32_t dither_level_count(int32_t level);
// The step reached seconds after opening (or starting to close): 0..12, 0 for a
// negative time or NaN.
int32_t dither_step_at(double seconds);
