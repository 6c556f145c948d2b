// frame_pace.cpp - the frame loop's pause: measured hold, a grid of the refresh period.
#include "app/frame_pace.h"

#include <algorithm>

static double frame_pace_period(double hz)
{
    // Displays report 0 when unknown; anything outside 20..1000 Hz is not believed.
    if (!(hz >= 20.0 && hz <= 1000.0))
        hz = FRAME_PACE_DEFAULT_HZ;
    return 1.0 / hz;
}

void frame_pace_init(FramePace* pace, double refresh_hz)
{
    if (!pace)
        return;
    *pace = FramePace{};
    pace->period = frame_pace_period(refresh_hz);
}

void frame_pace_set_rate(FramePace* pace, double refresh_hz)
{
    if (pace)
        pace->period = frame_pace_period(refresh_hz);
}

static double frame_pace_median(const FramePace* pace)
{
    double v[FRAME_PACE_WINDOW];
    std::copy(pace->busy, pace->busy + pace->count, v);
    std::sort(v, v + pace->count);
    return v[pace->count / 2];
}

double frame_pace_after_present(FramePace* pace, double frame_start, double presented)
{
    if (!pace)
        return 0.0;
    double busy = presented - frame_start;
    if (!(busy >= 0.0))
        busy = 0.0;
    pace->busy[pace->next] = busy;
    pace->next = (pace->next + 1) % FRAME_PACE_WINDOW;
    pace->count = std::min(pace->count + 1, FRAME_PACE_WINDOW);
    // Until the window has filled, vsync may still be settling: no pause yet.
    pace->held = pace->count < FRAME_PACE_WINDOW || frame_pace_median(pace) >= FRAME_PACE_HELD * pace->period;
    if (pace->held) {
        pace->deadline = 0.0;
        return 0.0;
    }
    // The next grid point after this frame's start; a frame that ran past it (or the
    // first paced frame) starts the grid again from its own start.
    double next = pace->deadline > 0.0 ? pace->deadline + pace->period : frame_start + pace->period;
    if (next <= presented || next > presented + pace->period)
        next = std::max(frame_start + pace->period, presented);
    pace->deadline = next;
    return next - presented;
}
