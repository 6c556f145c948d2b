// meter.h - level meters on a 60 dB display scale with a held, falling peak.
// Threads: UI thread only.
// Depends on: app/app_state.h (Meter).
#pragma once

struct Meter;

// 0 when level <= 0.001, else (20 log10 level + 60) / 60 clamped to 0..1.
float meter_db_fraction(float level);
// The level jumps up to a higher value and eases down by min(1, 5.5 dt) of the gap.
// A level above the peak becomes the peak and restarts the hold; once the hold has
// passed 0.8 s the peak falls by 0.55 per second, not below 0.
void meter_follow(Meter* meter, float value, float dt);
