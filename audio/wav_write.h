// wav_write.h - RIFF/WAVE headers byte by byte, and the float file with a fact chunk.
// Threads: any.
// Depends on: platform/plat_file.h.
#pragma once
#include <cstdint>
#include <cstdio>

enum {
    WAV_PCM16_HEADER = 44,        // 16-bit stereo PCM
    WAV_FLOAT_HEADER = 46,        // 32-bit float stereo, 18-byte fmt
    WAV_FACT_HEADER = 58,         // 32-bit float, any channels, fact chunk
};

// Fill the headers for data_bytes of samples at the given integer rate.
void wav_header_pcm16(uint8_t out[WAV_PCM16_HEADER], uint32_t rate, uint32_t data_bytes);
void wav_header_float(uint8_t out[WAV_FLOAT_HEADER], uint32_t rate, uint32_t data_bytes);
void wav_header_fact(uint8_t out[WAV_FACT_HEADER], int32_t channels, uint32_t rate,
                     uint32_t frames);

// Whether a float file of these dimensions has a header that can say so: the whole
// file within 4 GiB, a block align in 16 bits, the rounded rate and the byte rate in 32.
bool wav_float_fits(int32_t channels, int64_t frames, double rate);

// Writes interleaved float samples with the 58-byte header (the rate rounded). False
// when the arguments do not fit or any write or the close fails; a partial file is
// then removed.
bool wav_write_float(const char* path, const float* samples, int32_t channels, int64_t frames,
                     double rate);
// The same file written to f from its start; false when the arguments do not fit or a
// write fails (the caller finishes or discards f).
bool wav_write_float_to(FILE* f, const float* samples, int32_t channels, int64_t frames, double rate);
