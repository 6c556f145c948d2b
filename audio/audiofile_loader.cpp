// audiofile_loader.cpp - load jobs: the loader thread, the peak columns, polling,
// release by reference count, and the bounded wait for every loader at shutdown.
#include "audio/audiofile_loader.h"

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
#include "platform/plat_thread.h"

static const int kBatch = 512;                 // peaks gathered before taking the lock
static const int32_t kFirstPeakCapacity = 4096;
static const int64_t kUnknownBlock = 1024;     // frames per column when the length is unknown
static const int64_t kMinBlock = 256;
static const int64_t kColumnsForKnown = 4096;

struct AudioLoadJob {
    char path[1024] = {};
    std::atomic<int32_t> cancel{0};
    std::atomic<int32_t> references{1};
    std::atomic<int32_t> state{0};             // 0 loading, 1 done, -1 failed
    std::mutex lock;                           // guards the fields up to partial_peak
    uint8_t format_known = 0;
    int32_t channels = 0;
    double sample_rate = 0.0;
    int64_t expected_frames = -1;
    int64_t block = 0;
    int64_t decoded_frames = 0;
    float* peaks = nullptr;
    int32_t peak_count = 0;
    int32_t peak_capacity = 0;
    float partial_peak = 0.0f;
    float running_peak = 0.0f;                 // loader thread's own
    int64_t frames_in_column = 0;              // loader thread's own
    AudioLoadJob* next_live = nullptr;         // registry link, under the registry lock
};

// Jobs whose loader thread still runs. Never destroyed, so a loader that outlives
// main's return never meets a destroyed lock.
struct LoaderRegistry {
    std::mutex lock;
    std::condition_variable ended;
    AudioLoadJob* live = nullptr;
    int running = 0;
};

static LoaderRegistry* registry(void)
{
    static LoaderRegistry* r = new LoaderRegistry();
    return r;
}

static bool job_cancelled(const AudioLoadJob* job)
{
    return job->cancel.load(std::memory_order_acquire) != 0;
}

static void job_unref(AudioLoadJob* job)
{
    if (job->references.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        std::free(job->peaks);
        delete job;
    }
}

AudioLoadJob* audiofile_loader_create(const char* path)
{
    if (!path)
        return nullptr;
    AudioLoadJob* job = new (std::nothrow) AudioLoadJob();
    if (job)
        snprintf(job->path, sizeof job->path, "%s", path);
    return job;
}

// ---------------------------------------------------------------------------
// Sink steps (loader thread)
// ---------------------------------------------------------------------------

bool audiofile_loader_begin(void* ctx, int32_t channels, double rate, int64_t expected_frames)
{
    AudioLoadJob* job = (AudioLoadJob*)ctx;
    if (!job)
        return false;
    {
        std::lock_guard<std::mutex> hold(job->lock);
        job->channels = channels;
        job->sample_rate = rate;
        job->expected_frames = expected_frames >= 1 ? expected_frames : -1;
        int64_t block = expected_frames / kColumnsForKnown;
        job->block = expected_frames < 1 ? kUnknownBlock : block > kMinBlock ? block : kMinBlock;
        job->format_known = 1;
    }
    job->running_peak = 0.0f;
    job->frames_in_column = 0;
    return !job_cancelled(job);
}

// Adds finished columns to the job's peaks (caller holds the lock); a failed growth
// drops them.
static void job_add_peaks(AudioLoadJob* job, const float* batch, int n)
{
    if (n < 1)
        return;
    int64_t need = (int64_t)job->peak_count + n;
    if (need > job->peak_capacity) {
        int64_t cap = job->peak_capacity > 0 ? job->peak_capacity : kFirstPeakCapacity;
        while (cap < need)
            cap *= 2;
        if (cap > INT32_MAX / 2)
            return;
        float* p = (float*)std::realloc(job->peaks, sizeof(float) * (size_t)cap);
        if (!p)
            return;
        job->peaks = p;
        job->peak_capacity = (int32_t)cap;
    }
    std::memcpy(job->peaks + job->peak_count, batch, sizeof(float) * (size_t)n);
    job->peak_count += n;
}

bool audiofile_loader_append(void* ctx, const float* data, int64_t frames)
{
    AudioLoadJob* job = (AudioLoadJob*)ctx;
    if (!job || !data || job->channels < 1 || job->block < 1)
        return false;
    float batch[kBatch];
    int n = 0;
    int64_t ch = job->channels;
    float running = job->running_peak;
    int64_t in_column = job->frames_in_column;
    for (int64_t f = 0; f < frames; f++) {
        const float* s = data + f * ch;
        for (int64_t c = 0; c < ch; c++) {
            float a = std::fabs(s[c]);
            if (a > running)
                running = a;
        }
        if (++in_column == job->block) {
            batch[n++] = std::isfinite(running) ? running : 0.0f;
            running = 0.0f;
            in_column = 0;
            if (n == kBatch) {
                std::lock_guard<std::mutex> hold(job->lock);
                job_add_peaks(job, batch, n);
                n = 0;
            }
        }
    }
    job->running_peak = running;
    job->frames_in_column = in_column;
    {
        std::lock_guard<std::mutex> hold(job->lock);
        job_add_peaks(job, batch, n);
        job->decoded_frames += frames;
        job->partial_peak = std::isfinite(running) ? running : 0.0f;
    }
    return !job_cancelled(job);
}

