// preview.cpp - the preview player: the UI's commands, the buffer hand-over and the
// real-time render with linear rate conversion.
#include "audio/preview.h"

#include <cmath>

namespace {

const std::memory_order rl = std::memory_order_relaxed;
const std::memory_order acq = std::memory_order_acquire;
const std::memory_order rel = std::memory_order_release;
const std::memory_order ar = std::memory_order_acq_rel;

// 0..1; NaN gives 0.
double clamp_unit(double x)
{
    if (!(x > 0.0))
        return 0.0;
    return x < 1.0 ? x : 1.0;
}

// The buffer the UI's commands refer to: the one posted last, else the one playing.
// Safe on the UI thread: only this thread ever frees a buffer of the player.
const SampleBuffer* ui_buffer(const PreviewPlayer* p)
{
    const SampleBuffer* b = p->pending.load(acq);
    return b ? b : p->current.load(acq);
}

// What the render can play. A rate that is not a finite positive number would hold
// one sample forever (a rate of 0) or make the position non-finite.
bool playable(const SampleBuffer* b)
{
    return b && b->samples && b->frames >= 1 && b->channels >= 1 && b->sample_rate > 0.0 &&
           std::isfinite(b->sample_rate);
}

}  // namespace

// ---------------------------------------------------------------------------
// UI thread
// ---------------------------------------------------------------------------

void preview_init(PreviewPlayer* p)
{
    if (!p)
        return;
    p->current.store(nullptr, rl);
    p->pending.store(nullptr, rl);
    p->retired.store(nullptr, rl);
    p->playing.store(0, rl);
    p->looping.store(0, rl);
    p->seek_pending.store(0, rl);
    p->generation.store(0, rl);
    p->seek_target.store(0.0, rl);
    p->position.store(0.0, rl);
    p->published_position.store(0, rl);
    p->ended.store(0, rl);
    p->gain.store(1.0f, rl);
    p->region_set.store(0, rl);
    p->in_region.store(0, rl);
    p->region_start.store(0, rl);
    p->region_end.store(0, rl);
}

void preview_load(PreviewPlayer* p, SampleBuffer* buffer, bool play)
{
    if (!p)
        return;
    p->playing.store(0, rel);
    p->ended.store(0, rl);
    p->published_position.store(0, rl);
    p->region_set.store(0, rl);
    p->in_region.store(0, rl);
    // A seek still waiting was meant for the old take; the new one starts at 0.
    p->seek_pending.store(0, rl);
    sample_buffer_destroy(p->retired.exchange(nullptr, ar));
    sample_buffer_destroy(p->pending.exchange(buffer, ar));
    p->generation.fetch_add(1, rl);
    if (play)
        p->playing.store(1, rel);
}

void preview_play(PreviewPlayer* p)
{
    if (!p)
        return;
    if (p->ended.load(acq)) {
        double f = 0.0;
        const SampleBuffer* b = ui_buffer(p);
        if (preview_region_active(p) && b && b->frames > 0)
            f = (double)p->region_start.load(rl) / (double)b->frames;
        preview_seek(p, f);
        p->ended.store(0, rl);
    }
    p->playing.store(1, rel);
}

bool preview_pause(PreviewPlayer* p)
{
    return p && p->playing.exchange(0, ar) != 0;
}

void preview_stop(PreviewPlayer* p)
{
    if (!p)
        return;
    p->playing.store(0, rel);
    preview_seek(p, 0.0);
}

int64_t preview_seek(PreviewPlayer* p, double fraction)
{
    if (!p)
        return 0;
    double f = clamp_unit(fraction);
    const SampleBuffer* b = ui_buffer(p);
    double target = b ? (double)b->frames * f : 0.0;
    int32_t in = 0;
    if (p->region_set.load(rl) && b && b->frames > 0) {
        double frames = (double)b->frames;
        double h = 0.5 / frames;
        in = f >= (double)p->region_start.load(rl) / frames - h &&
             f <= (double)p->region_end.load(rl) / frames + h;
    }
    p->in_region.store(in, rl);
    p->seek_target.store(target, rl);
    p->seek_pending.store(1, rel);   // after the target: the render reads it once it sees the flag
    return p->published_position.exchange((int64_t)target, ar);
}

bool preview_set_region(PreviewPlayer* p, double start, double end, bool enable)
{
    if (!p)
        return false;
    bool was = p->region_set.load(rl) != 0;
    const SampleBuffer* b = ui_buffer(p);
    if (enable && b && b->frames >= 1) {
        // A start past 1 is held at 1: the same empty region at the end.
        double s = clamp_unit(start);
        double e = end < 1.0 ? end : 1.0;
        if (!(e > s))
            e = s;
        double frames = (double)b->frames;
        p->region_start.store((int64_t)(frames * s), rl);
        p->region_end.store((int64_t)(e * frames), rl);
        p->region_set.store(1, rel);
        p->in_region.store(1, rel);
    } else {
        p->region_set.store(0, rel);
        p->in_region.store(0, rel);
    }
    return was;
}

void preview_set_looping(PreviewPlayer* p, bool looping)
{
    if (p)
        p->looping.store(looping ? 1 : 0, rl);
}

void preview_set_gain(PreviewPlayer* p, float gain)
{
    if (p)
        p->gain.store(gain, rl);
}

bool preview_is_playing(const PreviewPlayer* p)
{
    return p && p->playing.load(acq) != 0;
}

