// tcstream_feed.cpp - the producer side of the station ring, called from the engine's
// output tap on the audio thread: the rate tracker, the conversion to 48 kHz and the
// push. No allocation, no lock, no wait, no log. [RT]
#include <atomic>
#include <cmath>
#include <cstring>

#include "broadcast/tcstream.h"
#include "broadcast/tcstream_internal.h"

// ---------------------------------------------------------------------------
// Constants
// ---------------------------------------------------------------------------

static const int64_t WINDOW_NS = 2000000000;   // length of one measuring window
static const double STALLED_RATE = 1000.0;     // a window at or below this measured a stall
static const double SNAP_TOLERANCE = 0.015;    // a measurement this close to a standard rate is it
static const double AGREE_TOLERANCE = 0.005;   // two windows this close agree
static const double SNAP_RATES[] = {22050, 32000, 44100, 48000, 88200, 96000, 176400, 192000};

// ---------------------------------------------------------------------------
// Ring
// ---------------------------------------------------------------------------

// A sample that is not a number or infinite would reach the listeners as a full-scale
// burst (or nothing at all): it goes out as silence.
static inline float finite_or_zero(float x)
{
    return std::isfinite(x) ? x : 0.0f;
}

// Copies frames into the ring as stream frames at, at + 1, ..., wrapping at its end. Nothing is
// published: the caller checked the room and publishes afterwards.
static void ring_copy(Station* s, int64_t at, const float* samples, int32_t frames)
{
    int64_t slot = at % TCSTREAM_RING_FRAMES;
    float* dst = s->ring + slot * 2;
    float* end = s->ring + (int64_t)TCSTREAM_RING_FRAMES * 2;
    for (int32_t i = 0; i < frames * 2; i++) {
        *dst++ = finite_or_zero(samples[i]);
        if (dst == end)
            dst = s->ring;
    }
}

// Frames the ring can still take.
static int64_t ring_room(const Station* s, int64_t written)
{
    return TCSTREAM_RING_FRAMES - (written - s->consumed.load(std::memory_order_acquire));
}

// Publishes frames copied after the written count before: the time stamp pair first,
// the new written count last.
static void ring_publish(Station* s, int64_t before, int64_t frames)
{
    // The pair is written under the sequence counter so the station thread never
    // dates a packet with the time of one push and the count of another.
    // Release on each field keeps the odd count ahead of it; the reader loads the
    // fields with acquire, so seeing either new value means seeing the odd count.
    uint32_t seq = s->push_seq.load(std::memory_order_relaxed);
    s->push_seq.store(seq + 1, std::memory_order_relaxed);
    s->last_push_ns.store(tcstream_now_ns(s), std::memory_order_release);
    s->written_before_last_push.store(before, std::memory_order_release);
    s->push_seq.store(seq + 2, std::memory_order_release);
    s->written.store(before + frames, std::memory_order_release);
}

void tcstream_push(Station* s, const float* samples, int32_t frames)
{
    if (!s || !samples || frames < 1 || !s->ring || !s->running.load(std::memory_order_acquire))
        return;
    int64_t w = s->written.load(std::memory_order_relaxed);
    if (frames > ring_room(s, w)) {
        s->overflow.store(1, std::memory_order_relaxed);
        return;
    }
    ring_copy(s, w, samples, frames);
    ring_publish(s, w, frames);
}

// ---------------------------------------------------------------------------
// Rate tracking
// ---------------------------------------------------------------------------

static void tracker_reset(Station* s)
{
    s->window_start_ns = 0;
    s->window_frames = 0;
    s->prev_window_rate = 0.0;
    s->windows = 0;
    s->locked_rate = 0.0f;
}

// The measured rate as the standard rate it lies within 1.5 % of, else as measured.
static double snap_rate(double m)
{
    for (double r : SNAP_RATES)
        if (m / r > 1.0 - SNAP_TOLERANCE && m / r < 1.0 + SNAP_TOLERANCE)
            return r;
    return m;
}

// Counts the block into the current window, closes the window once it spans 2 s, and
// returns the rate in use: the locked rate, else the nominal rate (0 when unknown).
static double track_rate(Station* s, int32_t frames, int64_t now, double nominal)
{
    // A new nominal rate is a new device or a reopened stream: a rate measured on the
    // old one (or a window spanning both) would play the new one at the wrong speed
    // until two new windows agreed, so the tracker starts afresh.
    if (nominal > 0.0 && nominal != s->window_nominal) {
        if (s->window_nominal > 0.0)
            tracker_reset(s);
        s->window_nominal = nominal;
    }
    if (s->window_start_ns == 0) {
        s->window_start_ns = now;
        s->window_frames = 0;
    }
    s->window_frames += frames;
    int64_t elapsed = now - s->window_start_ns;
    if (elapsed >= WINDOW_NS) {
        double m = (double)s->window_frames * 1e9 / (double)elapsed;
        s->window_start_ns = now;
        s->window_frames = 0;
        if (m > STALLED_RATE) {
            m = snap_rate(m);
            s->windows++;
            double prev = s->prev_window_rate;
            if (s->windows >= 2 && prev > 0.0 && m / prev > 1.0 - AGREE_TOLERANCE &&
                m / prev < 1.0 + AGREE_TOLERANCE)
                s->locked_rate = (float)m;
            s->prev_window_rate = m;
        } else {
            s->windows = 0;
            s->prev_window_rate = 0.0;
        }
    }
    return s->locked_rate > 0.0f ? (double)s->locked_rate : nominal;
}

