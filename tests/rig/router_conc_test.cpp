// router_conc_test.cpp - the router shared by a publishing UI thread and a running
// audio thread: no torn mix is ever applied, and meters hand over without races.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <limits>
#include <thread>
#include <vector>

#include "rig/router.h"
#include "rig/router_internal.h"

namespace {

const uint32_t kTag = 0x5eed5eed;

}  // namespace

TEST(RouterConcurrency, EveryAppliedMixIsOnePublicationWhole)
{
    RigRouter* r = rigroute_new();
    ASSERT_NE(r, nullptr);
    rigroute_prepare(r, 48000.0, RIG_MAX_INPUTS, kTag, nullptr);
    const int kPublications = 100000;
    std::atomic<bool> done{false};

    std::thread ui([&] {
        RigMix m;
        m.channels = RIG_MAX_INPUTS;
        m.master = 1.0f;
        for (int k = 1; k <= kPublications; k++) {
            for (int c = 0; c < RIG_MAX_INPUTS; c++)
                m.left[c] = m.right[c] = (float)k;
            rigroute_publish_mix(r, &m, kTag, 0.0f);
        }
        done.store(true, std::memory_order_release);
    });

    const int n = 16;
    std::vector<float> in((size_t)n * RIG_MAX_INPUTS, 0.001f), L(n), R(n);
    long blocks = 0, takes = 0, torn = 0;
    float last = 0.0f;
    bool backwards = false;
    for (;;) {
        bool finished = done.load(std::memory_order_acquire);
        rigroute_process_block(r, in.data(), RIG_MAX_INPUTS, L.data(), R.data(), n);
        blocks++;
        // Only a take sets targets, so after every block all 128 must be one k.
        float k = r->ramp[0].target_l;
        for (int c = 0; c < RIG_MAX_INPUTS; c++)
            if (r->ramp[c].target_l != k || r->ramp[c].target_r != k)
                torn++;
        if (k != last)
            takes++;
        if (k < last)
            backwards = true;
        last = k;
        if (finished)
            break;
    }
    ui.join();

    EXPECT_EQ(torn, 0);
    EXPECT_FALSE(backwards);
    EXPECT_EQ(last, (float)kPublications);   // the block after the end took the last one
    EXPECT_GT(takes, 1);
    RecordProperty("blocks", (int)blocks);
    RecordProperty("takes", (int)takes);
    rigroute_free(r);
}

TEST(RouterConcurrency, MetersHandOverWhileTheAudioThreadRuns)
{
    RigRouter* r = rigroute_new();
    ASSERT_NE(r, nullptr);
    const int channels = 8;
    rigroute_prepare(r, 48000.0, channels, kTag, nullptr);
    RigMix m;
    m.channels = channels;
    m.master = 1.0f;
    for (int c = 0; c < channels; c++)
        m.left[c] = m.right[c] = 0.5f;
    rigroute_publish_mix(r, &m, kTag, 0.0f);

    const int kBlocks = 20000;
    std::atomic<bool> done{false};
    std::thread audio([&] {
        const int n = 32;
        std::vector<float> in((size_t)n * channels), L(n), R(n);
        for (int b = 0; b < kBlocks; b++) {
            // Channel c peaks at (c + 1) / 8; channel 7 clips; every 100th block
            // carries one NaN on channel 3.
            for (int i = 0; i < n; i++)
                for (int c = 0; c < channels; c++)
                    in[(size_t)i * channels + c] = i == b % n ? (float)(c + 1) / 8.0f : 0.0f;
            if (b % 100 == 0)
                in[3] = std::numeric_limits<float>::quiet_NaN();
            rigroute_process_block(r, in.data(), channels, L.data(), R.data(), n);
        }
        done.store(true, std::memory_order_release);
    });

    uint64_t clip = 0, bad = 0, last_blocks = 0;
    float peak[channels] = {};
    bool shrinking = false, too_loud = false;
    for (;;) {
        bool finished = done.load(std::memory_order_acquire);
        RigMeters mt;
        rigroute_take_meters(r, &mt);
        if (mt.blocks < last_blocks)
            shrinking = true;
        last_blocks = mt.blocks;
        clip |= mt.clip_mask;
        bad |= mt.bad_mask;
        for (int c = 0; c < channels; c++) {
            peak[c] = std::max(peak[c], mt.input_peak[c]);
            if (mt.input_peak[c] > (float)(c + 1) / 8.0f)
                too_loud = true;
        }
        if (finished)
            break;
        std::this_thread::yield();
    }
    audio.join();

    EXPECT_FALSE(shrinking);
    EXPECT_FALSE(too_loud);
    EXPECT_EQ(last_blocks, (uint64_t)kBlocks);
    EXPECT_EQ(clip, 1u << 7);
    EXPECT_EQ(bad, 1u << 3);
    for (int c = 0; c < channels; c++)
        EXPECT_EQ(peak[c], (float)(c + 1) / 8.0f) << c;
    RigMeters mt;
    rigroute_take_meters(r, &mt);
    EXPECT_EQ(mt.bad_samples, (uint64_t)kBlocks / 100);
    rigroute_free(r);
}
