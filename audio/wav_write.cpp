// wav_write.cpp - WAV header layouts and the float file with a fact chunk.
#include "audio/wav_write.h"

#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "platform/plat_file.h"

// Float samples go to the file as they lie in memory.
static_assert(std::endian::native == std::endian::little, "WAV samples are little-endian");

static void put16(uint8_t* p, uint32_t v)
{
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
}

static void put32(uint8_t* p, uint32_t v)
{
    put16(p, v & 0xFFFFu);
    put16(p + 2, v >> 16);
}

// "RIFF" size "WAVE" "fmt " fmt_size, then the 16 common fmt bytes.
static void header_start(uint8_t* out, uint32_t riff_size, uint32_t fmt_size, uint16_t tag,
                         uint16_t channels, uint32_t rate, uint16_t bits)
{
    uint32_t align = (uint32_t)channels * bits / 8;
    std::memcpy(out, "RIFF", 4);
    put32(out + 4, riff_size);
    std::memcpy(out + 8, "WAVEfmt ", 8);
    put32(out + 16, fmt_size);
    put16(out + 20, tag);
    put16(out + 22, channels);
    put32(out + 24, rate);
    put32(out + 28, rate * align);
    put16(out + 32, align);
    put16(out + 34, bits);
}

void wav_header_pcm16(uint8_t out[WAV_PCM16_HEADER], uint32_t rate, uint32_t data_bytes)
{
    header_start(out, data_bytes + 36, 16, 1, 2, rate, 16);
    std::memcpy(out + 36, "data", 4);
    put32(out + 40, data_bytes);
}

void wav_header_float(uint8_t out[WAV_FLOAT_HEADER], uint32_t rate, uint32_t data_bytes)
{
    header_start(out, data_bytes + 38, 18, 3, 2, rate, 32);
    put16(out + 36, 0);
    std::memcpy(out + 38, "data", 4);
    put32(out + 42, data_bytes);
}

void wav_header_fact(uint8_t out[WAV_FACT_HEADER], int32_t channels, uint32_t rate,
                     uint32_t frames)
{
    uint32_t data_bytes = (uint32_t)channels * frames * 4;
    header_start(out, data_bytes + 50, 18, 3, (uint16_t)channels, rate, 32);
    put16(out + 36, 0);
    std::memcpy(out + 38, "fact", 4);
    put32(out + 42, 4);
    put32(out + 46, frames);
    std::memcpy(out + 50, "data", 4);
    put32(out + 54, data_bytes);
}

bool wav_float_fits(int32_t channels, int64_t frames, double rate)
{
    if (channels < 1 || channels > 0xFFFF / 4 || frames < 1 || !std::isfinite(rate) || rate <= 0.0)
        return false;
    double rounded = std::floor(rate + 0.5);
    if (rounded < 1.0 || rounded * channels * 4.0 > 4294967295.0)
        return false;
    // The RIFF size (data + 50) and the file (data + 58) both within 32 bits.
    uint64_t data = (uint64_t)channels * 4;
    if ((uint64_t)frames > (0xFFFFFFFFull - WAV_FACT_HEADER) / data)
        return false;
    return true;
}

bool wav_write_float_to(FILE* f, const float* samples, int32_t channels, int64_t frames, double rate)
{
    if (!f || !samples || !wav_float_fits(channels, frames, rate))
        return false;
    uint8_t head[WAV_FACT_HEADER];
    wav_header_fact(head, channels, (uint32_t)std::floor(rate + 0.5), (uint32_t)frames);
    size_t count = (size_t)channels * (size_t)frames;
    return fwrite(head, 1, sizeof head, f) == sizeof head && fwrite(samples, sizeof(float), count, f) == count;
}

bool wav_write_float(const char* path, const float* samples, int32_t channels, int64_t frames,
                     double rate)
{
    if (!path || !path[0] || !samples || !wav_float_fits(channels, frames, rate))
        return false;
    FILE* f = plat_file_create(path);
    if (!f)
        return false;
    if (!wav_write_float_to(f, samples, channels, frames, rate)) {
        plat_file_discard(f, path);
        return false;
    }
    return plat_file_finish(f, path);
}
