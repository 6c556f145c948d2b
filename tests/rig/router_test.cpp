// router_test.cpp - the input router on one thread: which mixes are applied, ramps,
// the fallback to the default mix, bad samples, clip flags and meters.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "rig/router.h"
#include "rig/router_internal.h"

namespace {

const uint32_t kTag = 0x1234abcd;
const double kRate = 48000.0;

RigMix mix_of(int channels, float master, std::initializer_list<std::pair<float, float>> pairs)
{
    RigMix m;
    std::memset(&m, 0, sizeof m);
    m.channels = channels;
    m.master = master;
    int c = 0;
    for (auto p : pairs) {
        if (c < channels) {
            m.left[c] = p.first;
            m.right[c] = p.second;
        }
        c++;
    }
    return m;
}

// A device's default mix: the first pair to its own sides at unity.
RigMix default_mix(int channels)
{
    return mix_of(channels, 1.0f, {{1.0f, 0.0f}, {0.0f, 1.0f}});
}

// Drives a router block by block with a constant level per input channel and keeps
// everything the bus produced.
struct Rig {
    RigRouter* r = nullptr;
    int channels = 2;
    std::vector<float> level;          // per channel, constant
    std::vector<float> left, right;    // every frame produced so far

    Rig(int ch, bool with_fallback, uint32_t tag = kTag) : channels(ch), level((size_t)ch, 0.0f)
    {
        r = rigroute_new();
        RigMix fb = default_mix(ch);
        rigroute_prepare(r, kRate, ch, tag, with_fallback ? &fb : nullptr);
    }
    ~Rig() { rigroute_free(r); }

    size_t frames() const { return left.size(); }

    void run(int total, int block)
    {
        std::vector<float> in((size_t)block * channels), L((size_t)block), R((size_t)block);
        for (int done = 0; done < total; done += block) {
            int n = total - done < block ? total - done : block;
            for (int i = 0; i < n; i++)
                for (int c = 0; c < channels; c++)
                    in[(size_t)i * channels + c] = level[(size_t)c];
            rigroute_process_block(r, in.data(), channels, L.data(), R.data(), n);
            left.insert(left.end(), L.begin(), L.begin() + n);
            right.insert(right.end(), R.begin(), R.begin() + n);
        }
    }
};

// The frame (from `from` on) where the left bus first equals v, or -1.
long first_frame_at(const std::vector<float>& bus, size_t from, float v)
{
    for (size_t i = from; i < bus.size(); i++)
        if (bus[i] == v)
            return (long)(i - from);
    return -1;
}

float largest_step(const std::vector<float>& bus, size_t from, size_t to)
{
    float m = 0.0f;
    for (size_t i = from + 1; i < to && i < bus.size(); i++)
        m = std::fmax(m, std::fabs(bus[i] - bus[i - 1]));
    return m;
}

// Lets a mix with master 1 settle, so later ramps move the channel gains only.
void settle(Rig& rig, const RigMix& m)
{
    rigroute_publish_mix(rig.r, &m, kTag, 0.0f);
    rig.run(2048, 128);
}

}  // namespace

// ---------------------------------------------------------------------------
// Which publication is applied
// ---------------------------------------------------------------------------

