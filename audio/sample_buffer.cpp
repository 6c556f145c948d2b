// sample_buffer.cpp - SampleBuffer length, release, and records on the heap.
#include "audio/sample_buffer.h"

#include <atomic>
#include <cstdlib>
#include <new>

double sample_buffer_seconds(const SampleBuffer* b)
{
    if (!b || !(b->sample_rate > 0.0))
        return 0.0;
    return (double)b->frames / b->sample_rate;
}

void sample_buffer_free(SampleBuffer* b)
{
    if (!b)
        return;
    std::free(b->samples);
    *b = SampleBuffer{};
}

SampleBuffer* sample_buffer_create(void)
{
    return new (std::nothrow) SampleBuffer();
}

void sample_buffer_destroy(SampleBuffer* b)
{
    if (!b)
        return;
    // Another owner still reads it: the last one frees it, having seen every read end.
    if (std::atomic_ref<int32_t>(b->sharers).fetch_sub(1, std::memory_order_acq_rel) > 0)
        return;
    sample_buffer_free(b);
    delete b;
}

SampleBuffer* sample_buffer_share(SampleBuffer* b)
{
    if (b)
        std::atomic_ref<int32_t>(b->sharers).fetch_add(1, std::memory_order_relaxed);
    return b;
}

bool sample_buffer_resize(SampleBuffer* b, int64_t frames)
{
    if (!b)
        return false;
    int64_t ch = b->channels;
    if (frames < 1 || ch < 1 || frames > INT64_MAX / 4 / ch)
        return false;
    float* p = (float*)std::realloc(b->samples, sizeof(float) * (size_t)(frames * ch));
    if (!p)
        return false;
    b->samples = p;
    return true;
}
