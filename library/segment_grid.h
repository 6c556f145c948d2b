// segment_grid.h - a take cut into segments of whole bars at its found tempo: where the
// segments start and end and how wide they are drawn. One set of formulas for the loop
// player panel's bar strip and the take view's tempo row, each with its own width.
// Threads: any (pure functions).
// Depends on: nothing.
#pragma once
#include <cstdint>

constexpr double SEGMENT_GRID_TOLERANCE = 0.02;     // seconds: a shorter remainder is no segment
constexpr float SEGMENT_GRID_MIN_WIDTH = 44.0f;     // units a segment is drawn at least

struct SegmentGrid {
    double start;                 // seconds; 0 without a lead segment
    double segment_length;        // seconds
    double beat;                  // seconds
    double duration;              // seconds
    double pixels_per_second;
    int32_t count;                // segments
    int32_t lead;                 // 1: segment 0 covers 0..start
    float segment_width;          // units
};

// What the grid is cut from: the analysis result and the take's length.
struct SegmentGridInput {
    double bpm;                   // not above 0: no grid
    double first_beat;            // seconds
    int64_t frames;
    double rate;
    int32_t bars_per_segment;     // below 1 counts as 4
    int32_t shift;                // beats; taken modulo the segment's beats
    double width;                 // units the whole take spans (raised per segment)
};

// False, grid zeroed, when there is no tempo, no length or not one segment.
bool segment_grid_make(const SegmentGridInput* in, SegmentGrid* grid);
// Segment k's start and end in seconds, ends capped at the duration. False outside
// 0..count - 1.
bool segment_grid_bounds(const SegmentGrid* grid, int32_t k, double* start, double* end);
// The segment holding time t (seconds), or -1 outside 0..duration.
int32_t segment_grid_at(const SegmentGrid* grid, double t);
// Shorter than a whole segment by more than the tolerance.
bool segment_grid_partial(const SegmentGrid* grid, int32_t k);

// The peak envelope of a take: one entry per sixteenth note at bpm, each the largest
// magnitude of channel 0 over its step, read every 8th frame; at most 400,000
// entries. Null (count 0) when the step is under 16 frames or memory runs out; the
// caller frees the array.
float* segment_envelope_make(const float* samples, int32_t channels, int64_t frames, double rate, double bpm,
                             int32_t* count);