TEST(RouterTags, MixForAnotherStreamIsNeverApplied)
{
    Rig rig(2, false);
    rig.level = {0.5f, 0.25f};
    RigMix m = mix_of(2, 1.0f, {{1.0f, 0.0f}, {0.0f, 1.0f}});

    // Published before the stream's first block, for another device.
    rigroute_publish_mix(rig.r, &m, kTag ^ 1, 0.0f);
    rig.run(96000, 128);
    for (size_t i = 0; i < rig.frames(); i++)
        ASSERT_EQ(rig.left[i], 0.0f) << i;
    RigMeters mt;
    rigroute_take_meters(rig.r, &mt);
    EXPECT_EQ(mt.silent, 1);
    EXPECT_EQ(mt.stream_tag, kTag);
    EXPECT_EQ(mt.channels, 2);

    // The right tag plays; a later mix for another device ramps every input to 0.
    rigroute_publish_mix(rig.r, &m, kTag, 0.0f);
    rig.run(2048, 128);
    EXPECT_EQ(rig.left.back(), 0.5f);
    EXPECT_EQ(rig.right.back(), 0.25f);
    size_t from = rig.frames();
    rigroute_publish_mix(rig.r, &m, kTag ^ 1, 0.0f);
    rig.run(48000, 128);
    EXPECT_GT(rig.left[from], 0.0f);
    for (size_t i = from + 960; i < rig.frames(); i++) {
        ASSERT_EQ(rig.left[i], 0.0f) << i;
        ASSERT_EQ(rig.right[i], 0.0f) << i;
    }
    rigroute_take_meters(rig.r, &mt);
    EXPECT_EQ(mt.silent, 1);

    // Tag 0 means no device, even on a stream whose tag is 0.
    Rig untagged(2, false, 0);
    untagged.level = {0.5f, 0.25f};
    rigroute_publish_mix(untagged.r, &m, 0, 0.0f);
    untagged.run(4096, 128);
    EXPECT_EQ(untagged.left.back(), 0.0f);
}

TEST(RouterTags, PublicationBeforeTheFirstBlockRampsInWithinTwentyMs)
{
    Rig rig(1, false);
    rig.level = {1.0f};
    RigMix m = mix_of(1, 1.0f, {{0.5f, 0.5f}});
    rigroute_publish_mix(rig.r, &m, kTag, 0.2f);
    rig.run(20000, 128);
    EXPECT_EQ(first_frame_at(rig.left, 0, 0.5f), 959);
}

TEST(RouterTags, FirstBlockUsesUpTheShortRampOnTheEmptyState)
{
    // The first block after prepare takes the never-published state (not active) and
    // with it the 20 ms limit: a real mix published afterwards ramps at full length.
    Rig rig(1, false);
    rig.level = {1.0f};
    rig.run(128, 128);
    RigMix m = mix_of(1, 1.0f, {{0.5f, 0.5f}});
    rigroute_publish_mix(rig.r, &m, kTag, 0.2f);
    rig.run(20000, 128);
    EXPECT_EQ(first_frame_at(rig.left, 128, 0.5f), 9599);
}

TEST(RouterTags, StaleOffPublicationHoldsBackTheFallback)
{
    // A stream without inputs left "off" as the latest publication; the next stream
    // with inputs takes it at its first block, so no fallback plays until the session
    // publishes for the new device.
    Rig rig(2, true);
    rig.level = {0.5f, 0.25f};
    rigroute_publish_off(rig.r);
    RigMix fb = default_mix(2);
    rigroute_prepare(rig.r, kRate, 2, kTag, &fb);
    rig.run(3 * 48000, 137);
    for (size_t i = 0; i < rig.frames(); i++)
        ASSERT_EQ(rig.left[i], 0.0f) << i;
    RigMeters mt;
    rigroute_take_meters(rig.r, &mt);
    EXPECT_EQ(mt.silent, 1);
    EXPECT_EQ(mt.fallback_in_use, 0);

    RigMix m = mix_of(2, 1.0f, {{1.0f, 0.0f}, {0.0f, 1.0f}});
    rigroute_publish_mix(rig.r, &m, kTag, 0.0f);
    rig.run(2048, 137);
    EXPECT_EQ(rig.left.back(), 0.5f);
    EXPECT_EQ(rig.right.back(), 0.25f);
}

