// library_reader.cpp - the reader thread: a ring of requests, a queue of results, a
// summary made while the file streams past (no samples kept), and playback loads held
// to a size limit.
#include "library/library_reader.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

#include "audio/audiofile.h"
#include "audio/audiofile_sink.h"
#include "audio/sample_buffer.h"
#include "platform/plat_thread.h"

static const int kIdleWaitMs = 250;
static const int32_t kSummaryBins = 8192;      // fine peaks kept while streaming
static const int64_t kUnknownLengthBin = 64;   // frames per bin when the length is unknown
static const int64_t kFirstLoadFrames = 65536;

// Peaks of a file gathered block by block: bins of `block` frames; when the bins run
// out, neighbours merge and the block doubles, so any length fits the same memory.
struct SummaryStream {
    const std::atomic<int32_t>* cancel;
    int32_t channels;
    double rate;
    int64_t frames;
    int64_t block;
    int64_t in_bin;
    float running;
    int32_t bins;
    float peaks[kSummaryBins];
};

// A playback load: samples gathered into a buffer that may not pass the limit.
struct LoadStream {
    const std::atomic<int32_t>* cancel;
    SampleBuffer* buffer;
    int64_t capacity;                  // frames
    int64_t limit;                     // samples
};

struct LibraryReader {
    std::mutex lock;                   // guards the ring, the results and wake
    std::condition_variable woken;     // the auto-reset event: wake, under lock
    bool wake = false;
    ReadRequest ring[LIBRARY_RING];
    int32_t head = 0;
    int32_t count = 0;
    ReadResult results[LIBRARY_RESULTS];
    int32_t result_count = 0;
    bool ended = false;                // the thread left its loop (under lock)
    std::condition_variable ended_cv;
    std::condition_variable room;      // a result slot freed by the UI's take, or stop
    bool holding = false;              // a finished result waits for room (under lock)

    std::atomic<uint32_t> stop{0};
    std::atomic<int32_t> cancel{0};    // polled by the decoders
    std::atomic<int32_t> references{2};
    std::atomic<int64_t> load_limit{LIBRARY_LOAD_SAMPLE_LIMIT};

    // The thread's own.
    ReadRequest current;
    ReadResult result;
    SummaryStream summary;
};

// Records made and not yet freed: a reader stopped without waiting frees its own
// when its decode ends.
static std::atomic<int32_t> g_readers_alive{0};

static void reader_unref(LibraryReader* r)
{
    if (r->references.fetch_sub(1, std::memory_order_acq_rel) != 1)
        return;
    for (int32_t i = 0; i < r->result_count; i++)
        sample_buffer_destroy(r->results[i].buffer);
    delete r;
    g_readers_alive.fetch_sub(1, std::memory_order_acq_rel);
}

int32_t library_reader_alive(void)
{
    return g_readers_alive.load(std::memory_order_acquire);
}

static bool cancelled(const std::atomic<int32_t>* cancel)
{
    return cancel && cancel->load(std::memory_order_acquire) != 0;
}

// ---------------------------------------------------------------------------
// Summary while streaming
// ---------------------------------------------------------------------------

static bool summary_begin(void* ctx, int32_t channels, double rate, int64_t expected_frames)
{
    SummaryStream* s = (SummaryStream*)ctx;
    s->channels = channels;
    s->rate = rate;
    s->frames = 0;
    s->in_bin = 0;
    s->running = 0.0f;
    s->bins = 0;
    s->block = kUnknownLengthBin;
    if (expected_frames > 0)
        s->block = expected_frames / (kSummaryBins / 2) + 1;
    return channels > 0 && !cancelled(s->cancel);
}

static void summary_push(SummaryStream* s)
{
    if (s->bins == kSummaryBins) {
        for (int32_t i = 0; i < kSummaryBins / 2; i++)
            s->peaks[i] = std::fmax(s->peaks[2 * i], s->peaks[2 * i + 1]);
        s->bins = kSummaryBins / 2;
        s->block *= 2;
    }
    s->peaks[s->bins++] = s->running;
    s->running = 0.0f;
    s->in_bin = 0;
}

static bool summary_append(void* ctx, const float* data, int64_t frames)
{
    SummaryStream* s = (SummaryStream*)ctx;
    int64_t ch = s->channels;
    for (int64_t f = 0; f < frames; f++) {
        const float* frame = data + f * ch;
        for (int64_t c = 0; c < ch; c++) {
            float a = std::fabs(frame[c]);
            if (a > s->running)
                s->running = a;
        }
        if (++s->in_bin == s->block)
            summary_push(s);
    }
    s->frames += frames;
    return !cancelled(s->cancel);
}

