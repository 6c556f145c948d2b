// The looper callback's state machines, driven block by block with synthetic input:
// first pass and close, requests, playback and overdub, monitoring and the preview,
// gain, pan, gate and clipper, and the UI's loop operations.
#include <gtest/gtest.h>

#include <cmath>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include "audio/engine.h"
#include "audio/fx.h"
#include "audio/loop_file.h"
#include "audio/looper.h"
#include "media_fixture.h"
#include "platform/plat_audio_api.h"
#include "support/fake_audio.h"
#include "support/wav_capture.h"

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
    loop_resize(e, 9000);
    EXPECT_EQ(e->length_request.load(), 0);
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

// ---------------------------------------------------------------------------
// Transitions: no click on the output, in the loop or in its export
// ---------------------------------------------------------------------------

// The input of every transition: a half-scale 440 Hz sine. 1200 frames hold 11 of its
// cycles, so a loop of 48,000 frames of it wraps without a seam.
float half_sine(int64_t t, double cycles = 0.0)
{
    return 0.5f * (float)std::sin(6.283185307179586 * (440.0 * (double)t / 48000.0 + cycles));
}

// The largest jump of a signal: order 1 from sample to sample, order 2 of that step (a
// corner); with wrap also from the last sample to the first.
float largest_jump(const std::vector<float>& x, int order, bool wrap)
{
    size_t n = x.size(), end = wrap ? n : n - (size_t)order;
    float most = 0.0f;
    for (size_t i = 0; i < end; i++) {
        float a = x[i], b = x[(i + 1) % n], c = x[(i + 2) % n];
        most = std::fmax(most, std::fabs(order == 1 ? b - a : c - 2.0f * b + a));
    }
    return most;
}

// A row: the engine is put into a state and the input plays, then one thing changes
// at once, as the UI changes it.
struct Transition {
    const char* name;
    void (*setup)(Engine* e);
    void (*act)(Engine* e);
    bool loop_too;   // the loop's content and its export are checked as well
    int order;       // 2: a turn of direction leaves no step, only a corner
};

void no_setup(Engine*) {}

// One second of the sine, from its peak (or silence), as the loop; the sine's is played
// unmonitored, the silent one overdubbed.
void sine_loop(Engine* e, bool silent)
{
    std::vector<float> x(48000);
    for (int i = 0; i < 48000; i++)
        x[(size_t)i] = silent ? 0.0f : half_sine(i, 0.25);
    loop_set_buffers(e, x.data(), x.data(), 48000);
    e->monitor = silent;
    e->record = silent;
}
void sine_loop(Engine* e) { sine_loop(e, false); }

const Transition kTransitions[] = {
    {"StopDuringOverdub", [](Engine* e) { sine_loop(e, true); },
     [](Engine* e) { e->playing = 0, e->record = 0, e->seek_request = 0; },   // the stop key
     true, 1},
    {"StopOnAFirstPass", [](Engine* e) { e->record = 1; }, [](Engine* e) { e->playing = 0; }, true, 1},
    {"Stop", sine_loop, [](Engine* e) { e->playing = 0; }, false, 1},
    {"Play", [](Engine* e) { sine_loop(e), e->playing = 0; }, [](Engine* e) { e->playing = 1; }, false, 1},
    {"Clear", sine_loop, [](Engine* e) { e->clear_request = 1; }, false, 1},
    {"MonitorOff", no_setup, [](Engine* e) { e->monitor = 0; }, false, 1},
    {"MixPadPress", [](Engine* e) { e->slots[0].effect_type = FX_DELAY; },   // a 2 ms echo
     [](Engine* e) { e->crossfade = 0.0f, e->wet_dry = 0.5f; }, false, 1},
    {"VolPanPadDrag", no_setup, [](Engine* e) { e->gain = 0.6f, e->pan = 0.5f; }, false, 1},
    {"Reverse", sine_loop, [](Engine* e) { e->reversed = 1; }, false, 2},
};

class LooperTransitions : public Looper, public ::testing::WithParamInterface<Transition> {};

TEST_P(LooperTransitions, NoTransitionStepsBeyondTwiceTheSinesOwnStep)
{
    const Transition& row = GetParam();
    std::vector<float> sine(48000), heard[2];   // heard: from the last frame before the change on
    for (int i = 0; i < 48000; i++)
        sine[(size_t)i] = half_sine(i);
    const float limit = 2.0f * largest_jump(sine, row.order, false);
    auto play = [&, t = int64_t(0)](int blocks) mutable {
        in.assign(256, 0.0f);
        out.assign(256, 0.0f);
        for (int b = 0; b < blocks; b++) {
            for (int i = 0; i < 128; i++)
                in[(size_t)(2 * i)] = in[(size_t)(2 * i + 1)] = half_sine(t++);
            engine_audio_callback(in.data(), out.data(), 128, nullptr, 0, e);
            for (int i = 0; i < 256; i++)
                heard[i % 2].push_back(out[(size_t)i]);
        }
    };
    row.setup(e);
    play(188);   // settled; the change comes well off the sine's zero crossings
    for (std::vector<float>& h : heard)
        h.erase(h.begin(), h.end() - 1);
    row.act(e);
    play(94);    // past the longest fade
    for (const std::vector<float>& h : heard) {
        EXPECT_LE(largest_jump(h, row.order, false), limit);
        float peak = 0.0f;   // nothing swells
        for (float x : h)
            peak = std::fmax(peak, std::fabs(x));
        EXPECT_LE(peak, 1.1f * 0.5f);
    }
    if (!row.loop_too)
        return;
    ASSERT_GT(len(), 0);
    std::vector<float> l(e->loop_left, e->loop_left + len()), r(e->loop_right, e->loop_right + len());
    auto seamless = [&](const char* what) {
        EXPECT_LE(std::fmax(largest_jump(l, 1, true), largest_jump(r, 1, true)), limit) << what;
    };
    seamless("loop");
    fixture::TempDir dir;
    ASSERT_TRUE(loop_write_wav16(e, dir.file("loop.wav").c_str()));
    ASSERT_TRUE(wav_capture_read_stereo(dir.file("loop.wav"), &l, &r));
    seamless("export");
}