TEST(RouterTags, PublicationTornByTheAudioThreadIsSkippedThenApplied)
{
    Rig rig(2, false);
    rig.level = {0.5f, 0.25f};
    RigMix a = mix_of(2, 1.0f, {{1.0f, 0.0f}, {0.0f, 1.0f}});
    RigMix b = mix_of(2, 1.0f, {{0.0f, 0.5f}, {0.5f, 0.0f}});
    settle(rig, a);

    // A block runs while the second publication is half written.
    static Rig* s_rig;
    s_rig = &rig;
    rigroute_set_publish_hook([](RigRouter* r, void*) {
        EXPECT_EQ(r->seq.load() & 1, 1u);
        s_rig->run(128, 128);
    }, nullptr);
    size_t from = rig.frames();
    rigroute_publish_mix(rig.r, &b, kTag, 0.0f);
    rigroute_set_publish_hook(nullptr, nullptr);
    for (size_t i = from; i < rig.frames(); i++) {
        ASSERT_EQ(rig.left[i], 0.5f);
        ASSERT_EQ(rig.right[i], 0.25f);
    }
    EXPECT_EQ(rig.r->ramp[0].target_l, 1.0f);
    EXPECT_EQ(rig.r->ramp[1].target_r, 1.0f);

    // The next block takes the finished publication.
    rig.run(128, 128);
    EXPECT_EQ(rig.r->ramp[0].target_l, 0.0f);
    EXPECT_EQ(rig.r->ramp[0].target_r, 0.5f);
    EXPECT_EQ(rig.r->ramp[1].target_l, 0.5f);
    rig.run(1024, 128);
    EXPECT_EQ(rig.left.back(), 0.125f);
    EXPECT_EQ(rig.right.back(), 0.25f);
}

// ---------------------------------------------------------------------------
// Fallback
// ---------------------------------------------------------------------------

TEST(RouterFallback, AfterOneSecondOfSilenceTheDefaultMixRampsIn)
{
    const int block = 137;   // does not divide 48000: the switch lands inside a block
    Rig rig(2, true);
    rig.level = {0.5f, 0.25f};
    rig.run(60000, block);

    for (size_t i = 0; i < 48000; i++)
        ASSERT_EQ(rig.left[i], 0.0f) << i;
    EXPECT_GT(rig.left[48000], 0.0f);
    // Channel and master both ramp over 960 frames: the last frame is exact.
    EXPECT_LT(rig.left[48000 + 958], 0.5f);
    EXPECT_EQ(rig.left[48000 + 959], 0.5f);
    EXPECT_EQ(rig.right[48000 + 959], 0.25f);
    RigMeters mt;
    rigroute_take_meters(rig.r, &mt);
    EXPECT_EQ(mt.silent, 0);
    EXPECT_EQ(mt.fallback_in_use, 1);

    // A later publication ends the fallback; its ramp starts from the fallback gains.
    RigMix m = mix_of(2, 1.0f, {{0.0f, 0.0f}, {1.0f, 0.0f}});
    size_t from = rig.frames();
    rigroute_publish_mix(rig.r, &m, kTag, 0.2f);
    rig.run(2 * 48000, block);
    rigroute_take_meters(rig.r, &mt);
    EXPECT_EQ(mt.fallback_in_use, 0);
    EXPECT_EQ(mt.silent, 0);
    float step = 0.5f / 9600.0f;
    EXPECT_LE(largest_step(rig.left, from - 1, rig.frames()), step * 1.01f);
    EXPECT_EQ(first_frame_at(rig.left, from, 0.25f), 9599);
    EXPECT_EQ(rig.right.back(), 0.0f);
}

TEST(RouterFallback, OneSecondCountsFromTheMismatchedPublication)
{
    const int block = 137;
    Rig rig(2, true);
    rig.level = {0.5f, 0.25f};
    RigMix m = mix_of(2, 1.0f, {{0.25f, 0.0f}, {0.0f, 0.25f}});
    rigroute_publish_mix(rig.r, &m, kTag, 0.0f);
    rig.run(block * 20, block);
    EXPECT_EQ(rig.left.back(), 0.125f);

    // Each mismatched publication is taken at the start of the next block, from
    // where a fresh second of frames runs.
    rigroute_publish_mix(rig.r, &m, kTag + 1, 0.0f);
    rig.run(block * 219, block);
    size_t from = rig.frames();
    rigroute_publish_mix(rig.r, &m, kTag + 2, 0.0f);
    rig.run(60000, block);
    for (size_t i = block * 20 + 960; i < from + 48000; i++)
        ASSERT_EQ(rig.left[i], 0.0f) << i - from;
    EXPECT_GT(rig.left[from + 48000], 0.0f);
    EXPECT_EQ(first_frame_at(rig.left, from, 0.5f), 48000 + 959);
}

// ---------------------------------------------------------------------------
// Ramps
// ---------------------------------------------------------------------------

