// The looper callback's state machines, driven block by block with synthetic input:
// first pass and close, requests, playback and overdub, monitoring and the preview,
// gain, pan, gate and clipper, and the UI's loop operations.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>
#include <ostream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <unistd.h>

#include "audio/engine.h"
#include "audio/loop_file.h"
#include "audio/looper.h"
#include "audio/preview.h"
#include "audio/wav_write.h"
#include "platform/plat_audio_api.h"
#include "support/fake_audio.h"
#include "tests/audio/preview_kit.h"

namespace {

class Looper : public ::testing::Test {
protected:
    Engine* e = engine_instance();
    std::vector<float> in, out;

    void SetUp() override
    {
        fake_audio_reset();
        engine_use_backend(fake_audio_backend(), plat_host_api_policy_windows());
        ASSERT_TRUE(engine_init(e));
        e->input_channels = 2;
        e->sample_rate = 48000.0;
    }
    void TearDown() override
    {
        engine_shutdown(e);
        engine_use_backend(nullptr, nullptr);
    }

    // Runs frames of constant stereo input through the callback in blocks.
    void run(int frames, float left = 0.25f, float right = 0.25f, int block = 128)
    {
        while (frames > 0) {
            int n = frames < block ? frames : block;
            in.assign((size_t)n * 2, 0.0f);
            for (int i = 0; i < n; i++) {
                in[2 * i] = left;
                in[2 * i + 1] = right;
            }
            out.assign((size_t)n * 2, -7.0f);
            engine_audio_callback(in.data(), out.data(), (unsigned long)n, nullptr, 0, e);
            frames -= n;
        }
    }
    int32_t pos() { return e->position.load(); }
    int32_t len() { return e->length.load(); }
};

// ---------------------------------------------------------------------------
// First pass and closing it
// ---------------------------------------------------------------------------

TEST_F(Looper, RecordingWithPlayingOffRecordsNothing)
{
    e->playing = 0;
    e->record = 1;
    uint32_t gen = e->content_generation.load();
    run(4800);
    EXPECT_EQ(pos(), 0);
    EXPECT_EQ(len(), 0);
    EXPECT_EQ(e->content_generation.load(), gen);
    EXPECT_EQ(e->record_ramp, 0.0f);
}

TEST_F(Looper, TakeLongerThanATenthOfASecondBecomesTheLoop)
{
    e->record = 1;
    run(4801, 0.5f, 0.5f, 4801);
    EXPECT_EQ(pos(), 4801);
    EXPECT_EQ(len(), 0);
    EXPECT_NEAR(e->loop_left[4800], 0.5f * (1.0f - std::pow(1.0f - 0.0015f, 4801.0f)), 1e-4);
    e->record = 0;
    run(1);
    EXPECT_EQ(len(), 4801);
    EXPECT_EQ(e->loop_set_count.load(), 1u);
    run(48000);
    EXPECT_EQ(e->loop_set_count.load(), 1u);
}

TEST_F(Looper, DroppedTakeLeavesNoTailAndTheNextTakeStartsAtFrameZero)
{
    e->record = 1;
    run(2400);
    e->record = 0;
    run(10000);
    EXPECT_EQ(len(), 0);
    EXPECT_EQ(pos(), 0);
    EXPECT_EQ(e->loop_set_count.load(), 0u);
    e->record = 1;
    run(4801, 0.5f, 0.5f, 4801);
    EXPECT_EQ(pos(), 4801);
    e->record = 0;
    run(1);
    EXPECT_EQ(len(), 4801);

    // Stopping record and play together after a short take: no loop, position 0.
    e->clear_request = 1;
    run(1);
    e->record = 1;
    run(2400);
    e->record = 0;
    e->playing = 0;
    run(2000);
    EXPECT_EQ(len(), 0);
    EXPECT_EQ(pos(), 0);
}

TEST_F(Looper, CloseRequestNeedsMoreThanATenthOfASecond)
{
    e->record = 1;
    run(4800, 0.5f, 0.5f, 4800);
    e->close_request = 1;
    e->playing = 0;   // freeze the position at 4800 for the close
    run(1);
    EXPECT_EQ(e->close_request.load(), 0);
    EXPECT_EQ(len(), 0);
    EXPECT_EQ(e->loop_set_count.load(), 0u);
}

TEST_F(Looper, CloseRequestAndRecordStopInOneBlockSetTheLoopOnce)
{
    e->record = 1;
    run(9600);
    e->close_request = 1;
    e->record = 0;
    run(128);
    EXPECT_EQ(len(), 9600);
    EXPECT_EQ(e->loop_set_count.load(), 1u);
}

TEST_F(Looper, FirstPassClosesItselfAtCapacity)
{
    e->record = 1;
    e->monitor = 0;
    int blocks = ENGINE_LOOP_CAPACITY / ENGINE_MAX_BLOCK + 2;
    for (int b = 0; b < blocks && len() == 0; b++)
        run(ENGINE_MAX_BLOCK, 0.1f, 0.1f, ENGINE_MAX_BLOCK);
    EXPECT_EQ(len(), ENGINE_LOOP_CAPACITY);
    EXPECT_EQ(e->loop_set_count.load(), 1u);
}

// ---------------------------------------------------------------------------
// Requests
// ---------------------------------------------------------------------------

TEST_F(Looper, LengthSeekAndClearRequests)
{
    e->length_request = 20000000;
    run(1);
    EXPECT_EQ(len(), ENGINE_LOOP_CAPACITY);
    EXPECT_EQ(e->length_request.load(), 0);
    EXPECT_EQ(e->loop_set_count.load(), 1u);

    e->length_request = 1000;
    e->seek_request = 5000;
    e->playing = 0;
    run(1);
    EXPECT_EQ(len(), 1000);
    EXPECT_EQ(pos(), 999);
    EXPECT_EQ(e->seek_request.load(), -1);
    EXPECT_EQ(e->loop_set_count.load(), 2u);

    uint32_t gen = e->content_generation.load();
    e->clear_request = 1;
    run(1);
    EXPECT_EQ(len(), 0);
    EXPECT_EQ(pos(), 0);
    EXPECT_EQ(e->clear_request.load(), 0);
    EXPECT_EQ(e->content_generation.load(), gen + 1);
}

TEST_F(Looper, SeekDuringAFirstPassRestartsTheTake)
{
    e->record = 1;
    run(3000);
    e->seek_request = 2000;
    run(1);
    EXPECT_EQ(pos(), 1);   // back to 0, then one frame recorded
}

TEST_F(Looper, UiOperationsRequestThroughTheCallback)
{
    loop_seek_fraction(e, 0.5);
    EXPECT_EQ(e->seek_request.load(), -1);   // no loop: nothing
    loop_resize(e, 48000);
    EXPECT_EQ(e->length_request.load(), 48000);
    run(1);
    EXPECT_EQ(len(), 48000);
    loop_seek_fraction(e, 0.25);
    EXPECT_EQ(e->seek_request.load(), 12000);
    loop_seek_fraction(e, 7.0);
    EXPECT_EQ(e->seek_request.load(), 47999);
    loop_seek_fraction(e, std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(e->seek_request.load(), 47999);
}

TEST_F(Looper, ResizeZeroFillsOnlyTheNewPart)
{
    std::vector<float> l(1000, 0.5f), r(1000, -0.5f);
    loop_set_buffers(e, l.data(), r.data(), 1000);
    e->loop_left[1500] = 9.0f;   // leftover of an older, longer take
    loop_resize(e, 2000);
    EXPECT_EQ(e->loop_left[999], 0.5f);
    EXPECT_EQ(e->loop_left[1500], 0.0f);
    run(1);
    EXPECT_EQ(len(), 2000);
}

// ---------------------------------------------------------------------------
// Playback and overdub
// ---------------------------------------------------------------------------

TEST_F(Looper, ForwardAndReversePlaybackWrapAndCount)
{
    std::vector<float> l(100), r(100);
    for (int i = 0; i < 100; i++)
        l[(size_t)i] = r[(size_t)i] = (float)i / 200.0f;
    loop_set_buffers(e, l.data(), r.data(), 100);
    e->monitor = 0;
    run(250, 0, 0, 50);
    EXPECT_EQ(pos(), 50);
    EXPECT_EQ(e->wrap_count.load(), 2u);
    EXPECT_FLOAT_EQ(out[0], 0.0f);   // the last block played frames 0..49
    EXPECT_FLOAT_EQ(out[2 * 49], 49 / 200.0f);

    e->seek_request = 0;
    e->reversed = 1;
    run(2, 0, 0, 2);
    EXPECT_EQ(pos(), 98);
    EXPECT_EQ(e->wrap_count.load(), 3u);
    run(400, 0, 0, 400);   // once the turn's cross-fade is over: frames 98, 97, ...
    EXPECT_FLOAT_EQ(out[2 * 300], 98 / 200.0f);
    EXPECT_FLOAT_EQ(out[2 * 399], 99 / 200.0f);
}

TEST_F(Looper, OverdubAddsTheInputUnderTheRamp)
{
    std::vector<float> l(48000, 0.1f), r(48000, 0.1f);
    loop_set_buffers(e, l.data(), r.data(), 48000);
    e->record = 1;
    run(10000, 0.2f, 0.2f);
    float ramp = 1.0f - std::pow(1.0f - 0.0015f, 10000.0f);
    EXPECT_NEAR(e->loop_left[9999], 0.1f + 0.2f * ramp, 1e-4);
    EXPECT_NEAR(e->loop_left[1], 0.1f + 0.2f * 0.0015f * (2 - 0.0015f), 1e-6);
    EXPECT_EQ(e->loop_left[20000], 0.1f);
}

TEST_F(Looper, HoldDubRecordsLikeRecord)
{
    std::vector<float> l(4800, 0.0f), r(4800, 0.0f);
    loop_set_buffers(e, l.data(), r.data(), 4800);
    e->hold_dub = 1;
    run(4000, 0.3f, 0.3f);
    EXPECT_GT(e->loop_left[3999], 0.29f);
}

// ---------------------------------------------------------------------------
// Monitoring, the preview hook and the output tap
// ---------------------------------------------------------------------------

struct HookState {
    float level = 0.25f;
    int calls = 0;
    int tapped = 0;
    int tap_rate = 0;
};

void preview(void* ctx, float* l, float* r, int32_t n, double)
{
    HookState* h = (HookState*)ctx;
    h->calls++;
    for (int i = 0; i < n; i++) {
        l[i] += h->level;
        r[i] += h->level;
    }
}

void tap(void* ctx, const float*, int32_t n, int32_t rate)
{
    HookState* h = (HookState*)ctx;
    h->tapped += n;
    h->tap_rate = rate;
}

TEST_F(Looper, MonitorOffWithoutALoopIsSilenceExceptThePreview)
{
    e->monitor = 0;
    run(128, 0.5f, 0.5f);
    for (float s : out)
        EXPECT_EQ(s, 0.0f);
    HookState h;
    engine_set_render_hook(e, preview, &h);
    engine_set_output_tap(e, tap, &h);
    run(128, 0.5f, 0.5f);
    EXPECT_EQ(h.calls, 1);
    EXPECT_EQ(h.tapped, 128);
    EXPECT_EQ(h.tap_rate, 48000);
    for (float s : out)
        EXPECT_FLOAT_EQ(s, 0.25f);
}

TEST_F(Looper, PlayerToInputWithMonitorIsHeardOnce)
{
    HookState h;
    engine_set_render_hook(e, preview, &h);
    e->player_to_input = 1;
    run(128, 0.0f, 0.0f);
    EXPECT_FLOAT_EQ(out[0], 0.25f);
    e->monitor = 0;   // not monitored: the preview still plays on the output
    run(128, 0.0f, 0.0f);
    EXPECT_FLOAT_EQ(out[0], 0.25f);
}

TEST_F(Looper, BlocksLongerThanTheBusesAreProcessedWhole)
{
    run(5000, 0.3f, -0.3f, 5000);
    ASSERT_EQ(out.size(), 10000u);
    for (size_t i = 0; i < out.size(); i += 2) {
        ASSERT_FLOAT_EQ(out[i], 0.3f) << i;
        ASSERT_FLOAT_EQ(out[i + 1], -0.3f) << i;
    }
}

// ---------------------------------------------------------------------------
// Gain, pan, gate, clipper and meters
// ---------------------------------------------------------------------------

TEST_F(Looper, PanTakesFromTheOppositeSide)
{
    e->pan = 1.0f;
    run(16, 0.5f, 0.5f);
    EXPECT_EQ(out[0], 0.0f);
    EXPECT_FLOAT_EQ(out[1], 0.5f);
    e->pan = -0.5f;
    run(256, 0.5f, 0.5f, 256);   // the pan glides there within the block
    EXPECT_FLOAT_EQ(out[510], 0.5f);
    EXPECT_FLOAT_EQ(out[511], 0.25f);
}

TEST_F(Looper, InputClipLatchesWhileTheOutputStaysBelowOne)
{
    e->gain = 2.0f;
    run(64, 0.5f, 0.0f);
    EXPECT_EQ(e->input_clip.load(), 1);
    EXPECT_LT(out[0], 1.0f);
    EXPECT_GT(out[0], 0.9f);
    e->gain = 1.0f;
    run(240, 0.5f, 0.0f);   // the gain glides down
    e->input_clip = 0;
    run(64, 0.5f, 0.0f, 8);
    EXPECT_EQ(e->input_clip.load(), 0);
    EXPECT_NEAR(e->input_peak.load(), 0.5f, 1e-6);
}

TEST_F(Looper, GateOpensOnSignalAndClosesSlowly)
{
    run(256, 0.5f, 0.5f);
    EXPECT_EQ(e->gate_envelope, 0.0f);   // threshold 0: the gate is left alone
    EXPECT_EQ(e->gate_gain, 0.0f);
    e->gate_threshold = 0.1f;
    run(128, 0.5f, 0.5f, 128);
    EXPECT_GT(e->gate_gain, 0.99f);   // open within a few milliseconds
    run(2500, 0.0f, 0.0f);
    EXPECT_GT(e->gate_gain, 0.2f);    // still closing: the release takes thousands of frames
    run(20000, 0.0f, 0.0f);
    EXPECT_LT(e->gate_gain, 0.01f);
    run(1, 0.05f, 0.05f, 1);
    EXPECT_LT(std::fabs(out[0]), 0.001f);
}

TEST_F(Looper, SoftClipperIsContinuousAndSaturates)
{
    const float a = 2.0f / 3.0f, b = 4.0f / 3.0f, d = 1e-4f;
    EXPECT_FLOAT_EQ(engine_softclip(0.5f), 0.5f);
    EXPECT_NEAR(engine_softclip(a + d), a + d, 1e-6);   // slope 1 at the knee
    EXPECT_NEAR(engine_softclip(b - d), 1.0f, 1e-6);
    EXPECT_EQ(engine_softclip(b), 1.0f);
    EXPECT_EQ(engine_softclip(-5.0f), -1.0f);
    EXPECT_EQ(engine_softclip(std::numeric_limits<float>::quiet_NaN()), 0.0f);
    EXPECT_EQ(engine_softclip(-std::numeric_limits<float>::infinity()), -1.0f);
    float prev = engine_softclip(0.0f);
    for (int i = 1; i <= 2000; i++) {
        float y = engine_softclip(i / 1000.0f);
        ASSERT_GE(y, prev);
        ASSERT_LE(y - prev, 0.0011f);
        prev = y;
    }
}

TEST_F(Looper, NonFiniteInputNeverReachesTheLoop)
{
    e->record = 1;
    run(1000, std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity());
    run(1000, 0.1f, 0.1f);
    for (int i = 0; i < pos(); i++)
        ASSERT_TRUE(std::isfinite(e->loop_left[i]) && std::isfinite(e->loop_right[i])) << i;
    for (float s : out)
        EXPECT_TRUE(std::isfinite(s));
}

// ---------------------------------------------------------------------------
// Loop writes from the UI and the overview
// ---------------------------------------------------------------------------

TEST_F(Looper, HeldLoopIsLeftAloneWhileTheInputStillPlays)
{
    e->record = 1;
    run(6000);
    int32_t p = pos();
    e->loop_hold = 1;
    e->seek_request = 0;
    run(1000, 0.4f, 0.4f);
    EXPECT_EQ(pos(), p);
    EXPECT_EQ(e->seek_request.load(), 0);
    EXPECT_FLOAT_EQ(out[0], 0.4f);
    EXPECT_EQ(e->loop_left[p + 10], 0.0f);
    loop_end_write(e);
    run(1);
    EXPECT_EQ(pos(), 1);
}

TEST_F(Looper, AStalledCallbackLeavesTheLoopAloneInsteadOfRacingIt)
{
    std::vector<float> l(3000, 0.2f), r(3000, -0.2f);
    ASSERT_TRUE(loop_set_buffers(e, l.data(), r.data(), 3000));
    e->running = 1;
    e->blocks_entered.fetch_add(1);   // a block that began and never ends
    std::vector<float> other(500, 0.9f);
    EXPECT_FALSE(loop_set_buffers(e, other.data(), other.data(), 500));
    EXPECT_EQ(len(), 3000);
    EXPECT_EQ(e->loop_left[0], 0.2f);
    EXPECT_EQ(e->loop_hold.load(), 0);   // monitoring and the loop go on as before
    EXPECT_EQ(e->loop_fade_out.load(), 0);
    loop_resize(e, 9000);                // takes no hold: only beyond the end is written
    EXPECT_EQ(e->length_request.load(), 9000);
    e->length_request = 0;
    e->blocks_left.fetch_add(1);      // the block ends: writes go through again
    EXPECT_TRUE(loop_set_buffers(e, other.data(), other.data(), 500));
    EXPECT_EQ(len(), 500);
    e->running = 0;
}

TEST_F(Looper, SetBuffersReplacesTheLoop)
{
    std::vector<float> l(3000, 0.2f), r(3000, -0.2f);
    uint32_t gen = e->content_generation.load();
    loop_set_buffers(e, l.data(), r.data(), 3000);
    EXPECT_EQ(len(), 3000);
    EXPECT_EQ(pos(), 0);
    EXPECT_EQ(e->content_generation.load(), gen + 1);
    loop_set_buffers(e, l.data(), r.data(), 0);
    EXPECT_EQ(len(), 3000);

    // Replaced after an overdub's stop the callback has not yet seen: no ramp or run-out reaches the new loop.
    e->record = e->playing = 1;
    run(9600, 0.5f, 0.5f);
    e->record = e->playing = 0;
    std::vector<float> l2(5000, 0.1f), r2(5000, -0.1f);
    ASSERT_TRUE(loop_set_buffers(e, l2.data(), r2.data(), 5000));
    gen = e->content_generation.load();
    run(9600, 0.5f, 0.5f, 1024);
    EXPECT_EQ(e->content_generation.load(), gen);
    for (int i = 0; i < 5000; i++)
        ASSERT_TRUE(e->loop_left[i] == 0.1f && e->loop_right[i] == -0.1f) << "frame " << i << ": " << e->loop_left[i];
}

TEST_F(Looper, WaveformReadsOneFramePerColumnOfAShortLoop)
{
    std::vector<float> l(100), r(100);
    for (int i = 0; i < 100; i++) {
        l[(size_t)i] = i / 100.0f;
        r[(size_t)i] = -i / 200.0f;
    }
    loop_set_buffers(e, l.data(), r.data(), 100);
    float wl[180], wr[180];
    loop_waveform(e, wl, wr, 180);
    for (int j = 0; j < 180; j++) {
        int f = j * 100 / 180;
        EXPECT_FLOAT_EQ(wl[j], f / 100.0f) << j;
        EXPECT_FLOAT_EQ(wr[j], f / 200.0f) << j;
    }
    loop_waveform(e, wl, wr, 0);   // no columns: nothing, no division by zero
}

TEST_F(Looper, WaveformOfAFullLengthLoopStaysInsideTheArrays)
{
    e->loop_left[ENGINE_LOOP_CAPACITY - 1] = 0.75f;
    e->length_request = ENGINE_LOOP_CAPACITY;
    run(1);
    e->length = ENGINE_LOOP_CAPACITY;   // the column of the last frame is sampled with a stride
    float wl[180], wr[180];
    loop_waveform(e, wl, wr, 180);
    // Columns of 96,000 frames read every 1,500th: the last frame is passed over, and
    // the silent rest reads as silence, column by column.
    for (int j = 0; j < 180; j++) {
        EXPECT_EQ(wl[j], 0.0f) << j;
        EXPECT_EQ(wr[j], 0.0f) << j;
    }
    e->loop_left[ENGINE_LOOP_CAPACITY - 96000] = -0.5f;   // the last column's first frame
    e->loop_right[ENGINE_LOOP_CAPACITY - 96000 - 1500] = 0.25f;   // the one before's last read
    loop_waveform(e, wl, wr, 180);
    EXPECT_EQ(wl[179], 0.5f);
    EXPECT_EQ(wr[178], 0.25f);
    EXPECT_EQ(wl[178] + wr[179] + wl[177] + wr[177], 0.0f);
}

// Transitions, made as the UI makes them on a half-scale 440 Hz sine at the input. e[n] = x[n] - 2cos(w)x[n-1] +
// x[n-2] is zero for the sine; a straight glide of N frames leaves about amplitude / N at its corners, a shaped
// fade less. Each limit below, a share of the amplitude by the kind of change, lies between what the engine's own
// fade or glide leaves and what one half as long leaves (about twice as much).
const float kFadeLimit = 0.0015f;    // shaped fades and cross-fades of the transport over 5 ms: 0.07-0.14 %
const float kGlideLimit = 0.006f;    // straight glides over 5 ms of the input and the monitor: 0.42 %
const float kMixLimit = 0.0025f;     // the patches' mix glide, between mixes less than the amplitude apart: 0.19 %
const float kKnobLimit = 0.0012f;    // a filter knob's smoothing: 0.08 % (0.1 % in blocks of 512)
const float kEffectLimit = 0.01f;    // a change of effect type, through the dry signal over 4 ms each way: 0.8 %
const float kLoopLimit = 0.003f;     // the loop: the record ramp's rise and fall, 0.0015 per frame: 0.28 %
const double kW = 6.283185307179586 * 440.0 / 48000.0;   // 48,000 frames wrap without a seam
const float kAmp = 0.5f;
float half_sine(int64_t t) { return kAmp * (float)std::cos(kW * (double)t); }

// The largest |e|, or with c = 0 nearly the peak; wrap: x is a loop, end to start.
float residual(const std::vector<float>& x, bool wrap, float c = 2.0f * (float)std::cos(kW))
{
    size_t n = x.size();
    float most = 0.0f;
    for (size_t i = 0; n > 2 && i < (wrap ? n : n - 2); i++)
        most = std::fmax(most, std::fabs(x[(i + 2) % n] - c * x[(i + 1) % n] + (c ? x[i] : 0.0f)));
    return most;
}

using Act = std::function<void(Engine*)>;
struct Fx {
    int type = FX_OFF;
    float k1 = 0.0f, k2 = 0.0f;
    int bypass = 0;
};
Act effect(Fx f)   // slot 0's, and the fx bypass
{
    return [=](Engine* e) {
        fx_set_type(e->slots, f.type), e->slots->knob1 = f.k1, e->slots->knob2 = f.k2, e->fx_bypass = f.bypass;
    };
}

// An effect's own largest residual and peak, run alone on a spare slot once its lines and knobs settled.
std::pair<float, float> own(FxSlot* s, Fx f)
{
    std::vector<float> x;
    s->effect_type = f.bypass ? FX_OFF : f.type, s->knob1 = f.k1, s->knob2 = f.k2;
    for (int t = 0; t < 128 * 140; t += 128)
        for (int i = fx_update(s) ? 0 : 128; i < 128; i++) {
            float l = half_sine(t + i), r = l;
            fx_mix(s, &l, &r, 1.0f);
            fx_process_frame(s);
            if (t >= 4800)
                x.push_back(engine_softclip(l));
        }
    return {residual(x, false), std::fmax(kAmp, residual(x, false, 0.0f))};
}

struct Transition {
    std::string name;
    std::vector<std::pair<int, Act>> steps;   // (block of 128 frames, action), heard from block 0 on
    std::vector<Fx> fx = {};                  // effects set 94 blocks apart, the last at 0
    int block = 128;                          // frames per callback
    int played = -1;                          // blocks the transport played, where its position matters
    std::pair<int, Act> ui = {0, nullptr};    // a UI operation that may wait on the callback, begun in block N
    float limit = kFadeLimit;                 // of the output, beyond the effects' own
};
void PrintTo(const Transition& row, std::ostream* os) { *os << row.name; }

// Waits, within a generous bound, for another thread to get somewhere.
bool eventually(const std::function<bool()>& there)
{
    auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!there() && std::chrono::steady_clock::now() < give_up)
        std::this_thread::yield();
    return there();
}

// A UI operation on a thread of its own, begun at the end of a block as a running stream meets it, with the
// stream's next block already under way: the rows' blocks run on while it waits on the callback (for the loop's
// fade or its hold), and none while it does anything else.
struct UiThread {
    Engine* e;
    Act act;
    bool due = false;
    bool next_block = false;     // the next block counts as begun (blocks_entered) before it runs
    std::atomic<int> state{0};   // 0 not begun, 1 under way, 2 over
    std::thread thread;
    bool waiting_or_over() const { return state == 2 || e->loop_hold.load() || e->loop_fade_out.load() == 1; }
};

void begin_ui(void* ctx, const float*, int32_t, int32_t)   // the output tap: a block's end
{
    UiThread* u = (UiThread*)ctx;
    if (!u->due || u->state.load())
        return;
    u->state = 1;
    u->e->running = 1;   // the UI waits on blocks only while a stream runs
    u->e->blocks_entered.fetch_add(1);
    u->next_block = true;
    u->thread = std::thread([u] { u->act(u->e), u->state = 2; });
    if (!eventually([u] { return u->waiting_or_over(); }))
        ADD_FAILURE() << "the UI operation neither ended nor waited on the callback";
}

std::vector<float> sine_second(bool silent = false)
{
    std::vector<float> x(48000);
    for (int i = 0; i < 48000 && !silent; i++)
        x[(size_t)i] = half_sine(i);
    return x;
}

void sine_loop(Engine* e, bool silent = false)   // a second of it as the loop, or silence, overdubbed; unmonitored
{
    std::vector<float> x = sine_second(silent);
    loop_set_buffers(e, x.data(), x.data(), 48000);
    e->monitor = 0, e->record = silent;
}

const Act kLoop = [](Engine* e) { sine_loop(e); };
const Act kOverdub = [](Engine* e) { sine_loop(e, true); };
const Act kStopKey = [](Engine* e) { e->playing = e->record = 0, loop_seek_fraction(e, 0.0); };
const Act kPlay = [](Engine* e) { e->playing = 1; };
const Act kPause = [](Engine* e) { e->playing = 0; };
const Act kTurn = [](Engine* e) { e->reversed = 1; };
const Act kRecord = [](Engine* e) { e->record = 1, e->monitor = 0; };   // a first pass, heard from the loop only
const Act kRecordOff = [](Engine* e) { e->record = 0; };
// Loads stop the transport first, as the take loader does: an opened file then plays, a LOOPS row does not.
const Act kLoadFile = [](Engine* e) {
    std::vector<float> x = sine_second();
    e->record = e->playing = 0;
    loop_set_buffers(e, x.data(), x.data(), 48000);
    e->playing = 1;
};
const Act kLoadRow = [](Engine* e) {
    std::vector<float> x = sine_second(), both(96000);
    for (size_t i = 0; i < x.size(); i++)
        both[2 * i] = both[2 * i + 1] = x[i];
    std::string path = ::testing::TempDir() + "tessel-looper-row-" + std::to_string(getpid()) + ".wav";
    ASSERT_TRUE(wav_write_float(path.c_str(), both.data(), 2, 48000, 48000.0));
    e->record = e->playing = 0;
    EXPECT_TRUE(loop_load_wav(e, path.c_str()));
    std::remove(path.c_str());
};
// The take player looping 11 whole periods, fed to the input and so recorded.
PreviewPlayer g_take;
const Act kTakeToInput = [](Engine* e) {
    SampleBuffer* b = preview_kit_buffer(1, 48000.0, 1200);
    for (int i = 0; i < 1200; i++)
        b->samples[i] = half_sine(i);
    preview_load(&g_take, b, true);
    preview_set_looping(&g_take, true);
    engine_set_render_hook(
        e, [](void* p, float* l, float* r, int32_t n, double rate) { preview_render((PreviewPlayer*)p, l, r, n, rate); },
        &g_take);
    e->player_to_input = 1;
};

std::vector<Transition> transitions()
{
    std::vector<Transition> rows = {
        {"StopDuringOverdub", {{-94, kOverdub}, {0, kStopKey}}},
        {"StopOnAFirstPass", {{-94, kRecord}, {0, kPause}}},
        {"Stop", {{-94, kLoop}, {0, kPause}}},
        {"Play", {{-94, kLoop}, {-94, kPause}, {0, kPlay}}},
        {"Clear", {{-94, kLoop}, {0, [](Engine* e) { e->clear_request = 1; }}}},
        {"MonitorOff", {{0, [](Engine* e) { e->monitor = 0; }}}, {}, 128, -1, {}, kGlideLimit},
        {"Reverse", {{-94, kLoop}, {0, kTurn}}},
        {"TurnDuringOverdub", {{-94, kOverdub}, {0, kTurn}, {40, kRecordOff}}},
        {"TurnedFirstPassClosedByR",
         {{-94, kRecord}, {0, kTurn}, {20, [](Engine* e) { e->close_request = 1, e->record = 0; }}}},
        {"TurnedFirstPassClosedBySpace", {{-94, kRecord}, {0, kTurn}, {20, kPause}}},
        {"TurnDuringTheRunOut", {{-94, kOverdub}, {0, kStopKey}, {4, kPlay}, {8, kTurn}}},
        {"PlayJustAfterAFirstTakeStopped", {{-94, kRecord}, {0, kStopKey}, {12, kPlay}}, {}, 128, 94 - 12},
        {"BypassOn", {}, {{FX_PHASER}, {FX_PHASER, 0, 0, 1}}, 128, -1, {}, kEffectLimit},
        {"BypassOff", {}, {{FX_PHASER}, {FX_PHASER, 0, 0, 1}, {FX_PHASER}}, 128, -1, {}, kEffectLimit},
        {"LopassCutoffDown", {}, {{FX_LOPASS, 1}, {FX_LOPASS}}, 128, -1, {}, kKnobLimit},
        {"LopassCutoffAndResonanceDown", {}, {{FX_LOPASS, 1, 1}, {FX_LOPASS}}, 128, -1, {}, kKnobLimit},
    };
    for (int pause : {1, 12, 37})   // Space, Space: playing again where it stopped
        rows.push_back({"PauseOf" + std::to_string(pause) + "BlocksDuringOverdub",
                        {{-94, kOverdub}, {0, kPause}, {pause, kPlay}, {60, kRecordOff}}, {}, 128, 188 - pause});
    for (int block : {64, 128, 256, 1024}) {   // the pads glide over frames, not blocks
        std::string b = std::to_string(block);
        rows.push_back({"MixPadPress" + b,
                        {{-94, effect({FX_DELAY})}, {0, [](Engine* e) { e->crossfade = 0.0f, e->wet_dry = 0.5f; }}},
                        {}, block, -1, {}, kMixLimit});
        rows.push_back({"VolPanPadDrag" + b, {{0, [](Engine* e) { e->gain = 0.6f, e->pan = 0.5f; }}}, {}, block, -1,
                        {}, kGlideLimit});
        // Loads, seeks and trims while the loop plays or an overdub runs.
        Act trim = [](Engine* e) { loop_resize(e, 24000); };   // 220 whole periods
        rows.push_back({"LoadFileWhilePlaying" + b, {{-94, kLoop}}, {}, block, -1, {0, kLoadFile}});
        rows.push_back({"LoadRowDuringOverdub" + b, {{-94, kLoop}, {-94, kRecord}}, {}, block, -1, {0, kLoadRow}});
        rows.push_back({"SeekDuringOverdub" + b,
                        {{-94, kLoop}, {-94, kRecord}, {0, [](Engine* e) { loop_seek_fraction(e, 0.75); }},
                         {40, kRecordOff}},
                        {}, block});
        rows.push_back({"ResizeWhilePlaying" + b, {{-94, kLoop}}, {}, block, -1, {0, trim}});
        rows.push_back({"ResizeDuringOverdub" + b, {{-94, kOverdub}, {40, kRecordOff}}, {}, block, -1, {0, trim}});
        rows.push_back({"TakePlayerWrapToInput" + b, {{-94, kOverdub}, {-94, kTakeToInput}, {40, kRecordOff}}, {},
                        block});
        // Turns 10 ms apart while recording (blocks of 1,024 frames are longer), then recording off. The input is
        // quieter, so the layers heard back over each other stay below the sine's level.
        for (int turns : {5, 8}) {
            Transition row = {(turns == 5 ? "Five" : "Eight") + std::string("TurnsWhileRecording") + b,
                              {{-94, kOverdub}, {-94, [](Engine* e) { e->gain = 0.6f; }}, {4 * turns, kRecordOff}},
                              {}, block};
            for (int k = 0; k < turns; k++)
                row.steps.push_back({4 * k, [](Engine* e) { e->reversed = !e->reversed; }});
            if (block <= 4 * 128)
                rows.push_back(row);
        }
    }
    struct { std::vector<int> types; float k1, k2; } runs[] = {   // changed both ways between neighbours
        {{FX_OFF, FX_DELAY, FX_CHORUS, FX_PHASER, FX_FLANGER, FX_GRIT}, 0.0f, 0.0f},
        {{FX_BITCRUSH, FX_CHOPPER}, 0.35f, 0.0f},
        {{FX_CHOPPER, FX_RADIO, FX_HIPASS}, 0.0f, 1.0f},
        {{FX_HIPASS, FX_LOPASS, FX_WOBBLE, FX_RING, FX_HALL, FX_GHOST, FX_OFF}, 0.0f, 0.0f},
    };
    for (const auto& run : runs)
        for (size_t i = 0; i + 2 < 2 * run.types.size(); i++) {
            int from = run.types[i / 2 + i % 2], to = run.types[i / 2 + 1 - i % 2];
            rows.push_back({std::string(fx_name(from)) + "To" + fx_name(to), {},
                            {{from, run.k1, run.k2}, {to, run.k1, run.k2}}, 128, -1, {}, kEffectLimit});
        }
    int shared[][3] = {{FX_WOBBLE, FX_FLANGER, FX_CHORUS}, {FX_WOBBLE, FX_CHORUS, FX_FLANGER},
                       {FX_CHORUS, FX_FLANGER, FX_WOBBLE}};   // the modulation line's users, the middle slow and deep
    for (auto& s : shared)
        rows.push_back({std::string(fx_name(s[1])) + "To" + fx_name(s[2]) + "After" + fx_name(s[0]), {},
                        {{s[0], 0.5f, 0.5f}, {s[1], 0.0f, 0.6f}, {s[2], 0.5f, 0.5f}}, 128, -1, {}, kEffectLimit});
    return rows;
}

class LooperTransitions : public Looper, public ::testing::WithParamInterface<Transition> {
protected:
    void TearDown() override
    {
        Looper::TearDown();
        preview_kit_empty(&g_take);
    }
};

TEST_P(LooperTransitions, LeaveLessInTheSinesRecurrenceThanAShortFade)
{
    const Transition& row = GetParam();
    std::vector<std::pair<int, Act>> steps = row.steps;
    for (size_t i = 0; i < row.fx.size(); i++)
        steps.push_back({-94 * (int)(row.fx.size() - 1 - i), effect(row.fx[i])});
    std::stable_sort(steps.begin(), steps.end(), [](auto& a, auto& b) { return a.first < b.first; });
    UiThread ui{e, row.ui.second};
    if (ui.act)
        engine_set_output_tap(e, begin_ui, &ui);
    std::vector<float> heard[2];
    in.resize(2 * (size_t)row.block), out.resize(2 * (size_t)row.block);
    size_t next = 0;
    for (int64_t t = 128 * (int64_t)std::min(steps[0].first, -94); t < 128 * 94; t += row.block) {
        for (; next < steps.size() && 128 * (int64_t)steps[next].first <= t; next++)
            steps[next].second(e);
        ui.due = ui.act && t >= 128 * (int64_t)row.ui.first;
        if (ui.state == 1 && !eventually([&ui] { return ui.waiting_or_over(); })) {
            ADD_FAILURE() << "the UI operation neither ended nor waited on the callback";
            break;
        }
        for (int i = 0; i < 2 * row.block; i++)
            in[(size_t)i] = half_sine(t + i / 2);
        bool begun = std::exchange(ui.next_block, false);
        engine_audio_callback(in.data(), out.data(), (unsigned long)row.block, nullptr, 0, e);
        if (begun)
            e->blocks_left.fetch_add(1);
        for (int i = 0; i < 2 * row.block; i++)
            if (t + i / 2 >= -2)   // from the two frames before the change
                heard[i % 2].push_back(out[(size_t)i]);
    }
    if (ui.thread.joinable())
        ui.thread.join();
    e->running = 0;
    EXPECT_EQ(ui.state, ui.act ? 2 : 0);
    if (row.played >= 0) {
        EXPECT_EQ(pos(), len() ? 128 * row.played % len() : -1);
    }
    size_t n = row.fx.size();
    auto from = own(&e->slots[2], n > 1 ? row.fx[n - 2] : Fx{}), to = own(&e->slots[3], n ? row.fx[n - 1] : Fx{});
    for (const std::vector<float>& h : heard) {
        EXPECT_LE(residual(h, false), std::fmax(from.first, to.first) + row.limit * kAmp);
        EXPECT_LE(residual(h, false, 0.0f), 1.1f * std::fmax(from.second, to.second));   // no swell
    }
    for (float* x : {e->loop_left, e->loop_right})   // the loop, end to start
        EXPECT_LE(residual(std::vector<float>(x, x + len()), true), kLoopLimit * kAmp);
}

INSTANTIATE_TEST_SUITE_P(Rows, LooperTransitions, ::testing::ValuesIn(transitions()),
                         [](const ::testing::TestParamInfo<Transition>& p) { return p.param.name; });

}  // namespace