// Columns of equal shares of the frames, each the largest bin it touches.
static void summary_finish(SummaryStream* s, float* out, double* duration)
{
    if (s->in_bin > 0)
        summary_push(s);
    std::memset(out, 0, sizeof(float) * LIBRARY_SUMMARY_COLUMNS);
    *duration = s->rate > 0.0 && std::isfinite(s->rate) ? (double)s->frames / s->rate : 0.0;
    if (s->frames < 1 || s->bins < 1)
        return;
    float top = 0.0f;
    for (int i = 0; i < LIBRARY_SUMMARY_COLUMNS; i++) {
        int64_t first = (int64_t)i * s->frames / LIBRARY_SUMMARY_COLUMNS;
        int64_t end = (int64_t)(i + 1) * s->frames / LIBRARY_SUMMARY_COLUMNS;
        int64_t a = first / s->block;
        int64_t b = end > first ? (end - 1) / s->block : a;
        float peak = 0.0f;
        for (int64_t k = a; k <= b && k < s->bins; k++)
            peak = std::fmax(peak, s->peaks[k]);
        out[i] = std::isfinite(peak) ? peak : 0.0f;
        top = std::fmax(top, out[i]);
    }
    if (top > 0.0f)
        for (int i = 0; i < LIBRARY_SUMMARY_COLUMNS; i++)
            out[i] /= top;
}

void library_summary_of(const SampleBuffer* b, float out[LIBRARY_SUMMARY_COLUMNS], double* duration)
{
    audiofile_overview(b, out, LIBRARY_SUMMARY_COLUMNS);
    if (duration)
        *duration = sample_buffer_seconds(b);
}

// ---------------------------------------------------------------------------
// Playback load within the limit
// ---------------------------------------------------------------------------

static bool load_grow(LoadStream* s, int64_t frames)
{
    if (frames > s->limit / s->buffer->channels || !sample_buffer_resize(s->buffer, frames))
        return false;
    s->capacity = frames;
    return true;
}

static bool load_begin(void* ctx, int32_t channels, double rate, int64_t expected_frames)
{
    LoadStream* s = (LoadStream*)ctx;
    SampleBuffer* b = s->buffer;
    if (channels < 1)
        return false;
    std::free(b->samples);
    *b = SampleBuffer{};
    b->channels = channels;
    b->sample_rate = rate;
    s->capacity = 0;
    // The claimed length is only a hint (a container may lie): reserve for it within
    // half an hour and the limit, and let the samples that really come decide.
    int64_t first = expected_frames > 0 ? expected_frames : kFirstLoadFrames;
    double half_hour = 1800.0 * rate;
    if (std::isfinite(half_hour) && half_hour >= 1.0 && (double)first > half_hour)
        first = (int64_t)half_hour;
    if (first > s->limit / channels)
        first = s->limit / channels;
    return first >= 1 && load_grow(s, first) && !cancelled(s->cancel);
}

static bool load_append(void* ctx, const float* data, int64_t frames)
{
    LoadStream* s = (LoadStream*)ctx;
    SampleBuffer* b = s->buffer;
    if (b->frames + frames > s->capacity) {
        int64_t want = s->capacity * 2;
        if (want < b->frames + frames)
            want = b->frames + frames;
        int64_t most = s->limit / b->channels;
        if (want > most)
            want = most;
        if (want < b->frames + frames || !load_grow(s, want))
            return false;
    }
    std::memcpy(b->samples + b->frames * b->channels, data, sizeof(float) * (size_t)(frames * b->channels));
    b->frames += frames;
    return !cancelled(s->cancel);
}

// ---------------------------------------------------------------------------
// The thread
// ---------------------------------------------------------------------------

static void reader_decode(LibraryReader* r, const ReadRequest* req, ReadResult* out)
{
    *out = ReadResult{};
    out->kind = req->kind;
    std::memcpy(out->path, req->path, sizeof out->path);
    if (req->kind == LIBRARY_READ_SUMMARY) {
        SummaryStream* s = &r->summary;
        s->cancel = &r->cancel;
        s->channels = 0;
        AudioSinkCallbacks cb = {summary_begin, summary_append, s};
        AudioSink sink = audiofile_callback_sink(&cb);
        int rc = audiofile_load(req->path, &sink, &r->cancel, nullptr, 0);
        audiofile_sink_release(&sink);
        if (rc == 0 && s->channels > 0) {
            summary_finish(s, out->summary, &out->duration);
            out->ok = 1;
        }
        return;
    }
    SampleBuffer* b = sample_buffer_create();
    if (!b)
        return;
    LoadStream s = {&r->cancel, b, 0, r->load_limit.load(std::memory_order_relaxed)};
    AudioSinkCallbacks cb = {load_begin, load_append, &s};
    AudioSink sink = audiofile_callback_sink(&cb);
    int rc = audiofile_load(req->path, &sink, &r->cancel, nullptr, 0);
    audiofile_sink_release(&sink);
    // A file that decodes to nothing cannot be played.
    if (rc != 0 || b->channels < 1 || b->frames < 1) {
        sample_buffer_destroy(b);
        return;
    }
    // Give back what the doubling reserved beyond the end.
    if (b->frames > 0 && b->frames < s.capacity) {
        float* p = (float*)std::realloc(b->samples, sizeof(float) * (size_t)(b->frames * b->channels));
        if (p)
            b->samples = p;
    }
    library_summary_of(b, out->summary, &out->duration);
    out->buffer = b;
    out->ok = 1;
}