TEST(RouterRamps, RampTimesInFrames)
{
    struct Case { float seconds; long frames; };
    const Case cases[] = {{0.0f, 960}, {-1.0f, 960}, {std::numeric_limits<float>::quiet_NaN(), 960},
                          {0.02f, 960}, {0.1f, 4800}, {20.0f, 480000}};
    for (const Case& k : cases) {
        Rig rig(1, false);
        rig.level = {1.0f};
        settle(rig, mix_of(1, 1.0f, {{0.0f, 0.0f}}));
        size_t from = rig.frames();
        RigMix m = mix_of(1, 1.0f, {{0.75f, 0.75f}});
        rigroute_publish(rig.r, kTag, 0, 1.0f, k.seconds, &m);
        rig.run((int)k.frames + 256, 4096);
        // The target is reached exactly on the ramp's last frame, not before.
        EXPECT_EQ(first_frame_at(rig.left, from, 0.75f), k.frames - 1) << k.seconds;
        EXPECT_EQ(rig.left.back(), 0.75f);
    }
}

TEST(RouterRamps, NoStepLargerThanTheRampAllows)
{
    Rig rig(2, false);
    rig.level = {0.8f, 0.0f};
    settle(rig, mix_of(2, 1.0f, {{0.1f, 0.3f}}));
    size_t from = rig.frames() - 1;

    // 0.1 -> 0.9 over 960 frames, turned halfway back towards 0.2.
    RigMix up_mix = mix_of(2, 1.0f, {{0.9f, 0.3f}});
    rigroute_publish_mix(rig.r, &up_mix, kTag, 0.0f);
    rig.run(512, 128);
    float up = 0.8f * 0.8f / 960.0f;
    EXPECT_LE(largest_step(rig.left, from, rig.frames()), up * 1.001f);
    EXPECT_GT(largest_step(rig.left, from, rig.frames()), up * 0.999f);
    EXPECT_EQ(largest_step(rig.right, from, rig.frames()), 0.0f);

    size_t mid = rig.frames() - 1;
    float turn = rig.left.back() / 0.8f;
    RigMix down_mix = mix_of(2, 1.0f, {{0.2f, 0.3f}});
    rigroute_publish_mix(rig.r, &down_mix, kTag, 0.0f);
    rig.run(2048, 128);
    float down = 0.8f * (turn - 0.2f) / 960.0f;
    EXPECT_LE(largest_step(rig.left, mid, rig.frames()), down * 1.001f);
    EXPECT_EQ(first_frame_at(rig.left, mid + 1, 0.8f * 0.2f), 959);
    EXPECT_EQ(largest_step(rig.right, from, rig.frames()), 0.0f);
}

// ---------------------------------------------------------------------------
// Bad samples, clips and meters
// ---------------------------------------------------------------------------

namespace {

// Runs one block of interleaved input through a router playing `m`.
void one_block(RigRouter* r, const std::vector<float>& in, int channels, std::vector<float>* L,
               std::vector<float>* R)
{
    int n = (int)(in.size() / (size_t)channels);
    L->assign((size_t)n, 0.0f);
    R->assign((size_t)n, 0.0f);
    rigroute_process_block(r, in.data(), channels, L->data(), R->data(), n);
}

}  // namespace

TEST(RouterMeters, NonFiniteInputPlaysAsZeroAndIsCounted)
{
    const float bad[] = {std::numeric_limits<float>::quiet_NaN(),
                         std::numeric_limits<float>::signaling_NaN(),
                         std::numeric_limits<float>::infinity(),
                         -std::numeric_limits<float>::infinity()};
    for (float x : bad) {
        Rig rig(2, false);
        settle(rig, mix_of(2, 1.0f, {{1.0f, 1.0f}, {1.0f, 1.0f}}));
        RigMeters mt;
        rigroute_take_meters(rig.r, &mt);
        std::vector<float> in(2 * 16, 0.25f), L, R;
        in[2 * 5 + 1] = x;   // channel 1, frame 5
        one_block(rig.r, in, 2, &L, &R);
        EXPECT_EQ(L[5], 0.25f);
        EXPECT_EQ(R[5], 0.25f);
        EXPECT_EQ(L[4], 0.5f);
        rigroute_take_meters(rig.r, &mt);
        EXPECT_EQ(mt.bad_mask, 2u);
        EXPECT_EQ(mt.bad_samples, 1u);
        EXPECT_EQ(mt.input_peak[1], 0.25f);
    }
}

