// The preview player's hand-over with the audio thread really running: the UI thread
// loads, seeks, sets regions, pauses, takes retired buffers and detaches while blocks
// render the player through the engine's hook. Freed buffers are first overwritten
// with a loud value, so a block that still read one would be heard (and reported by
// the sanitizers); the leak check names any buffer lost on the way.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdint>
#include <thread>
#include <vector>

#include "audio/engine.h"
#include "audio/looper.h"
#include "audio/preview.h"
#include "platform/plat_audio_api.h"
#include "support/fake_audio.h"
#include "tests/audio/preview_kit.h"
#include "support/test_wait.h"

namespace {

const float kPoison = 1.0e6f;
const int kCommands = 6000;
const int kBursts = 500;
const int kDetaches = 500;

struct Watched {
    PreviewPlayer player;
    std::atomic<int> bad{0};
    std::atomic<uint64_t> sounding_blocks{0};
};

// The render hook: the player, then a look at what it added.
void watched_render(void* ctx, float* left, float* right, int32_t frames, double rate)
{
    Watched* w = (Watched*)ctx;
    preview_render(&w->player, left, right, frames, rate);
    bool sounding = false;
    for (int32_t i = 0; i < frames; i++) {
        if (!(std::fabs(left[i]) < 4.0f) || !(std::fabs(right[i]) < 4.0f))
            w->bad.fetch_add(1, std::memory_order_relaxed);
        sounding = sounding || left[i] != 0.0f;
    }
    if (sounding)
        w->sounding_blocks.fetch_add(1, std::memory_order_relaxed);
}

// Overwrites the samples (a write a block still reading would race with), then frees.
void poison_and_free(SampleBuffer* b)
{
    if (!b)
        return;
    for (int64_t i = 0; i < b->frames * b->channels; i++)
        b->samples[i] = kPoison;
    sample_buffer_destroy(b);
}

// A take of the kit's ramp brought down to at most 0.1.
SampleBuffer* quiet_take(int32_t channels, double rate, int64_t frames)
{
    SampleBuffer* b = preview_kit_buffer(channels, rate, frames);
    float scale = 0.1f / ((float)frames * 0.001f + 0.001f);
    for (int64_t k = 0; k < b->frames * channels; k++)
        b->samples[k] *= scale;
    return b;
}

// An engine whose callback runs on a thread of its own with the watched player on
// its render hook.
class PreviewHandOver : public ::testing::Test {
protected:
    Engine* e = engine_instance();
    Watched w;
    PreviewPlayer* p = &w.player;
    std::atomic<bool> stop{false};
    std::thread audio;

    void SetUp() override
    {
        fake_audio_reset();
        engine_use_backend(fake_audio_backend(), plat_host_api_policy_windows());
        ASSERT_TRUE(engine_init(e));
        e->input_channels = 2;
        e->monitor = 0;
        // No real stream: the thread below plays the audio thread, and the waits run
        // on the block counters as they would with a stream running.
        e->running = 1;
        preview_init(p);
        engine_set_render_hook(e, watched_render, &w);
        audio = std::thread([this] {
            std::vector<float> in(2 * 32, 0.0f), out(2 * 32);
            while (!stop.load(std::memory_order_relaxed))
                engine_audio_callback(in.data(), out.data(), 32, nullptr, 0, e);
        });
    }
    void TearDown() override
    {
        EXPECT_TRUE(engine_clear_render_hook(e, TEST_WAIT_SECONDS * 1000));
        stop = true;
        if (audio.joinable())
            audio.join();
        EXPECT_EQ(w.bad.load(), 0) << "a block read a freed buffer";
        preview_kit_empty(p);
        e->running = 0;
        engine_shutdown(e);
        engine_use_backend(nullptr, nullptr);
    }
};

TEST_F(PreviewHandOver, CommandsAndLoadsUnderARunningCallbackNeitherFreeABufferInUseNorLoseOne)
{
    uint32_t seed = 12345;
    auto next = [&seed](uint32_t range) {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) % range;
    };
    for (int i = 0; i < kCommands; i++) {
        switch (next(10)) {
        case 0:
        case 1: {
            // Short takes, mono or stereo, at rates around the device's: ends, wraps
            // and adoptions come often.
            int32_t channels = 1 + (int32_t)next(2);
            double rate = 32000.0 + 1000.0 * next(40);
            preview_load(p, quiet_take(channels, rate, 200 + next(2000)), next(4) != 0);
            break;
        }
        case 2: preview_seek(p, next(1100) / 1000.0); break;
        case 3: {
            double a = next(1000) / 1000.0;
            preview_set_region(p, a, a + next(500) / 1000.0, next(3) != 0);
            break;
        }
        case 4: preview_set_looping(p, next(2) != 0); break;
        case 5: preview_play(p); break;
        case 6: next(2) ? (void)preview_pause(p) : preview_stop(p); break;
        case 7: poison_and_free(preview_take_retired(p)); break;
        default:
            // What the UI reads every frame.
            preview_position(p);
            preview_duration(p);
            preview_is_playing(p);
            preview_region_active(p);
            std::this_thread::yield();
            break;
        }
    }
    EXPECT_GT(w.sounding_blocks.load(), 100u);

    // Loads back to back: each frees the buffer retired by the adoption of the one
    // before, so an adoption often lands between a load's take of the retired slot
    // and its post. Large takes make each free take its time. A retired buffer
    // overwritten on the way would be named by the leak check.
    const int64_t big = 64 * 1024;
    SampleBuffer* ready[2] = {quiet_take(1, 48000.0, big), quiet_take(1, 48000.0, big)};
    for (int i = 0; i < kBursts; i++) {
        preview_load(p, ready[0], true);
        preview_load(p, ready[1], true);
        ready[0] = quiet_take(1, 48000.0, big);
        ready[1] = quiet_take(1, 48000.0, big);
    }
    sample_buffer_destroy(ready[0]);
    sample_buffer_destroy(ready[1]);
}

// The take playing is detached while blocks read it: it is freed only after
// engine_wait_blocks_passed, the retired one at once.
TEST_F(PreviewHandOver, ADetachedTakeIsFreedOnlyAfterTheBlocksThatMayReadItHaveLeft)
{
    preview_set_looping(p, true);
    for (int i = 0; i < kDetaches; i++) {
        preview_load(p, quiet_take(2, 44100.0, 16 * 1024), true);
        uint64_t heard = w.sounding_blocks.load();
        while (w.sounding_blocks.load() < heard + 2)
            std::this_thread::yield();
        SampleBuffer *current = nullptr, *retired = nullptr;
        preview_detach_buffers(p, &current, &retired);
        poison_and_free(retired);
        ASSERT_TRUE(engine_wait_blocks_passed(e, TEST_WAIT_SECONDS * 1000));
        poison_and_free(current);
    }
}

}  // namespace
