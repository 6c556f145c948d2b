// meter.cpp - meter scale and ballistics.
#include "app/meter.h"

#include <algorithm>
#include <cmath>

#include "app/app_state.h"

static const float kMeterHoldSeconds = 0.8f;
static const float kMeterPeakFall = 0.55f;     // per second
static const float kMeterRelease = 5.5f;       // share of the gap per second

float meter_db_fraction(float level)
{
    if (!(level > 0.001f))
        return 0.0f;
    float f = (20.0f * std::log10(level) + 60.0f) / 60.0f;
    return std::clamp(f, 0.0f, 1.0f);
}

void meter_follow(Meter* meter, float value, float dt)
{
    if (!meter)
        return;
    if (value > meter->level)
        meter->level = value;
    else
        meter->level += (value - meter->level) * std::min(1.0f, kMeterRelease * dt);
    if (meter->level > meter->peak) {
        meter->peak = meter->level;
        meter->hold = 0.0f;
        return;
    }
    meter->hold += dt;
    if (meter->hold > kMeterHoldSeconds)
        meter->peak = std::max(0.0f, meter->peak - kMeterPeakFall * dt);
}