static void reader_thread(void* arg)
{
    LibraryReader* r = (LibraryReader*)arg;
    while (r->stop.load(std::memory_order_acquire) == 0) {
        {
            std::unique_lock<std::mutex> hold(r->lock);
            if (r->count == 0) {
                r->woken.wait_for(hold, std::chrono::milliseconds(kIdleWaitMs), [r] {
                    return r->wake || r->stop.load(std::memory_order_acquire) != 0;
                });
                r->wake = false;
                continue;
            }
            r->current = r->ring[r->head];
            r->head = (r->head + 1) % LIBRARY_RING;
            r->count--;
        }
        reader_decode(r, &r->current, &r->result);
        // A full result queue is waited out, never dropped: a dropped summary would
        // leave its card without a strip and the progress count waiting for good.
        SampleBuffer* dropped = r->result.buffer;
        {
            std::unique_lock<std::mutex> hold(r->lock);
            r->holding = true;
            r->room.wait(hold, [r] {
                return r->result_count < LIBRARY_RESULTS || r->stop.load(std::memory_order_acquire) != 0;
            });
            r->holding = false;
            if (r->result_count < LIBRARY_RESULTS) {
                r->results[r->result_count++] = r->result;
                dropped = nullptr;
            }
        }
        sample_buffer_destroy(dropped);
    }
    {
        std::lock_guard<std::mutex> hold(r->lock);
        r->ended = true;
        r->ended_cv.notify_all();
    }
    reader_unref(r);
}

// ---------------------------------------------------------------------------
// UI side
// ---------------------------------------------------------------------------

LibraryReader* library_reader_start(void)
{
    LibraryReader* r = new (std::nothrow) LibraryReader();
    if (!r)
        return nullptr;
    g_readers_alive.fetch_add(1, std::memory_order_acq_rel);
    if (!plat_thread_start_detached(reader_thread, r, "tessel-libread")) {
        delete r;
        g_readers_alive.fetch_sub(1, std::memory_order_acq_rel);
        return nullptr;
    }
    return r;
}

bool library_reader_request(LibraryReader* r, uint32_t kind, const char* path, bool urgent)
{
    if (!r || !path)
        return false;
    size_t len = std::strlen(path);
    if (len == 0 || len >= LIBRARY_PATH)
        return false;
    bool queued = false;
    {
        std::lock_guard<std::mutex> hold(r->lock);
        if (r->count < LIBRARY_RING) {
            int32_t slot;
            if (urgent) {
                r->head = (r->head + LIBRARY_RING - 1) % LIBRARY_RING;
                slot = r->head;
            } else {
                slot = (r->head + r->count) % LIBRARY_RING;
            }
            r->ring[slot].kind = kind;
            std::memcpy(r->ring[slot].path, path, len + 1);
            r->count++;
            queued = true;
        }
        r->wake = true;
    }
    r->woken.notify_one();
    return queued;
}

int32_t library_reader_waiting(LibraryReader* r, bool* holding)
{
    if (!r)
        return 0;
    std::lock_guard<std::mutex> hold(r->lock);
    if (holding)
        *holding = r->holding;
    return r->result_count;
}

int32_t library_reader_take(LibraryReader* r, ReadResult* out, int32_t cap)
{
    if (!r || !out || cap < 1)
        return 0;
    int32_t n;
    {
        std::lock_guard<std::mutex> hold(r->lock);
        n = r->result_count < cap ? r->result_count : cap;
        std::memcpy(out, r->results, sizeof(ReadResult) * (size_t)n);
        std::memmove(r->results, r->results + n, sizeof(ReadResult) * (size_t)(r->result_count - n));
        r->result_count -= n;
    }
    if (n > 0)
        r->room.notify_all();
    return n;
}

bool library_reader_stop(LibraryReader* r, int wait_ms)
{
    if (!r)
        return true;
    r->stop.exchange(1, std::memory_order_acq_rel);
    r->cancel.exchange(1, std::memory_order_acq_rel);
    bool ended;
    {
        std::unique_lock<std::mutex> hold(r->lock);
        r->wake = true;
        r->woken.notify_all();
        r->room.notify_all();
        ended = r->ended_cv.wait_for(hold, std::chrono::milliseconds(wait_ms < 0 ? 0 : wait_ms),
                                     [r] { return r->ended; });
    }
    if (!ended)
        fprintf(stderr, "library: the reader is still decoding; it will free itself when done\n");
    reader_unref(r);
    return ended;
}

void library_reader_set_load_limit(LibraryReader* r, int64_t samples)
{
    if (r && samples > 0)
        r->load_limit.store(samples, std::memory_order_relaxed);
}
