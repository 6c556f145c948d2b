// audiofile_sink.cpp - buffer and callback sinks, and the sample converter.
#include "audio/audiofile_sink.h"

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "audio/sample_buffer.h"

// A container's claimed duration is only a hint: the first reservation covers at most
// this much, and the buffer grows as blocks really arrive.
static const double kReserveSeconds = 30.0 * 60.0;
static const int64_t kReserveMaxSamples = (int64_t)1 << 28;     // 1 GiB of floats
static const int64_t kMarginFrames = 8192;
static const int64_t kMarginMaxSamples = 16384;
static const int64_t kMinGrowFrames = 4096;

AudioSink audiofile_buffer_sink(SampleBuffer* b)
{
    AudioSink s;
    s.buffer = b;
    return s;
}

AudioSink audiofile_callback_sink(const AudioSinkCallbacks* callbacks)
{
    AudioSink s;
    s.callbacks = callbacks;
    return s;
}

void audiofile_error(char* err, size_t err_cap, const char* word)
{
    if (err && err_cap > 0)
        snprintf(err, err_cap, "%s", word ? word : "");
}

// Resizes the buffer's sample array to frames; false (array unchanged) on failure.
static bool sink_resize(AudioSink* s, int64_t frames)
{
    if (!sample_buffer_resize(s->buffer, frames))
        return false;
    s->capacity = frames;
    return true;
}

bool audiofile_sink_begin(AudioSink* s, int32_t channels, double rate, int64_t expected_frames)
{
    if (!s || channels < 1)
        return false;
    s->channels = channels;
    if (!s->buffer) {
        const AudioSinkCallbacks* cb = s->callbacks;
        return !cb || !cb->begin || cb->begin(cb->ctx, channels, rate, expected_frames);
    }
    SampleBuffer* b = s->buffer;
    std::free(b->samples);
    b->samples = nullptr;
    b->channels = channels;
    b->sample_rate = rate;
    b->frames = 0;
    s->capacity = 0;
    if (expected_frames < 1)
        return true;
    int64_t reserve = expected_frames;
    double by_time = kReserveSeconds * rate;
    if (std::isfinite(by_time) && by_time >= 1.0 && by_time < (double)reserve)
        reserve = (int64_t)by_time;
    if (reserve > kReserveMaxSamples / channels)
        reserve = kReserveMaxSamples / channels;
    int64_t margin = kMarginMaxSamples / channels;
    margin = margin < 1 ? 1 : margin > kMarginFrames ? kMarginFrames : margin;
    return sink_resize(s, reserve + margin);
}

// Makes room for frames more in the buffer, growing by half at least.
static bool sink_grow(AudioSink* s, int64_t frames)
{
    int64_t need = s->buffer->frames + frames;
    if (need <= s->capacity)
        return true;
    int64_t grown = s->capacity + s->capacity / 2;
    if (grown < need)
        grown = need;
    if (grown < kMinGrowFrames)
        grown = kMinGrowFrames;
    return sink_resize(s, grown);
}

float* audiofile_sink_reserve(AudioSink* s, int64_t frames)
{
    if (!s || frames < 1 || s->channels < 1 || frames > INT64_MAX / 4 / s->channels)
        return nullptr;
    if (s->buffer) {
        if (s->buffer->channels != s->channels || !sink_grow(s, frames))
            return nullptr;
        return s->buffer->samples + s->buffer->frames * s->channels;
    }
    int64_t samples = frames * s->channels;
    if (samples > s->scratch_capacity) {
        float* p = (float*)std::realloc(s->scratch, sizeof(float) * (size_t)samples);
        if (!p)
            return nullptr;
        s->scratch = p;
        s->scratch_capacity = samples;
    }
    return s->scratch;
}

int audiofile_sink_commit(AudioSink* s, int64_t frames)
{
    if (!s || frames < 1)
        return 1;
    if (s->buffer) {
        s->buffer->frames += frames;
        return 1;
    }
    const AudioSinkCallbacks* cb = s->callbacks;
    if (!cb || !cb->append)
        return 1;
    return cb->append(cb->ctx, s->scratch, frames) ? 1 : 0;
}

int audiofile_sink_append(AudioSink* s, const void* data, int64_t frames, int32_t channels,
                          int bytes_per_sample, bool is_float)
{
    if (!s || frames < 1)
        return 1;
    if (channels != s->channels || !data)
        return -1;
    float* dst = audiofile_sink_reserve(s, frames);
    if (!dst)
        return -1;
    audiofile_convert_samples(dst, data, frames * channels, bytes_per_sample, is_float);
    return audiofile_sink_commit(s, frames);
}

void audiofile_sink_release(AudioSink* s)
{
    if (!s)
        return;
    std::free(s->scratch);
    s->scratch = nullptr;
    s->scratch_capacity = 0;
}

void audiofile_sink_clear(AudioSink* s)
{
    if (!s || !s->buffer)
        return;
    std::free(s->buffer->samples);
    *s->buffer = SampleBuffer{};
    s->capacity = 0;
}

// ---------------------------------------------------------------------------
// Sample converter
// ---------------------------------------------------------------------------

void audiofile_scrub(float* samples, int64_t count)
{
    for (int64_t i = 0; i < count; i++)
        if (!std::isfinite(samples[i]))
            samples[i] = 0.0f;
}

void audiofile_convert_samples(float* dst, const void* src, int64_t count, int bytes_per_sample,
                               bool is_float)
{
    if (!dst || !src || count < 1)
        return;
    const uint8_t* p = (const uint8_t*)src;
    if (is_float && bytes_per_sample == 4) {
        for (int64_t i = 0; i < count; i++, p += 4) {
            uint32_t bits = (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 |
                            (uint32_t)p[3] << 24;
            if ((bits & 0x7F800000u) == 0x7F800000u)   // infinity or NaN
                bits = 0;
            std::memcpy(&dst[i], &bits, 4);
        }
    } else if (is_float) {
        for (int64_t i = 0; i < count; i++, p += 8) {
            uint64_t bits = 0;
            for (int k = 7; k >= 0; k--)
                bits = bits << 8 | p[k];
            double d;
            std::memcpy(&d, &bits, 8);
            // Out of float range counts as damage too (and its narrowing is undefined).
            dst[i] = std::fabs(d) <= (double)FLT_MAX ? (float)d : 0.0f;
        }
    } else if (bytes_per_sample == 1) {
        for (int64_t i = 0; i < count; i++)
            dst[i] = ((int)p[i] - 128) * (1.0f / 128.0f);
    } else if (bytes_per_sample == 2) {
        for (int64_t i = 0; i < count; i++, p += 2)
            dst[i] = (int16_t)(uint16_t)(p[0] | p[1] << 8) * (1.0f / 32768.0f);
    } else if (bytes_per_sample == 3) {
        for (int64_t i = 0; i < count; i++, p += 3) {
            int32_t x = (int32_t)((uint32_t)p[0] << 8 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 24) >> 8;
            dst[i] = (float)x * (1.0f / 8388608.0f);
        }
    } else if (bytes_per_sample == 4) {
        for (int64_t i = 0; i < count; i++, p += 4) {
            int32_t x = (int32_t)((uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 |
                                  (uint32_t)p[3] << 24);
            dst[i] = (float)((double)x * (1.0 / 2147483648.0));
        }
    } else {
        std::memset(dst, 0, sizeof(float) * (size_t)count);
    }
}
