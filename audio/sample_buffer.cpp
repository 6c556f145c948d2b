// sample_buffer.cpp - SampleBuffer length and release.
#include "audio/sample_buffer.h"

#include <cstdlib>

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