TEST(RouterMeters, NonFiniteGainsNeverReachTheBus)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    Rig rig(2, false);
    rig.level = {0.5f, 0.25f};

    // A mix's non-finite gains and master publish as 0.
    RigMix m = mix_of(2, nan, {{inf, 1.0f}, {1.0f, nan}});
    rigroute_publish_mix(rig.r, &m, kTag, 0.0f);
    rig.run(2048, 128);
    EXPECT_EQ(rig.left.back(), 0.0f);
    m.master = 1.0f;
    rigroute_publish_mix(rig.r, &m, kTag, 0.0f);
    rig.run(2048, 128);
    EXPECT_EQ(rig.left.back(), 0.25f);
    EXPECT_EQ(rig.right.back(), 0.5f);

    // A master that is not finite: every product becomes 0 and is counted.
    RigMeters mt;
    rigroute_take_meters(rig.r, &mt);
    uint64_t before = mt.bad_samples;
    rigroute_publish(rig.r, kTag, 0, inf, 0.0f, &m);
    rig.run(2048, 128);
    rigroute_take_meters(rig.r, &mt);
    EXPECT_EQ(rig.left.back(), 0.0f);
    EXPECT_GT(mt.bad_samples, before);
    EXPECT_EQ(mt.bad_mask, 0u);
    for (size_t i = 0; i < rig.frames(); i++)
        ASSERT_FALSE(std::isnan(rig.left[i]) || std::isinf(rig.left[i])) << i;
}

TEST(RouterMeters, ClipLatchesAtTheirThresholds)
{
    Rig rig(3, false);
    settle(rig, mix_of(3, 1.0f, {{0.5f, 0.0f}, {0.0f, 0.5f}, {0.0f, 0.0f}}));
    RigMeters mt;
    rigroute_take_meters(rig.r, &mt);

    // Channel 0 peaks at exactly 0.999, channel 1 just below, channel 2 (muted) above.
    std::vector<float> in(3 * 8, 0.0f), L, R;
    in[3 * 2 + 0] = -0.999f;
    in[3 * 3 + 1] = 0.998f;
    in[3 * 4 + 2] = 1.5f;
    one_block(rig.r, in, 3, &L, &R);
    rigroute_take_meters(rig.r, &mt);
    EXPECT_EQ(mt.clip_mask, 0b101u);
    EXPECT_EQ(mt.bus_clip, 0);
    EXPECT_EQ(mt.input_peak[0], 0.999f);
    EXPECT_EQ(mt.post_peak[0], 0.999f * 0.5f);
    EXPECT_EQ(mt.input_peak[2], 1.5f);
    EXPECT_EQ(mt.post_peak[2], 0.0f);
    EXPECT_EQ(mt.bus_peak_left, 0.999f * 0.5f);
    EXPECT_EQ(mt.bus_peak_right, 0.998f * 0.5f);

    // A bus sample of exactly 1.0 sets the bus clip; just below does not.
    in.assign(3 * 8, 0.0f);
    in[3 * 1 + 1] = 2.0f * 0.99999f;
    one_block(rig.r, in, 3, &L, &R);
    rigroute_take_meters(rig.r, &mt);
    EXPECT_EQ(mt.bus_clip, 0);
    in[3 * 1 + 1] = 2.0f;
    one_block(rig.r, in, 3, &L, &R);
    EXPECT_EQ(R[1], 1.0f);
    rigroute_take_meters(rig.r, &mt);
    EXPECT_EQ(mt.bus_clip, 1);
    EXPECT_EQ(mt.bus_peak_right, 1.0f);
}

