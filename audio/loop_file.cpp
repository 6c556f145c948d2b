// loop_file.cpp - loop export to 16-bit and float WAV, and WAV import into the loop.
#include "audio/loop_file.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "audio/audiofile_sink.h"
#include "audio/engine.h"
#include "audio/looper.h"
#include "audio/resample_filter.h"
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

// A forward-only window over the file's first two channels: frame k stays readable
// until a frame past the window is asked for.
struct LoopSource {
    FILE* f;
    const WavFormat* h;
    int64_t frames;          // frames the file holds
    int64_t block;           // frames per read
    uint8_t* raw;
    float* conv;             // block x channels
    float* left;             // block + 1: the previous block's last frame, then the block
    float* right;
    int64_t base;            // file frame index of left[0]
    int64_t count;           // frames in the window
    int64_t next;            // next file frame to read
    ResampleFilter low_left; // the anti-alias low-pass of each side, when the rate drops
    ResampleFilter low_right;
};

static bool source_open(LoopSource* s, FILE* f, const WavFormat* h, int64_t frames, double loop_rate)
{
    *s = LoopSource{f, h, frames, 0, nullptr, nullptr, nullptr, nullptr, 0, 0, 0, {}, {}};
    resample_filter_init(&s->low_left, (double)h->sample_rate, loop_rate);
    resample_filter_init(&s->low_right, (double)h->sample_rate, loop_rate);
    s->block = wav_block_frames(h);
    s->raw = (uint8_t*)std::malloc((size_t)(s->block * h->frame_bytes));
    s->conv = (float*)std::malloc(sizeof(float) * (size_t)(s->block * h->channels));
    s->left = (float*)std::malloc(sizeof(float) * (size_t)(s->block + 1));
    s->right = (float*)std::malloc(sizeof(float) * (size_t)(s->block + 1));
    return s->raw && s->conv && s->left && s->right;
}

static void source_close(LoopSource* s)
{
    std::free(s->raw);
    std::free(s->conv);
    std::free(s->left);
    std::free(s->right);
}

// Makes frame k readable; false when the file ends before it.
static bool source_reach(LoopSource* s, int64_t k)
{
    while (k >= s->base + s->count) {
        if (s->count > 0) {
            s->left[0] = s->left[s->count - 1];
            s->right[0] = s->right[s->count - 1];
            s->base += s->count - 1;
            s->count = 1;
        }
        int64_t want = s->frames - s->next < s->block ? s->frames - s->next : s->block;
        size_t got = want > 0 ? fread(s->raw, (size_t)s->h->frame_bytes, (size_t)want, s->f) : 0;
        if (got == 0)
            return false;
        int ch = s->h->channels;
        audiofile_convert_samples(s->conv, s->raw, (int64_t)got * ch, s->h->bytes_per_sample,
                                  s->h->format == 3);
        for (size_t i = 0; i < got; i++) {
            s->left[s->count + i] = s->conv[i * ch];
            s->right[s->count + i] = s->conv[i * ch + (ch > 1 ? 1 : 0)];
        }
        resample_filter_apply(&s->low_left, s->left + s->count, (int64_t)got, 1);
        resample_filter_apply(&s->low_right, s->right + s->count, (int64_t)got, 1);
        s->count += (int64_t)got;
        s->next += (int64_t)got;
    }
    return true;
}

// Fills the loop from the source, stepping ratio file frames per loop frame with
// linear interpolation. Returns the frames written.
static int32_t loop_fill(Engine* e, LoopSource* s, double ratio, int64_t out_frames)
{
    int64_t i = 0;
    for (; i < out_frames; i++) {
        double p = (double)i * ratio;
        double fl = std::floor(p);
        int64_t i0 = (int64_t)fl;
        if (i0 > s->frames - 1)
            i0 = s->frames - 1;
        int64_t i1 = ratio != 1.0 && i0 + 1 < s->frames ? i0 + 1 : i0;
        if (!source_reach(s, i1))
            break;
        float f = (float)(p - fl);
        int64_t a = i0 - s->base, b = i1 - s->base;
        e->loop_left[i] = (1.0f - f) * s->left[a] + f * s->left[b];
        e->loop_right[i] = (1.0f - f) * s->right[a] + f * s->right[b];
    }
    return (int32_t)i;
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
    double ratio = (double)h.sample_rate / engine_rate;
    int64_t out_frames = ratio == 1.0 ? frames : (int64_t)((double)frames / ratio);
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
    int32_t written = loop_fill(e, &src, ratio, out_frames);
    e->position.store(0, std::memory_order_relaxed);
    e->length.store(written, std::memory_order_relaxed);
    loop_end_replace(e);
    if (loss) {
        loss->capped = over && written == ENGINE_LOOP_CAPACITY;
        loss->channels = h.channels > 2 ? h.channels : 0;
        loss->file_rate = ratio != 1.0 ? h.sample_rate : 0;
        // The loop holds 32-bit floats: integers up to 24 bits fit them exactly.
        bool finer = h.format == 3 ? h.bytes_per_sample > 4 : h.bits > 24;
        loss->bits = finer ? h.bits : 0;
    }

    source_close(&src);
    fclose(f);
    return true;
}