bool preview_region_active(const PreviewPlayer* p)
{
    return p && p->region_set.load(rl) && p->in_region.load(rl);
}

double preview_duration(const PreviewPlayer* p)
{
    if (!p)
        return 0.0;
    const SampleBuffer* b = p->current.load(acq);
    return sample_buffer_seconds(b ? b : p->pending.load(acq));
}

double preview_position(const PreviewPlayer* p)
{
    if (!p)
        return 0.0;
    const SampleBuffer* b = p->current.load(acq);
    if (!b)
        b = p->pending.load(acq);
    if (!b || b->frames <= 0)
        return 0.0;
    return clamp_unit((double)p->published_position.load(rl) / (double)b->frames);
}

SampleBuffer* preview_take_retired(PreviewPlayer* p)
{
    return p ? p->retired.exchange(nullptr, ar) : nullptr;
}

void preview_detach_buffers(PreviewPlayer* p, SampleBuffer** current, SampleBuffer** retired)
{
    if (current)
        *current = nullptr;
    if (retired)
        *retired = nullptr;
    if (!p)
        return;
    p->playing.store(0, rel);
    // Pending first: a buffer adopted meanwhile is then found as current or retired.
    sample_buffer_destroy(p->pending.exchange(nullptr, ar));
    if (current)
        *current = p->current.exchange(nullptr, ar);
    if (retired)
        *retired = p->retired.exchange(nullptr, ar);
    p->published_position.store(0, rl);
}

// ---------------------------------------------------------------------------
// Audio thread
// ---------------------------------------------------------------------------

// One output frame between the take's frames a and c (f of the way), added to both sides:
// a mono take plays on both.
static inline void add_frame(const float* a, const float* c, int64_t right_ch, float f, float gain, float* left,
                             float* right)
{
    *left += (a[0] + (c[0] - a[0]) * f) * gain;
    *right += (a[right_ch] + (c[right_ch] - a[right_ch]) * f) * gain;
}

// A place at or past the end of a looped span, as far into its start; one further past
// (the span moved) its start.
static inline double wrap_into(double pos, int64_t start, int64_t end)
{
    if (pos < (double)end)
        return pos;
    double over = pos - (double)end;
    return (double)start + (over < (double)(end - start) ? over : 0.0);
}

void preview_render(PreviewPlayer* p, float* left, float* right, int32_t frames, double device_rate)
{
    if (!p || frames < 1 || !(device_rate > 0.0) || !std::isfinite(device_rate))
        return;

    // Adopt the posted buffer, unless the one retired last is still waiting for the UI.
    if (!p->retired.load(acq)) {
        SampleBuffer* next = p->pending.exchange(nullptr, ar);
        if (next) {
            SampleBuffer* old = p->current.exchange(next, ar);
            if (old)
                p->retired.store(old, rel);
            p->position.store(0.0, rl);
        }
    }

    // Read only after adopting: a buffer parked as retired is never touched again.
    const SampleBuffer* b = p->current.load(acq);
    if (!playable(b))
        return;
    const int64_t n = b->frames;

    int32_t one = 1;
    if (p->seek_pending.load(acq) == 1 && p->seek_pending.compare_exchange_strong(one, 0, ar)) {
        double t = p->seek_target.load(rl);
        double last = (double)(n - 1);
        p->position.store(!(t > 0.0) ? 0.0 : t < last ? t : last, rl);
    }

    if (!p->playing.load(acq))
        return;

    const double step = b->sample_rate / device_rate;
    int64_t start = 0, end = n;
    if (p->region_set.load(acq) && p->in_region.load(acq)) {
        start = p->region_start.load(rl);
        end = p->region_end.load(rl);
    }
    if (end > n)
        end = n;
    const bool loop = p->looping.load(rl) != 0;
    const float gain = p->gain.load(rl);
    const float* s = b->samples;
    const int64_t ch = b->channels;
    const int64_t right_ch = ch > 1 ? 1 : 0;    // a mono take plays on both sides
    // truncate(pos) < end - 1 exactly when pos < end - 1; compared as a double, so the
    // position is truncated only where it is known to be in range.
    const double last = (double)(end - 1);

    double pos = p->position.load(rl);
    for (int32_t i = 0; i < frames; i++) {
        if (pos < last) {
            int64_t k = (int64_t)pos;
            const float* a = s + k * ch;
            add_frame(a, a + ch, right_ch, (float)(pos - (double)k), gain, &left[i], &right[i]);
            pos += step;
        } else if (!loop) {
            p->position.store(pos, rl);
            p->ended.store(1, rl);
            p->published_position.store(end, rl);
            p->playing.store(0, rel);   // after ended: a UI that sees it stopped sees it ended
            return;
        } else if (end - start < 2) {
            pos = (double)start;        // nothing to loop over: the frame stays silent
        } else {
            // Looping: the last frame leads into the start as into the frame after it,
            // and a step past the end lands as far into the start, so the seam plays
            // on with no gap.
            pos = wrap_into(pos, start, end);
            int64_t k = (int64_t)pos;
            const float* a = s + k * ch;
            const float* c = k + 1 < end ? a + ch : s + start * ch;
            add_frame(a, c, right_ch, (float)(pos - (double)k), gain, &left[i], &right[i]);
            pos = wrap_into(pos + step, start, end);
        }
    }
    p->position.store(pos, rl);
    p->published_position.store((int64_t)(pos < (double)n ? pos : (double)n), rl);
}
