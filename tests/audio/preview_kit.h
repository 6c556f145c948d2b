// preview_kit.h - buffers for the preview player's tests: heap records the player may
// own and free, filled with a ramp or a constant so every rendered sample can be told.
// Threads: any (a buffer belongs to its maker until handed to a player).
// Depends on: audio/preview.h.
#pragma once
#include <cstdlib>

#include "audio/preview.h"

// frames x channels interleaved samples; sample (frame f, channel c) = f * 0.001 +
// c * 0.0001 + offset, so a rendered value tells the frame and the channel it came from.
inline SampleBuffer* preview_kit_buffer(int32_t channels, double rate, int64_t frames, float offset = 0.0f)
{
    SampleBuffer* b = sample_buffer_create();
    if (!b)
        return nullptr;
    b->channels = channels;
    b->sample_rate = rate;
    b->frames = frames;
    size_t n = (size_t)(frames * channels);
    b->samples = (float*)std::malloc((n ? n : 1) * sizeof(float));
    for (int64_t f = 0; f < frames; f++)
        for (int32_t c = 0; c < channels; c++)
            b->samples[f * channels + c] = (float)f * 0.001f + (float)c * 0.0001f + offset;
    return b;
}

// Takes every buffer out of the player and frees it (no render may be running).
inline void preview_kit_empty(PreviewPlayer* p)
{
    SampleBuffer* current = nullptr;
    SampleBuffer* retired = nullptr;
    preview_detach_buffers(p, &current, &retired);
    sample_buffer_destroy(current);
    sample_buffer_destroy(retired);
}
