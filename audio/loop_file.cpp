// loop_file.cpp - loop export to 16-bit and float WAV, and WAV import into the loop.
#include "audio/loop_file.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "audio/audiofile_sink.h"
#include "audio/engine.h"
#include "audio/looper.h"
#include "audio/resampler.h"
#include "audio/wav_read.h"
#include "audio/wav_write.h"
#include "platform/plat_file.h"

static const int kWriteBlock = 4096;             // frames per write

// The engine's rate as a header field: truncated; 0 when it cannot be one.
static uint32_t loop_file_rate(const Engine* e)
{
    double r = e->sample_rate;
    return r >= 1.0 && r < 1.0e9 ? (uint32_t)r : 0;
}

static int16_t loop_pcm16(float x)
{
    if (!(x == x))
        return 0;
    x = x < -1.0f ? -1.0f : x > 1.0f ? 1.0f : x;
    return (int16_t)(x * 32767.0f);
}

bool loop_write_wav16_to(Engine* e, FILE* f)
{
    if (!e || !f || !e->loop_left)
        return false;
    // One snapshot of the length, so the header and the data agree.
    int32_t len = e->length.load(std::memory_order_relaxed);
    uint32_t rate = loop_file_rate(e);
    if (len < 1 || rate == 0)
        return false;
    uint8_t head[WAV_PCM16_HEADER];
    wav_header_pcm16(head, rate, (uint32_t)len * 4);
    bool ok = fwrite(head, 1, sizeof head, f) == sizeof head;
    uint8_t buf[kWriteBlock * 4];
    for (int32_t at = 0; ok && at < len; at += kWriteBlock) {
        int n = len - at < kWriteBlock ? len - at : kWriteBlock;
        for (int i = 0; i < n; i++) {
            uint16_t l = (uint16_t)loop_pcm16(e->loop_left[at + i]);
            uint16_t r = (uint16_t)loop_pcm16(e->loop_right[at + i]);
            uint8_t* p = buf + i * 4;
            p[0] = (uint8_t)l;
            p[1] = (uint8_t)(l >> 8);
            p[2] = (uint8_t)r;
            p[3] = (uint8_t)(r >> 8);
        }
        ok = fwrite(buf, 4, (size_t)n, f) == (size_t)n;
    }
    return ok;
}

bool loop_write_wav_float_to(Engine* e, FILE* f)
{
    if (!e || !f || !e->loop_left)
        return false;
    int32_t len = e->length.load(std::memory_order_relaxed);
    uint32_t rate = loop_file_rate(e);
    if (len < 0 || rate == 0)
        return false;
    float* buf = (float*)std::malloc(sizeof(float) * 2 * kWriteBlock);
    if (!buf)
        return false;
    uint8_t head[WAV_FLOAT_HEADER];
    wav_header_float(head, rate, (uint32_t)len * 8);
    bool ok = fwrite(head, 1, sizeof head, f) == sizeof head;
    for (int32_t at = 0; ok && at < len; at += kWriteBlock) {
        int n = len - at < kWriteBlock ? len - at : kWriteBlock;
        for (int i = 0; i < n; i++) {
            buf[2 * i] = e->loop_left[at + i];
            buf[2 * i + 1] = e->loop_right[at + i];
        }
        ok = fwrite(buf, sizeof(float) * 2, (size_t)n, f) == (size_t)n;
    }
    std::free(buf);
    return ok;
}

// Creates path, runs one of the stream writers on it and finishes it; a partial file
// is removed.
static bool loop_write_path(Engine* e, const char* path, bool (*write)(Engine* e, FILE* f))
{
    if (!e || !path || !e->loop_left)
        return false;
    FILE* f = plat_file_create(path);
    if (!f)
        return false;
    if (!write(e, f)) {
        plat_file_discard(f, path);
        return false;
    }
    return plat_file_finish(f, path);
}

bool loop_write_wav16(Engine* e, const char* path)
{
    // Nothing is made without a loop.
    if (!e || e->length.load(std::memory_order_relaxed) < 1)
        return false;
    return loop_write_path(e, path, loop_write_wav16_to);
}

bool loop_write_wav_float(Engine* e, const char* path)
{
    return loop_write_path(e, path, loop_write_wav_float_to);
}

// ---------------------------------------------------------------------------
// Import
// ---------------------------------------------------------------------------

// The file's first two channels read a block at a time, for the resampler.
struct LoopSource {
    FILE* f;
    const WavFormat* h;
    int64_t frames;          // frames the file holds
    int64_t block;           // frames per read
    int64_t data_start;      // the file offset of frame 0
    uint8_t* raw;
    float* conv;             // block x channels
    Resampler* resampler;    // the file's rate to the loop's
};