TEST(RouterMeters, TakingReadsAndResetsPeaksButNotCounters)
{
    Rig rig(2, false);
    rig.level = {0.5f, 1.0f};
    settle(rig, mix_of(2, 1.0f, {{1.0f, 0.0f}, {0.0f, 0.25f}}));
    RigMeters a, b;
    rigroute_take_meters(rig.r, &a);
    EXPECT_EQ(a.input_peak[0], 0.5f);
    EXPECT_EQ(a.input_peak[1], 1.0f);
    EXPECT_EQ(a.post_peak[1], 0.25f);
    EXPECT_EQ(a.clip_mask, 2u);
    EXPECT_EQ(a.bus_peak_left, 0.5f);
    EXPECT_EQ(a.blocks, 16u);

    rigroute_take_meters(rig.r, &b);
    EXPECT_EQ(b.input_peak[0], 0.0f);
    EXPECT_EQ(b.post_peak[1], 0.0f);
    EXPECT_EQ(b.clip_mask, 0u);
    EXPECT_EQ(b.bus_peak_left, 0.0f);
    EXPECT_EQ(b.blocks, 16u);
    EXPECT_EQ(b.silent, 0);
    EXPECT_EQ(b.channels, 2);

    // Preparing a new stream leaves untaken meters alone.
    rig.run(128, 128);
    RigMix fb = default_mix(4);
    rigroute_prepare(rig.r, 44100.0, 4, kTag + 7, &fb);
    rigroute_take_meters(rig.r, &a);
    EXPECT_EQ(a.input_peak[1], 1.0f);
    EXPECT_EQ(a.channels, 4);
    EXPECT_EQ(a.stream_tag, kTag + 7);
    EXPECT_EQ(a.silent, 1);
}

// ---------------------------------------------------------------------------
// Inputs
// ---------------------------------------------------------------------------

TEST(RouterInputs, ChannelPointersMatchInterleavedInput)
{
    RigMix m = mix_of(3, 0.5f, {{1.0f, 0.0f}, {0.3f, 0.7f}, {0.0f, 1.0f}});
    RigRouter* a = rigroute_new();
    RigRouter* b = rigroute_new();
    rigroute_prepare(a, kRate, 3, kTag, nullptr);
    rigroute_prepare(b, kRate, 3, kTag, nullptr);
    rigroute_publish_mix(a, &m, kTag, 0.0f);
    rigroute_publish_mix(b, &m, kTag, 0.0f);
    const int n = 300;
    std::vector<float> chan[3], inter(3 * n), La(n), Ra(n), Lb(n), Rb(n);
    for (int c = 0; c < 3; c++) {
        chan[c].resize(n);
        for (int i = 0; i < n; i++)
            inter[(size_t)i * 3 + c] = chan[c][(size_t)i] = std::sin(0.01f * (float)(i * (c + 1)));
    }
    const float* ptrs[3] = {chan[0].data(), chan[1].data(), chan[2].data()};
    for (int k = 0; k < 8; k++) {
        rigroute_mix_block(a, ptrs, nullptr, 3, La.data(), Ra.data(), n);
        rigroute_mix_block(b, nullptr, inter.data(), 3, Lb.data(), Rb.data(), n);
        ASSERT_EQ(La, Lb);
        ASSERT_EQ(Ra, Rb);
    }
    rigroute_free(a);
    rigroute_free(b);
}

TEST(RouterInputs, WithoutARouterTheFirstChannelsGoStraightThrough)
{
    float L[3] = {9, 9, 9}, R[3] = {9, 9, 9};
    const float mono[3] = {0.1f, 0.2f, 0.3f};
    rigroute_process_block(nullptr, mono, 1, L, R, 3);
    EXPECT_EQ(L[2], 0.3f);
    EXPECT_EQ(R[2], 0.3f);
    const float quad[8] = {0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f, 0.7f, 0.8f};
    rigroute_process_block(nullptr, quad, 4, L, R, 2);
    EXPECT_EQ(L[1], 0.5f);
    EXPECT_EQ(R[1], 0.6f);
    rigroute_process_block(nullptr, nullptr, 0, L, R, 3);
    EXPECT_EQ(L[0], 0.0f);
    EXPECT_EQ(R[2], 0.0f);
    L[0] = 9;
    rigroute_process_block(nullptr, mono, 1, L, R, 0);
    EXPECT_EQ(L[0], 9.0f);
}