INSTANTIATE_TEST_SUITE_P(Rows, LooperTransitions, ::testing::ValuesIn(kTransitions),
                         [](const ::testing::TestParamInfo<Transition>& p) { return std::string(p.param.name); });

// ---------------------------------------------------------------------------
// Effect transitions: no click on the output
// ---------------------------------------------------------------------------

// A half-scale 440 Hz sine plays through slot 0 into the monitored output while one
// thing changes at a block's start, where the sine peaks: the effect type, the fx
// bypass, or LOPASS's knobs.
struct EffectChange {
    const char* name;                   // null: named by the two effect types
    int from, to;                       // slot 0's effect before and after
    float k1, k2, k1_after, k2_after;   // its knobs before and after
    bool bypass_before, bypass_after;
    int blocks_before, blocks_after;    // of 128 frames
};

// Runs of neighbouring effect types, each change tried both ways, at knobs that keep
// each effect's own sound within the step limit on this sine. No setting does so for
// both GRIT and BITCRUSH, so BITCRUSH is reached from CHOPPER, whose gate stays open
// for about 650 frames at those knobs: that run plays a few blocks only.
struct TypeRun {
    int types[7], count;
    float k1, k2;
    int blocks_before, blocks_after;
};
const TypeRun kTypeRuns[] = {
    {{FX_OFF, FX_DELAY, FX_CHORUS, FX_PHASER, FX_FLANGER, FX_GRIT}, 6, 0.0f, 0.0f, 16, 12},
    {{FX_BITCRUSH, FX_CHOPPER}, 2, 0.35f, 0.0f, 3, 6},
    {{FX_CHOPPER, FX_RADIO, FX_HIPASS}, 3, 0.0f, 1.0f, 16, 12},
    {{FX_HIPASS, FX_LOPASS, FX_WOBBLE, FX_RING, FX_HALL, FX_GHOST, FX_OFF}, 7, 0.0f, 0.0f, 16, 12},
};
const EffectChange kOtherChanges[] = {
    {"bypass on", FX_PHASER, FX_PHASER, 0, 0, 0, 0, false, true, 16, 12},
    {"bypass off", FX_PHASER, FX_PHASER, 0, 0, 0, 0, true, false, 16, 12},
    {"LOPASS cutoff 1 -> 0", FX_LOPASS, FX_LOPASS, 1, 0, 0, 0, false, false, 16, 48},
    {"LOPASS both 1 -> 0", FX_LOPASS, FX_LOPASS, 1, 1, 0, 0, false, false, 16, 48},
};

TEST_F(LooperTransitions, EffectChangesStayWithinTwiceTheSinesOwnStep)
{
    std::vector<EffectChange> rows(std::begin(kOtherChanges), std::end(kOtherChanges));
    for (const TypeRun& run : kTypeRuns)
        for (int i = 0; i + 1 < run.count; i++)
            for (int back = 0; back < 2; back++)
                rows.push_back({nullptr, run.types[i + back], run.types[i + 1 - back], run.k1, run.k2,
                                run.k1, run.k2, false, false, run.blocks_before, run.blocks_after});
    const double w = 2.0 * M_PI * 440.0 / 48000.0;
    const float limit = 2.0f * 0.5f * 2.0f * (float)std::sin(w / 2.0);
    for (const EffectChange& row : rows) {
        std::string name = row.name ? row.name : std::string(fx_name(row.from)) + " -> " + fx_name(row.to);
        // A fresh slot for each row (no phase or line left by the one before), its
        // knobs already where they glide to.
        FxSlot* slot = &e->slots[0];
        ASSERT_EQ(fx_init(slot), 0);
        slot->smoothing = 1;
        slot->smoothed[0] = row.k1;
        slot->smoothed[1] = row.k2;
        fx_set_type(slot, row.from);
        slot->knob1 = row.k1;
        slot->knob2 = row.k2;
        e->fx_bypass = row.bypass_before ? 1 : 0;

        std::vector<float> heard;   // left and right, from the last frame before the change
        int64_t t = -128 * (int64_t)row.blocks_before;
        auto play = [&](int blocks) {
            for (int b = 0; b < blocks; b++) {
                in.assign(256, 0.0f);
                out.assign(256, 0.0f);
                for (int i = 0; i < 128; i++, t++)
                    in[(size_t)(2 * i)] = in[(size_t)(2 * i + 1)] = 0.5f * (float)std::cos(w * (double)t);
                engine_audio_callback(in.data(), out.data(), 128, nullptr, 0, e);
                heard.insert(heard.end(), out.begin(), out.end());
            }
        };
        play(row.blocks_before);
        heard.erase(heard.begin(), heard.end() - 2);
        fx_set_type(slot, row.to);
        slot->knob1 = row.k1_after;
        slot->knob2 = row.k2_after;
        e->fx_bypass = row.bypass_after ? 1 : 0;
        play(row.blocks_after);

        float step = 0.0f, peak = 0.0f;
        for (size_t i = 0; i < heard.size(); i++) {
            peak = std::fmax(peak, std::fabs(heard[i]));
            if (i >= 2)
                step = std::fmax(step, std::fabs(heard[i] - heard[i - 2]));
        }
        EXPECT_LE(step, limit) << name;
        EXPECT_LE(peak, 1.1f * 0.5f) << name;
    }
}

}  // namespace