// ---------------------------------------------------------------------------
// Conversion to 48 kHz
// ---------------------------------------------------------------------------

// Converts one block by linear interpolation and pushes the result as one push. The
// position of the next output frame, phase, is counted in input frames from the start
// of the block; a negative phase lies between the previous block's last frame and
// this block's first. An output frame is made only once both its neighbours are
// known, so the frames past this block's last input frame wait for the next block
// and every seam is interpolated like the inside of a block. A block needing more
// than the scratch buffer holds is converted in parts; a block the ring cannot take
// is dropped whole, the position still moving on past it.
static void resample(Station* s, const float* in, int32_t frames, double rate)
{
    // A jump of the rate belongs to another stream: start clean. A tracker following
    // a drifting clock moves the rate a little: keep the position, or each move would
    // click.
    if (!(s->resampler_rate > 0.0) || std::fabs(rate / s->resampler_rate - 1.0) > AGREE_TOLERANCE) {
        s->phase = 0.0;
        s->last_l = 0.0f;
        s->last_r = 0.0f;
    }
    s->resampler_rate = rate;
    const double step = rate / (double)TCSTREAM_RATE;
    const double stop = (double)(frames - 1);
    double phase = s->phase;

    int64_t w = s->written.load(std::memory_order_relaxed);
    int64_t expected = phase < stop ? (int64_t)std::ceil((stop - phase) / step) : 0;
    int64_t budget = expected + 1;
    bool keep = s->ring && s->scratch && budget <= ring_room(s, w);
    if (!keep && expected > 0)
        s->overflow.store(1, std::memory_order_relaxed);

    const float prev_l = s->last_l, prev_r = s->last_r;
    int64_t made = 0;
    while (phase < stop && made < budget) {
        int32_t n = 0;
        float* out = s->scratch;
        for (; n < TCSTREAM_SCRATCH_FRAMES && phase < stop && made + n < budget; n++) {
            float al, ar, bl, br, f;
            if (phase < 0.0) {
                f = (float)(phase + 1.0);
                al = prev_l;
                ar = prev_r;
                bl = finite_or_zero(in[0]);
                br = finite_or_zero(in[1]);
            } else {
                int32_t i = (int32_t)phase;
                f = (float)(phase - i);
                al = finite_or_zero(in[2 * i]);
                ar = finite_or_zero(in[2 * i + 1]);
                bl = finite_or_zero(in[2 * i + 2]);
                br = finite_or_zero(in[2 * i + 3]);
            }
            if (keep) {
                out[2 * n] = al + (bl - al) * f;
                out[2 * n + 1] = ar + (br - ar) * f;
            }
            phase += step;
        }
        if (keep)
            ring_copy(s, w + made, s->scratch, n);
        made += n;
    }
    if (keep && made > 0)
        ring_publish(s, w, made);
    s->phase = phase - frames;
    s->last_l = finite_or_zero(in[2 * frames - 2]);
    s->last_r = finite_or_zero(in[2 * frames - 1]);
}

// ---------------------------------------------------------------------------
// Feed
// ---------------------------------------------------------------------------

void tcstream_feed_warm_up(Station* s)
{
    const int32_t frames = 64;
    float silent[2 * frames] = {};
    track_rate(s, frames, 1, 44100.0);
    track_rate(s, frames, 1 + WINDOW_NS, 44100.0);
    resample(s, silent, frames, 44100.0);
    tracker_reset(s);
    s->window_nominal = 0.0;
    s->phase = 0.0;
    s->last_l = s->last_r = 0.0f;
    s->resampler_rate = 0.0;
    s->written.store(0, std::memory_order_relaxed);
    s->push_seq.store(0, std::memory_order_relaxed);
    s->last_push_ns.store(0, std::memory_order_relaxed);
    s->written_before_last_push.store(0, std::memory_order_relaxed);
    s->overflow.store(0, std::memory_order_relaxed);
}

void tcstream_feed(Station* s, const float* samples, int32_t frames, double nominal_rate)
{
    if (!s)
        return;
    tcstream_feed_at(s, samples, frames, nominal_rate, tcstream_now_ns(s));
}

void tcstream_feed_at(Station* s, const float* samples, int32_t frames, double nominal_rate, int64_t now_ns)
{
    if (!s || !samples || frames < 1 || !s->running.load(std::memory_order_acquire))
        return;
    // A rate that is no number, or below what any device runs at, is as good as unknown.
    double nominal = std::isfinite(nominal_rate) && nominal_rate > STALLED_RATE ? nominal_rate : 0.0;
    if (s->tracker_restart.exchange(0, std::memory_order_acquire)) {
        tracker_reset(s);
        s->window_nominal = 0.0;
    }
    double rate = track_rate(s, frames, now_ns, nominal);
    if (rate <= 0.0 || (rate > 47999.0 && rate < 48001.0)) {
        tcstream_push(s, samples, frames);
        // The next converted block continues one frame after this one's last frame.
        s->resampler_rate = rate;
        s->phase = 0.0;
        s->last_l = finite_or_zero(samples[2 * frames - 2]);
        s->last_r = finite_or_zero(samples[2 * frames - 1]);
        return;
    }
    resample(s, samples, frames, rate);
}