static bool source_open(LoopSource* s, FILE* f, const WavFormat* h, int64_t frames, double loop_rate)
{
    *s = LoopSource{f, h, frames, 0, plat_file_tell(f), nullptr, nullptr, nullptr};
    s->resampler = resampler_create((double)h->sample_rate, loop_rate);
    s->block = wav_block_frames(h);
    s->raw = (uint8_t*)std::malloc((size_t)(s->block * h->frame_bytes));
    s->conv = (float*)std::malloc(sizeof(float) * (size_t)(s->block * h->channels));
    return s->data_start >= 0 && s->raw && s->conv && s->resampler;
}

static void source_close(LoopSource* s)
{
    std::free(s->raw);
    std::free(s->conv);
    resampler_destroy(s->resampler);
}

// The next frames, at most max and one block, into left and right; 0 at the end.
static int64_t source_read(void* ctx, float* left, float* right, int64_t max)
{
    LoopSource* s = (LoopSource*)ctx;
    int64_t want = max < s->block ? max : s->block;
    size_t got = fread(s->raw, (size_t)s->h->frame_bytes, (size_t)want, s->f);
    int ch = s->h->channels;
    audiofile_convert_samples(s->conv, s->raw, (int64_t)got * ch, s->h->bytes_per_sample, s->h->format == 3);
    for (size_t i = 0; i < got; i++) {
        left[i] = s->conv[i * ch];
        right[i] = s->conv[i * ch + (ch > 1 ? 1 : 0)];
    }
    return (int64_t)got;
}

static bool source_seek(void* ctx, int64_t k)
{
    LoopSource* s = (LoopSource*)ctx;
    return plat_file_seek(s->f, s->data_start + k * s->h->frame_bytes, SEEK_SET);
}

// Fills the loop from the source at the loop's rate: the whole file as the loop's
// cycle, or, when the loop holds only its beginning, that beginning. Returns the frames
// written.
static int32_t loop_fill(Engine* e, LoopSource* s, int64_t out_frames, bool whole)
{
    ResampleInput in{source_read, s, 0, s->frames, source_seek};
    if (whole)
        return resampler_run_cycle(s->resampler, &in, e->loop_left, e->loop_right, (int32_t)out_frames);
    return resampler_run(s->resampler, &in, 0.0, e->loop_left, e->loop_right, (int32_t)out_frames);
}

bool loop_load_loss_any(const LoopLoadLoss* loss)
{
    return loss->capped || loss->channels > 0 || loss->file_rate > 0 || loss->bits > 0;
}

bool loop_load_wav(Engine* e, const char* path, LoopLoadLoss* loss)
{
    if (loss)
        *loss = LoopLoadLoss{};
    if (!e || !path || !e->loop_left || !e->loop_right)
        return false;
    FILE* f = plat_file_open_read(path);
    if (!f)
        return false;
    // Everything about the file is settled before the hold, so a refusal leaves the
    // loop as it was. A data size of 0 or 0xFFFFFFFF means up to the end of the
    // file, as wav_read takes it; the header walk measures that and refuses a file
    // with no frame at all.
    WavFormat h;
    if (wav_read_header(f, &h, nullptr) != WAV_OK) {
        fclose(f);
        return false;
    }
    int64_t frames = h.data_bytes / h.frame_bytes;
    // Data declared but cut before its first whole frame: nothing to load, and the
    // loop is not to be emptied for it (wav_read calls this TRUNCATED).
    if (frames < 1) {
        fclose(f);
        return false;
    }
    double engine_rate = e->sample_rate > 0.0 ? e->sample_rate : 48000.0;
    bool resampled = (double)h.sample_rate != engine_rate;
    int64_t out_frames = resample_length(frames, (double)h.sample_rate, engine_rate, (int64_t)ENGINE_LOOP_CAPACITY + 1);
    bool over = out_frames > ENGINE_LOOP_CAPACITY;
    if (over)
        out_frames = ENGINE_LOOP_CAPACITY;
    // A file at a rate so far above the engine's that it comes to less than one loop
    // frame has nothing to give the loop: refused, the loop kept.
    if (out_frames < 1) {
        fclose(f);
        return false;
    }
    LoopSource src;
    if (!source_open(&src, f, &h, frames, engine_rate)) {
        source_close(&src);
        fclose(f);
        return false;
    }

    if (!loop_begin_replace(e)) {
        source_close(&src);
        fclose(f);
        return false;
    }
    e->length.store(0, std::memory_order_relaxed);
    e->position.store(0, std::memory_order_relaxed);
    int32_t written = loop_fill(e, &src, out_frames, !over);
    e->position.store(0, std::memory_order_relaxed);
    e->length.store(written, std::memory_order_relaxed);
    loop_end_replace(e);
    if (loss) {
        loss->capped = over && written == ENGINE_LOOP_CAPACITY;
        loss->channels = h.channels > 2 ? h.channels : 0;
        loss->file_rate = resampled ? h.sample_rate : 0;
        // The loop holds 32-bit floats: integers up to 24 bits fit them exactly.
        bool finer = h.format == 3 ? h.bytes_per_sample > 4 : h.bits > 24;
        loss->bits = finer ? h.bits : 0;
    }

    source_close(&src);
    fclose(f);
    return true;
}
