// The preview player driven as the UI and the audio thread drive it, one after the
// other on this thread: rate conversion, channels, ends, loops and regions, seeks,
// loads and the buffer hand-over, and the player heard through the engine's hook.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "audio/engine.h"
#include "audio/looper.h"
#include "audio/preview.h"
#include "platform/plat_audio_api.h"
#include "support/fake_audio.h"
#include "tests/audio/preview_kit.h"
#include "support/test_wait.h"

namespace {

// A player and the two hook buffers the engine would hand it.
class Preview : public ::testing::Test {
protected:
    PreviewPlayer p;
    std::vector<float> left, right;

    void SetUp() override { preview_init(&p); }
    void TearDown() override { preview_kit_empty(&p); }

    // One render of frames into zeroed buffers.
    void render(int32_t frames, double rate = 48000.0)
    {
        left.assign((size_t)frames, 0.0f);
        right.assign((size_t)frames, 0.0f);
        preview_render(&p, left.data(), right.data(), frames, rate);
    }
    // Loads a mono ramp of frames at rate and lets the audio thread adopt it.
    void load_ramp(int64_t frames, double rate = 48000.0, bool play = true)
    {
        preview_load(&p, preview_kit_buffer(1, rate, frames), play);
        render(1);   // adopts; the frame it plays is at 0
        preview_seek(&p, 0.0);
    }
};

// The ramp's value at a fractional frame.
float ramp_at(double frame)
{
    return (float)(frame * 0.001);
}

// ---------------------------------------------------------------------------
// Rendering
// ---------------------------------------------------------------------------

TEST_F(Preview, ATakeAtAnotherRateIsInterpolatedToTheDeviceRateAndScaledByTheGain)
{
    load_ramp(48000, 44100.0);
    preview_set_gain(&p, 0.5f);
    left.assign(480, 1.0f);   // the render adds to what the buffers hold
    right.assign(480, 0.0f);
    preview_render(&p, left.data(), right.data(), 480, 48000.0);
    for (int i = 0; i < 480; i += 37) {
        double at = i * 0.91875;   // 44.1 kHz on 48 kHz
        EXPECT_NEAR(left[(size_t)i], 1.0f + 0.5f * ramp_at(at), 1e-5f) << i;
        EXPECT_NEAR(right[(size_t)i], 0.5f * ramp_at(at), 1e-5f) << i;
    }
    // 480 x 0.91875 = 441, summed step by step in doubles: a hair either side.
    EXPECT_NEAR(p.position.load(), 441.0, 1e-9);
    EXPECT_NEAR((double)p.published_position.load(), 441.0, 1.0);
    EXPECT_NEAR(preview_position(&p), 441.0 / 48000.0, 1.0 / 48000.0);
    EXPECT_NEAR(preview_duration(&p), 48000.0 / 44100.0, 1e-12);
}

TEST_F(Preview, StereoTakesPlayTheirFirstTwoChannelsAndIgnoreTheRest)
{
    preview_load(&p, preview_kit_buffer(3, 48000.0, 1000), true);
    render(16);
    for (int i = 0; i < 16; i++) {
        EXPECT_NEAR(left[(size_t)i], ramp_at(i), 1e-6f);
        EXPECT_NEAR(right[(size_t)i], ramp_at(i) + 0.0001f, 1e-6f);
    }
}

TEST_F(Preview, RunningOffTheEndStopsAtTheLastFrameAndPlayStartsAgainFromZero)
{
    load_ramp(100);
    render(128);
    // Frames 0..98 sound; frame 99 has no neighbour to interpolate with.
    EXPECT_NEAR(left[98], ramp_at(98), 1e-6f);
    EXPECT_EQ(left[99], 0.0f);
    EXPECT_EQ(left[127], 0.0f);
    EXPECT_FALSE(preview_is_playing(&p));
    EXPECT_EQ(p.ended.load(), 1);
    EXPECT_EQ(p.published_position.load(), 100);
    EXPECT_EQ(preview_position(&p), 1.0);

    preview_play(&p);
    EXPECT_EQ(p.ended.load(), 0);
    EXPECT_EQ(preview_position(&p), 0.0);
    render(4);
    EXPECT_NEAR(left[3], ramp_at(3), 1e-6f);

    // One frame has nothing to interpolate: no sound, and it ends at once.
    preview_load(&p, preview_kit_buffer(1, 48000.0, 1, 0.5f), true);
    render(8);
    for (float v : left)
        EXPECT_EQ(v, 0.0f);
    EXPECT_FALSE(preview_is_playing(&p));
    EXPECT_EQ(p.ended.load(), 1);
}

// Looping, the last frame leads into the first as into the frame after it: the seam plays
// on without a gap, also between frames at another rate.
TEST_F(Preview, LoopingRunsFromTheLastFrameIntoTheStart)
{
    for (double rate : {48000.0, 44100.0}) {
        load_ramp(10, rate);
        preview_set_looping(&p, true);
        render(30);
        double step = rate / 48000.0;
        for (int i = 0; i < 30; i++) {
            double at = std::fmod(i * step, 10.0);
            int k = (int)at;
            float next = ramp_at((k + 1) % 10);
            EXPECT_NEAR(left[(size_t)i], ramp_at(k) + (next - ramp_at(k)) * (float)(at - k), 1e-5f) << rate << " " << i;
        }
        EXPECT_TRUE(preview_is_playing(&p));
        EXPECT_EQ(p.published_position.load(), (int64_t)std::fmod(30 * step, 10.0));
    }
}

// ---------------------------------------------------------------------------
// Regions and seeks
// ---------------------------------------------------------------------------

TEST_F(Preview, ARegionAppliesOnlyWhileTheSoughtPlaceLiesInsideIt)
{
    load_ramp(100);
    preview_set_looping(&p, true);
    EXPECT_FALSE(preview_set_region(&p, 0.25, 0.5, true));
    EXPECT_EQ(p.region_start.load(), 25);
    EXPECT_EQ(p.region_end.load(), 50);

    // Inside: loops over frames 25..49, 49 leading into 25.
    preview_seek(&p, 0.3);
    EXPECT_TRUE(preview_region_active(&p));
    render(21);
    EXPECT_NEAR(left[0], ramp_at(30), 1e-6f);
    EXPECT_NEAR(left[19], ramp_at(49), 1e-6f);
    EXPECT_NEAR(left[20], ramp_at(25), 1e-6f);

    // Half a frame beyond the end still counts as inside.
    preview_seek(&p, 50.4 / 100.0);
    EXPECT_TRUE(preview_region_active(&p));

    // Outside: the whole take plays, wrapping to 0 rather than to the region.
    preview_seek(&p, 0.75);
    EXPECT_FALSE(preview_region_active(&p));
    render(26);
    EXPECT_NEAR(left[24], ramp_at(99), 1e-6f);
    EXPECT_NEAR(left[25], ramp_at(0), 1e-6f);

    // After an end without looping, play goes back to the region's start.
    preview_seek(&p, 0.4);
    preview_set_looping(&p, false);
    render(16);
    EXPECT_EQ(p.ended.load(), 1);
    EXPECT_EQ(p.published_position.load(), 50);
    preview_play(&p);
    EXPECT_TRUE(preview_region_active(&p));
    render(2);
    EXPECT_NEAR(left[0], ramp_at(25), 1e-6f);
}

TEST_F(Preview, RegionsAreCutToTheTakeAndNeedOne)
{
    // No buffer: nothing to set.
    EXPECT_FALSE(preview_set_region(&p, 0.1, 0.2, true));
    EXPECT_FALSE(preview_region_active(&p));

    preview_load(&p, preview_kit_buffer(1, 48000.0, 200), false);   // pending counts
    // An end below the start: an empty region at the start.
    preview_set_region(&p, 0.5, 0.2, true);
    EXPECT_EQ(p.region_start.load(), 100);
    EXPECT_EQ(p.region_end.load(), 100);
    EXPECT_TRUE(preview_set_region(&p, -3.0, 7.0, true));
    EXPECT_EQ(p.region_start.load(), 0);
    EXPECT_EQ(p.region_end.load(), 200);
    EXPECT_TRUE(preview_set_region(&p, 0.1, 0.2, false));
    EXPECT_EQ(p.region_set.load(), 0);
    EXPECT_FALSE(preview_region_active(&p));

    // A new load drops the region.
    preview_set_region(&p, 0.1, 0.2, true);
    preview_load(&p, preview_kit_buffer(1, 48000.0, 200), false);
    EXPECT_FALSE(preview_region_active(&p));
    EXPECT_EQ(p.region_set.load(), 0);
}

TEST_F(Preview, ASeekShowsAtOnceIsClampedAndIsTakenUpEvenWhilePaused)
{
    EXPECT_EQ(preview_seek(&p, 0.5), 0);   // no buffer: frame 0
    EXPECT_EQ(p.seek_target.load(), 0.0);

    load_ramp(1000, 48000.0, false);
    EXPECT_EQ(preview_seek(&p, 0.5), 0);
    EXPECT_EQ(p.published_position.load(), 500);
    EXPECT_EQ(preview_position(&p), 0.5);
    render(4);   // paused: the place moves, nothing sounds, nothing is published
    EXPECT_EQ(p.position.load(), 500.0);
    EXPECT_EQ(left[0], 0.0f);
    EXPECT_EQ(preview_seek(&p, std::numeric_limits<double>::quiet_NaN()), 500);
    EXPECT_EQ(p.seek_target.load(), 0.0);

    // Past the end: held on the last frame, where a play ends at once.
    preview_seek(&p, 2.0);
    EXPECT_EQ(p.published_position.load(), 1000);
    preview_play(&p);
    render(4);
    EXPECT_EQ(p.position.load(), 999.0);
    EXPECT_FALSE(preview_is_playing(&p));

    preview_play(&p);
    EXPECT_TRUE(preview_pause(&p));
    preview_stop(&p);
    EXPECT_EQ(preview_position(&p), 0.0);
}

// ---------------------------------------------------------------------------
// Loads and the buffer hand-over
// ---------------------------------------------------------------------------

TEST_F(Preview, ALoadPlaysFromZeroAtTheNextRenderAndRetiresTheOldTake)
{
    load_ramp(1000);
    render(100);
    SampleBuffer* first = p.current.load();
    int32_t generation = p.generation.load();

    // A seek meant for the old take is dropped: the new one starts at frame 0.
    preview_seek(&p, 0.9);
    SampleBuffer* second = preview_kit_buffer(1, 24000.0, 500, 0.5f);
    preview_load(&p, second, true);
    EXPECT_EQ(p.generation.load(), generation + 1);
    EXPECT_EQ(p.published_position.load(), 0);
    EXPECT_EQ(p.current.load(), first);   // still the old one until the render
    EXPECT_EQ(preview_duration(&p), 1000.0 / 48000.0);

    render(3);
    EXPECT_EQ(p.current.load(), second);
    EXPECT_EQ(p.pending.load(), nullptr);
    EXPECT_NEAR(left[0], 0.5f, 1e-6f);
    EXPECT_NEAR(left[2], 0.5f + ramp_at(1.0), 1e-6f);   // 24 kHz: half a frame per frame
    EXPECT_EQ(preview_take_retired(&p), first);
    EXPECT_EQ(preview_take_retired(&p), nullptr);
    sample_buffer_destroy(first);

    // Not taken: the next load frees it (the leak check would name it), and a load
    // posted twice before a render frees the first post.
    preview_load(&p, preview_kit_buffer(1, 48000.0, 10), true);
    render(1);
    ASSERT_NE(p.retired.load(), nullptr);
    preview_load(&p, preview_kit_buffer(1, 48000.0, 10), false);
    EXPECT_EQ(p.retired.load(), nullptr);
    preview_load(&p, preview_kit_buffer(1, 48000.0, 20), false);
    EXPECT_FALSE(preview_is_playing(&p));
    render(1);
    EXPECT_EQ(p.current.load()->frames, 20);
}

// The audio thread adopts a take only into an empty retired slot. When a load's
// exchange races an adoption, the buffer parked by that adoption is still there when
// the next post is adopted; without this, the adoption would overwrite it and lose it.
TEST_F(Preview, AParkedBufferIsNeverOverwrittenByTheNextAdoption)
{
    SampleBuffer* a = preview_kit_buffer(1, 48000.0, 100);
    SampleBuffer* b = preview_kit_buffer(1, 48000.0, 100, 0.25f);
    SampleBuffer* c = preview_kit_buffer(1, 48000.0, 100, 0.5f);
    preview_load(&p, a, true);
    render(1);
    preview_load(&p, b, true);
    render(1);
    ASSERT_EQ(p.retired.load(), a);
    // The state such a race leaves: a still parked, c posted.
    p.pending.store(c);
    render(2);
    EXPECT_EQ(p.current.load(), b);   // b plays on
    EXPECT_EQ(p.retired.load(), a);
    EXPECT_NEAR(left[1], 0.25f + ramp_at(2), 1e-6f);

    EXPECT_EQ(preview_take_retired(&p), a);
    sample_buffer_destroy(a);
    render(1);
    EXPECT_EQ(p.current.load(), c);
    EXPECT_EQ(p.retired.load(), b);
}

TEST_F(Preview, DetachingStopsFreesThePostedTakeAndHandsOverTheRest)
{
    // Playing A with B posted: B is freed, A handed over.
    preview_load(&p, preview_kit_buffer(1, 48000.0, 100), true);
    render(10);
    SampleBuffer* a = p.current.load();
    preview_load(&p, preview_kit_buffer(1, 48000.0, 100), true);
    SampleBuffer *out_current = nullptr, *out_retired = a;
    preview_detach_buffers(&p, &out_current, &out_retired);
    EXPECT_EQ(out_current, a);
    EXPECT_EQ(out_retired, nullptr);
    EXPECT_EQ(p.pending.load(), nullptr);
    EXPECT_FALSE(preview_is_playing(&p));
    EXPECT_EQ(p.published_position.load(), 0);
    EXPECT_EQ(preview_duration(&p), 0.0);
    sample_buffer_destroy(out_current);

    // Playing D with C retired: both handed over.
    preview_load(&p, preview_kit_buffer(1, 48000.0, 100), true);
    render(1);
    SampleBuffer* c = p.current.load();
    preview_load(&p, preview_kit_buffer(1, 48000.0, 100), true);
    render(1);
    SampleBuffer* d = p.current.load();
    preview_detach_buffers(&p, &out_current, &out_retired);
    EXPECT_EQ(out_current, d);
    EXPECT_EQ(out_retired, c);
    sample_buffer_destroy(c);
    sample_buffer_destroy(d);
}

// ---------------------------------------------------------------------------
// Bad input
// ---------------------------------------------------------------------------

// A take whose rate is 0 would hold one sample forever, a non-finite one would make
// the position non-finite: the render plays neither, and neither does an empty take.
TEST_F(Preview, ATakeWithoutAUsableRateOrSamplesIsNotPlayed)
{
    const double bad_rates[] = {0.0, -44100.0, std::numeric_limits<double>::quiet_NaN(),
                                std::numeric_limits<double>::infinity()};
    for (double rate : bad_rates) {
        preview_load(&p, preview_kit_buffer(1, rate, 100, 0.5f), true);
        render(64);
        for (float v : left)
            ASSERT_EQ(v, 0.0f) << rate;
        EXPECT_EQ(p.published_position.load(), 0) << rate;
    }
    SampleBuffer* empty = sample_buffer_create();
    empty->channels = 2;
    empty->sample_rate = 48000.0;
    empty->frames = 100;   // but no samples
    preview_load(&p, empty, true);
    render(64);
    EXPECT_EQ(left[0], 0.0f);

    // A device rate that is not a finite positive number renders nothing.
    preview_load(&p, preview_kit_buffer(1, 48000.0, 100, 0.5f), true);
    render(8, 0.0);
    render(8, std::numeric_limits<double>::infinity());
    EXPECT_EQ(p.pending.load() != nullptr, true);   // not even adopted
    render(8, 48000.0);
    EXPECT_NEAR(left[0], 0.5f, 1e-6f);
}

// ---------------------------------------------------------------------------
// Through the engine
// ---------------------------------------------------------------------------

void render_hook(void* ctx, float* left, float* right, int32_t frames, double rate)
{
    preview_render((PreviewPlayer*)ctx, left, right, frames, rate);
}

// On the render hook the take is heard beside the monitored input, and with the
// player-to-input flag it goes into the loop being recorded instead.
TEST_F(Preview, TheEnginesHookPlaysTheTakeAndCanRecordIt)
{
    fake_audio_reset();
    engine_use_backend(fake_audio_backend(), plat_host_api_policy_windows());
    Engine* e = engine_instance();
    ASSERT_TRUE(engine_init(e));
    e->input_channels = 2;
    e->sample_rate = 48000.0;
    engine_set_render_hook(e, render_hook, &p);
    SampleBuffer* take = preview_kit_buffer(2, 48000.0, 48000);
    for (int64_t i = 0; i < take->frames; i++) {
        take->samples[2 * i] = 0.25f;
        take->samples[2 * i + 1] = -0.25f;
    }
    preview_load(&p, take, true);

    std::vector<float> in(2 * 128, 0.125f), out(2 * 128);
    engine_audio_callback(in.data(), out.data(), 128, nullptr, 0, e);
    EXPECT_NEAR(out[2 * 100], 0.125f + 0.25f, 1e-4f);
    EXPECT_NEAR(out[2 * 100 + 1], 0.125f - 0.25f, 1e-4f);

    // Recorded: after the record ramp the loop holds input plus take.
    e->player_to_input = 1;
    e->record = 1;
    for (int b = 0; b < 40; b++)
        engine_audio_callback(in.data(), out.data(), 128, nullptr, 0, e);
    e->record = 0;
    engine_audio_callback(in.data(), out.data(), 128, nullptr, 0, e);
    ASSERT_GT(e->length.load(), 4000);
    EXPECT_NEAR(e->loop_left[4000], 0.125f + 0.25f, 1e-3f);
    EXPECT_NEAR(e->loop_right[4000], 0.125f - 0.25f, 1e-3f);

    ASSERT_TRUE(engine_clear_render_hook(e, TEST_WAIT_SECONDS * 1000));
    engine_shutdown(e);
    engine_use_backend(nullptr, nullptr);
}

}  // namespace
