// viz.h - the drawing functions the library's views share: the band visualiser of the
// playing card, the closed form of one struck band, noise, easing curves, the drop
// outline of a waveform element, and the texts of sizes and durations.
// Threads: UI thread only (pure functions apart from the visualiser record).
// Depends on: nothing.
#pragma once
#include <cstddef>
#include <cstdint>

enum { VIZ_MAX_BANDS = 240 };

struct BandVisualiser {
    int32_t bands;
    float glow_gain, glow_decay;
    float displacement[VIZ_MAX_BANDS];
    float velocity[VIZ_MAX_BANDS];
    float glow[VIZ_MAX_BANDS];
    float level[VIZ_MAX_BANDS];
    uint8_t struck[VIZ_MAX_BANDS];
    float factor[VIZ_MAX_BANDS];
    double last_time;                 // < 0 before the first step
    float playhead;                   // < 0 none
};

void viz_bands_init(BandVisualiser* v, int32_t bands, float glow_gain, float glow_decay);
void viz_bands_clear(BandVisualiser* v);
// One step: position 0..1 or -1, summary of `bands` values or null, time in seconds.
void viz_bands_update(BandVisualiser* v, double position, const float* summary, double time);
// One band after a strike, x bands past the playhead: its displacement and glow.
void viz_band_motion(float x, float level, float* displacement, float* glow);
void bezier_points(const float p[8], int32_t n, float* xs, float* ys);

// A waveform element's drop outline: centre x, y, half-width w, height h, flip, skew s,
// extra length e, cap c. Writes 2 * (steps + 1) points (left curve, then the right
// one reversed) and returns their count; steps 1..10.
struct VizWaveShape {
    float x, y, w, h;
    uint8_t flip;
    float skew, extra, cap;
};
int32_t viz_draw_wave(const VizWaveShape* shape, int32_t steps, float* xs, float* ys);
float viz_glow_width(float level, float size, bool wide);
float value_noise_1d(float x);
float spring_curve(float t);
float fade_curve(float t);
float beat_flash_amount(float x);
// "%d:%02d" of the seconds rounded; "" for 0 or less.
void format_duration(double seconds, char* out, size_t cap);
// Binary units: "B", "KB" (truncated), "%.1f MB", "%.2f GB"; "" below 1 byte.
void format_size(uint64_t bytes, char* out, size_t cap);
// The span for fractions a..b of width (at least 2 units, inside 0..width). False for
// an empty or inverted range.
bool layout_clamp_range(float a, float b, float width, float* x0, float* x1);
