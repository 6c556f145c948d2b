// frame_pace.h - paces the frame loop to the display's refresh where presents do not
// wait for it: a renderer without vsync, or one that claims vsync and does not hold
// (software GL, a virtual display, a driver that refuses it).
// Threads: UI thread only.
// Depends on: nothing (a pure function of the frame times it is given).
//
// Whether presents are held is measured, never taken from the renderer's flag: each
// frame hands over how long its work and present took (without the pause this module
// asked for). While the median of the last FRAME_PACE_WINDOW frames reaches
// FRAME_PACE_HELD of the refresh period, something else holds the loop (vsync, or
// work that fills the period anyway) and no pause is asked. The mark sits close to the
// period (a present held by vsync returns at the refresh, so its frames take the whole
// period): frames whose work takes most of it are still paced, or the loop would run
// faster than the display whenever drawing costs 12 to 16 ms. Otherwise frames start on
// a grid of the period: the pause runs to the next grid point, so rounding in the
// sleep does not pile up, and a frame that overran starts a fresh grid.
#pragma once
#include <cstdint>

constexpr int32_t FRAME_PACE_WINDOW = 8;
constexpr double FRAME_PACE_HELD = 0.97;         // of the period
constexpr double FRAME_PACE_DEFAULT_HZ = 60.0;   // when the display does not say

struct FramePace {
    double period;                        // seconds per refresh
    double busy[FRAME_PACE_WINDOW];       // the last frames' work and present, in seconds
    int32_t count;                        // how many of busy hold a frame (up to the window)
    int32_t next;                         // where the next frame's time goes
    double deadline;                      // the grid point the current frame may end at
    bool held;                            // the last answer: presents are held elsewhere
};

// Starts at the given refresh rate (0, negative or absurd: 60 Hz).
void frame_pace_init(FramePace* pace, double refresh_hz);
// A new refresh rate (the window moved to another display); the history stays.
void frame_pace_set_rate(FramePace* pace, double refresh_hz);
// One frame that started at frame_start and had presented at presented (seconds of
// one monotonic clock). Returns how long to pause now before the next frame starts;
// 0 while presents are held.
double frame_pace_after_present(FramePace* pace, double frame_start, double presented);