// ---------------------------------------------------------------------------
// Loader thread
// ---------------------------------------------------------------------------

static void loader_thread(void* arg)
{
    AudioLoadJob* job = (AudioLoadJob*)arg;
    AudioSinkCallbacks callbacks = {audiofile_loader_begin, audiofile_loader_append, job};
    AudioSink sink = audiofile_callback_sink(&callbacks);
    int r = audiofile_load(job->path, &sink, &job->cancel, nullptr, 0);
    audiofile_sink_release(&sink);
    job->state.exchange(r == 0 ? 1 : -1, std::memory_order_acq_rel);

    LoaderRegistry* reg = registry();
    {
        std::lock_guard<std::mutex> hold(reg->lock);
        for (AudioLoadJob** p = &reg->live; *p; p = &(*p)->next_live) {
            if (*p == job) {
                *p = job->next_live;
                break;
            }
        }
    }
    job_unref(job);
    // Last: once the count falls, shutdown may let the process end.
    std::lock_guard<std::mutex> hold(reg->lock);
    reg->running--;
    reg->ended.notify_all();
}

AudioLoadJob* audiofile_loader_start(const char* path)
{
    if (!audiofile_is_supported(path))
        return nullptr;
    AudioLoadJob* job = audiofile_loader_create(path);
    if (!job)
        return nullptr;
    job->references.store(2, std::memory_order_relaxed);
    LoaderRegistry* reg = registry();
    std::lock_guard<std::mutex> hold(reg->lock);
    if (!plat_thread_start_detached(loader_thread, job, "tessel-fileload")) {
        delete job;
        return nullptr;
    }
    // The new thread unlinks the job under this same lock, so it waits for the link.
    job->next_live = reg->live;
    reg->live = job;
    reg->running++;
    return job;
}

void audiofile_loader_release(AudioLoadJob* job)
{
    if (!job)
        return;
    job->cancel.exchange(1, std::memory_order_acq_rel);
    job_unref(job);
}

bool audiofile_loader_shutdown(int timeout_ms)
{
    LoaderRegistry* reg = registry();
    std::unique_lock<std::mutex> hold(reg->lock);
    for (AudioLoadJob* j = reg->live; j; j = j->next_live)
        j->cancel.store(1, std::memory_order_release);
    return reg->ended.wait_for(hold, std::chrono::milliseconds(timeout_ms < 0 ? 0 : timeout_ms),
                               [reg] { return reg->running == 0; });
}

int audiofile_loader_running(void)
{
    LoaderRegistry* reg = registry();
    std::lock_guard<std::mutex> hold(reg->lock);
    return reg->running;
}

// ---------------------------------------------------------------------------
// Poll (owner's thread)
// ---------------------------------------------------------------------------

int audiofile_loader_poll(AudioLoadJob* job, float* out, int columns, float* progress,
                          float* duration)
{
    if (out && columns > 0)
        std::memset(out, 0, sizeof(float) * (size_t)columns);
    if (progress)
        *progress = 0.0f;
    if (duration)
        *duration = 0.0f;
    if (!job)
        return -1;
    int state = job->state.load(std::memory_order_acquire);
    double prog = 0.0;
    {
        std::lock_guard<std::mutex> hold(job->lock);
        if (job->format_known && job->sample_rate > 0.0) {
            int64_t total = job->expected_frames >= 1 ? job->expected_frames
                            : job->decoded_frames > 1 ? job->decoded_frames : 1;
            int64_t span = total / job->block + 1;
            float top = 0.0f;
            for (int i = 0; out && i < columns; i++) {
                int64_t a = (int64_t)i * span / columns;
                int64_t b = (int64_t)(i + 1) * span / columns;
                if (b <= a)
                    b = a + 1;
                float m = 0.0f;
                for (int64_t c = a; c < b && c <= job->peak_count; c++) {
                    float v = c < job->peak_count ? job->peaks[c] : job->partial_peak;
                    if (v > m)
                        m = v;
                }
                out[i] = m;
                if (m > top)
                    top = m;
            }
            if (top > 0.0f)
                for (int i = 0; out && i < columns; i++)
                    out[i] /= top;
            prog = job->expected_frames >= 1
                       ? (double)job->decoded_frames / (double)job->expected_frames
                       : 1.0;
            if (duration)
                *duration = (float)((double)total / job->sample_rate);
        }
    }
    prog = prog < 0.0 ? 0.0 : prog > 1.0 ? 1.0 : prog;
    if (state == 1)
        prog = 1.0;
    if (progress)
        *progress = (float)prog;
    return state;
}
