// sample_buffer.h - decoded audio in memory: interleaved floats with their format.
// Threads: a buffer belongs to one thread at a time (the one that filled or owns it),
//          except that a record on the heap may be shared for reading: each sharer
//          destroys it when done, from any thread, and the last one frees it.
// Depends on: nothing.
#pragma once
#include <cstdint>

struct SampleBuffer {
    int32_t channels = 0;
    double sample_rate = 0.0;
    int64_t frames = 0;
    float* samples = nullptr;        // channels x frames, interleaved; owned (malloc)
    int32_t sharers = 0;             // owners beside the first; atomic (sample_buffer_share)
};

double sample_buffer_seconds(const SampleBuffer* b);   // 0 for null or a rate not above 0
void sample_buffer_free(SampleBuffer* b);              // frees the samples, clears the record
// Resizes the sample array to room for frames of the buffer's channels (frames itself
// is left to the caller); false, array unchanged, on overflow or out of memory.
bool sample_buffer_resize(SampleBuffer* b, int64_t frames);

// A record on the heap for handing buffers between owners (the preview player takes
// and gives these); null when out of memory. Destroy frees the samples and the
// record; null does nothing. A shared record is freed by the last destroy.
SampleBuffer* sample_buffer_create(void);
void sample_buffer_destroy(SampleBuffer* b);
// One more owner of a record on the heap, which reads it only and destroys it when
// done (a worker reading the take player's buffer, which the player may drop
// meanwhile). Returns b.
SampleBuffer* sample_buffer_share(SampleBuffer* b);
