// Fader curve, gain steps, pan and balance laws and the scene mix: the breakpoints
// and their edges, unity and the +12 dB top, linked pairs, values that must never
// reach the router (NaN, infinities, negatives), and the default mix of a device as
// the scene mix of its default inputs.
#include "rig/rigmix.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <random>

namespace {

const float kSqrt2 = 1.4142135f;

float db_of(float gain) { return rig_gain_to_db(gain); }

// ---- Fader curve -------------------------------------------------------------------

TEST(FaderCurve, BreakpointsMapExactly)
{
    EXPECT_EQ(rig_fader_to_gain(0.75f), 1.0f);
    EXPECT_EQ(rig_fader_to_gain(1.0f), 3.9810717f);
    EXPECT_EQ(rig_fader_to_gain(0.5f), rig_db_to_gain(-12.0f));
    EXPECT_EQ(rig_fader_to_gain(0.25f), rig_db_to_gain(-30.0f));
    EXPECT_EQ(rig_fader_to_gain(0.02f), rig_db_to_gain(-72.0f));
    EXPECT_EQ(rig_fader_to_gain(0.019f), 0.0f);
    EXPECT_EQ(rig_fader_to_gain(std::nextafter(0.02f, 0.0f)), 0.0f);
    EXPECT_EQ(rig_fader_to_gain(NAN), 0.0f);
    EXPECT_EQ(rig_fader_to_gain(INFINITY), RIG_GAIN_MAX);
    // Linear in dB between breakpoints.
    EXPECT_EQ(rig_fader_to_gain(0.625f), rig_db_to_gain(-6.0f));
    EXPECT_NEAR(db_of(rig_fader_to_gain(0.875f)), 6.0f, 1e-4f);
    EXPECT_NEAR(db_of(rig_fader_to_gain(0.135f)), -51.0f, 1e-3f);

    EXPECT_EQ(rig_db_to_fader(-72.0f), 0.02f);
    EXPECT_EQ(rig_db_to_fader(-72.5f), 0.0f);
    EXPECT_EQ(rig_db_to_fader(-12.0f), 0.5f);
    EXPECT_EQ(rig_db_to_fader(0.0f), 0.75f);
    EXPECT_EQ(rig_db_to_fader(12.0f), 1.0f);
    EXPECT_EQ(rig_db_to_fader(NAN), 0.0f);
    EXPECT_EQ(rig_db_to_fader(-INFINITY), 0.0f);
    EXPECT_EQ(rig_db_to_fader(-6.0f), 0.625f);

    EXPECT_EQ(rig_db_to_gain(-144.0f), 0.0f);
    EXPECT_GT(rig_db_to_gain(-143.9f), 0.0f);
    EXPECT_EQ(rig_db_to_gain(NAN), 0.0f);
    EXPECT_EQ(rig_gain_to_db(-2.0f), -INFINITY);
    EXPECT_EQ(rig_gain_to_db(NAN), -INFINITY);
}

TEST(FaderCurve, PositionsRoundTripAndGainRisesMonotonically)
{
    float last = 0.0f;
    for (int k = 0; k <= 1000; k++) {
        float p = 0.02f + (1.0f - 0.02f) * (float)k / 1000.0f;
        float g = rig_fader_to_gain(p);
        ASSERT_GT(g, last) << p;
        ASSERT_LE(g, RIG_GAIN_MAX);
        EXPECT_NEAR(rig_gain_to_fader(g), p, 2e-6f) << p;
        last = g;
    }
    EXPECT_EQ(rig_gain_to_fader(-1.0f), 0.0f);
    EXPECT_EQ(rig_gain_to_fader(NAN), 0.0f);
    EXPECT_EQ(rig_gain_to_fader(100.0f), 1.0f);
}

TEST(FaderCurve, GainStepsStopAtUnityAndTheEnds)
{
    // Crossing 0 dB in either direction lands on exactly unity.
    EXPECT_EQ(rig_gain_nudge(rig_db_to_gain(-0.5f), 1.0f), 1.0f);
    EXPECT_EQ(rig_gain_nudge(rig_db_to_gain(0.5f), -1.0f), 1.0f);
    // From unity a step moves on.
    EXPECT_NEAR(db_of(rig_gain_nudge(1.0f, -1.0f)), -1.0f, 1e-5f);
    EXPECT_NEAR(db_of(rig_gain_nudge(rig_db_to_gain(-10.0f), -3.0f)), -13.0f, 1e-4f);
    // Silence steps up to the bottom of the fader, and no further down.
    EXPECT_EQ(rig_gain_nudge(0.0f, 1.0f), rig_db_to_gain(-72.0f));
    EXPECT_EQ(rig_gain_nudge(0.0f, -1.0f), 0.0f);
    EXPECT_EQ(rig_gain_nudge(NAN, 1.0f), rig_db_to_gain(-72.0f));
    // Just below the bottom snaps to it; further below is silence.
    EXPECT_EQ(rig_gain_nudge(rig_db_to_gain(-71.0005f), -1.0f), rig_db_to_gain(-72.0f));
    EXPECT_EQ(rig_gain_nudge(rig_db_to_gain(-71.5f), -1.0f), 0.0f);
    // The top is +12 dB; a gain above it steps from the top.
    EXPECT_EQ(rig_gain_nudge(rig_db_to_gain(11.5f), 1.0f), RIG_GAIN_MAX);
    EXPECT_NEAR(db_of(rig_gain_nudge(50.0f, -1.0f)), 11.0f, 1e-4f);
    // No step, or a step that is no number, changes nothing.
    EXPECT_EQ(rig_gain_nudge(0.3f, 0.0f), 0.3f);
    EXPECT_EQ(rig_gain_nudge(0.3f, NAN), 0.3f);
}

// ---- Pan and balance ---------------------------------------------------------------

RigMix mix_one(RigMixInput in, int count = 1, float master = 1.0f)
{
    RigMixInput inputs[RIG_MAX_INPUTS] = {};
    inputs[0] = in;
    RigMix m;
    rig_scene_mix(inputs, count, master, &m);
    return m;
}

TEST(PanLaw, SingleInputsGetUnityAtTheCentreAndThreeDecibelsAtTheSides)
{
    const float g = 0.5f;
    struct Case {
        float pan, left, right;
    } cases[] = {
        {0.0f, g, g}, {-0.0f, g, g}, {NAN, g, g}, {-1.0f, kSqrt2 * g, 0.0f}, {-7.0f, kSqrt2 * g, 0.0f},
        {-INFINITY, kSqrt2 * g, 0.0f}, {1.0f, 0.0f, kSqrt2 * g}, {3.0f, 0.0f, kSqrt2 * g},
    };
    for (const Case& c : cases) {
        RigMix m = mix_one({g, c.pan, 0, 0, 1});
        EXPECT_EQ(m.left[0], c.left) << c.pan;
        EXPECT_EQ(m.right[0], c.right) << c.pan;
    }
    RigMix m = mix_one({1.0f, 0.5f, 0, 0, 1});
    EXPECT_FLOAT_EQ(m.left[0], 0.5411961f);
    EXPECT_FLOAT_EQ(m.right[0], 1.3065630f);
    // Between the ends the law keeps the power of the centre and mirrors itself.
    for (float p = -0.99f; p < 1.0f; p += 0.01f) {
        RigMix a = mix_one({1.0f, p, 0, 0, 1}), b = mix_one({1.0f, -p, 0, 0, 1});
        EXPECT_NEAR(a.left[0] * a.left[0] + a.right[0] * a.right[0], 2.0f, 1e-5f) << p;
        EXPECT_NEAR(a.left[0], b.right[0], 1e-6f) << p;
    }
    EXPECT_EQ(rig_pan_gain(3.0), 0.0f);
    EXPECT_EQ(rig_pan_gain(NAN), 0.0f);
}

// A linked pair at input 0 with the given balance; the odd input's own settings are
// set to something else to show they are not used.
RigMix pair(float gain, float pan, int count = 2)
{
    RigMixInput inputs[RIG_MAX_INPUTS] = {};
    inputs[0] = {gain, pan, 0, 1, 1};
    inputs[1] = {3.0f, 1.0f, 1, 0, 1};
    RigMix m;
    rig_scene_mix(inputs, count, 1.0f, &m);
    return m;
}

TEST(PanLaw, LinkedPairsBalanceWithoutCrossingOrGrowing)
{
    const float g = 0.8f;
    RigMix m = pair(g, 0.0f);
    EXPECT_EQ(m.left[0], g);
    EXPECT_EQ(m.right[0], 0.0f);
    EXPECT_EQ(m.left[1], 0.0f);
    EXPECT_EQ(m.right[1], g);

    m = pair(g, -0.5f);
    EXPECT_EQ(m.left[0], g);
    EXPECT_LT(m.right[1], g);
    EXPECT_FLOAT_EQ(m.right[1], 0.5411961f * g);

    struct Case {
        float pan, left, right;
    } ends[] = {{-1.0f, g, 0.0f}, {-4.0f, g, 0.0f}, {1.0f, 0.0f, g}, {9.0f, 0.0f, g}, {NAN, g, g}};
    for (const Case& c : ends) {
        m = pair(g, c.pan);
        EXPECT_EQ(m.left[0], c.left) << c.pan;
        EXPECT_EQ(m.right[1], c.right) << c.pan;
    }

    // The pair's gain and mute drive both channels.
    RigMixInput inputs[RIG_MAX_INPUTS] = {};
    inputs[0] = {1.0f, 0.0f, 1, 1, 1};
    inputs[1] = {1.0f, 0.0f, 0, 0, 1};
    rig_scene_mix(inputs, 2, 1.0f, &m);
    EXPECT_EQ(m.left[1] + m.right[1] + m.left[0] + m.right[0], 0.0f);

    // A link at the last input has no partner: a single input. A link on an odd input
    // means nothing.
    m = pair(g, -1.0f, 1);
    EXPECT_EQ(m.left[0], kSqrt2 * g);
    inputs[0] = {1.0f, 0.0f, 0, 0, 1};
    inputs[1] = {1.0f, 0.0f, 0, 1, 1};
    inputs[2] = {1.0f, 0.0f, 0, 0, 1};
    rig_scene_mix(inputs, 3, 1.0f, &m);
    EXPECT_EQ(m.left[1], 1.0f);
    EXPECT_EQ(m.right[1], 1.0f);
    EXPECT_EQ(m.left[2], 1.0f);
}

// ---- Scene mix ---------------------------------------------------------------------

TEST(SceneMix, ValuesThatCannotBePlayedBecomeSilenceNeverNaN)
{
    struct Case {
        float gain;
        uint8_t muted, present;
        float want;
    } cases[] = {
        {NAN, 0, 1, 0.0f},  {INFINITY, 0, 1, 0.0f}, {-INFINITY, 0, 1, 0.0f}, {-0.5f, 0, 1, 0.0f},
        {-0.0f, 0, 1, 0.0f}, {1.0f, 1, 1, 0.0f},    {1.0f, 0, 0, 0.0f},       {9.0f, 0, 1, RIG_GAIN_MAX},
    };
    for (const Case& c : cases) {
        RigMix m = mix_one({c.gain, 0.0f, c.muted, 0, c.present});
        EXPECT_EQ(m.left[0], c.want) << c.gain;
        EXPECT_EQ(m.right[0], c.want) << c.gain;
        EXPECT_FALSE(std::signbit(m.left[0])) << c.gain;
    }
    for (float master : {NAN, -1.0f, -0.0f, INFINITY, -INFINITY}) {
        RigMix m = mix_one({1.0f, 0.0f, 0, 0, 1}, 1, master);
        EXPECT_EQ(m.master, 0.0f) << master;
        EXPECT_FALSE(std::signbit(m.master)) << master;
    }
    EXPECT_EQ(mix_one({1.0f, 0.0f, 0, 0, 1}, 1, 20.0f).master, RIG_GAIN_MAX);

    // Any scene at all gives finite gains within the limits, and nothing past the count.
    std::mt19937 rng(11);
    const float odd[] = {NAN, INFINITY, -INFINITY, -1.0f, 0.0f, 1e30f, -1e-30f, 2.0f};
    auto any = [&](float lo, float hi) {
        if (rng() % 4 == 0)
            return odd[rng() % 8];
        return lo + (hi - lo) * (float)(rng() % 10000) / 10000.0f;
    };
    for (int round = 0; round < 500; round++) {
        RigMixInput inputs[RIG_MAX_INPUTS];
        for (RigMixInput& in : inputs)
            in = {any(0.0f, 4.0f), any(-1.5f, 1.5f), (uint8_t)(rng() % 2), (uint8_t)(rng() % 2), (uint8_t)(rng() % 4 != 0)};
        int count = (int)(rng() % 70) - 3;
        RigMix m;
        std::memset(&m, 0x7F, sizeof m);
        rig_scene_mix(inputs, count, any(0.0f, 4.0f), &m);
        ASSERT_EQ(m.channels, count < 0 ? 0 : count > 64 ? 64 : count);
        ASSERT_TRUE(std::isfinite(m.master) && m.master >= 0.0f && m.master <= RIG_GAIN_MAX);
        for (int i = 0; i < RIG_MAX_INPUTS; i++) {
            for (float v : {m.left[i], m.right[i]}) {
                ASSERT_TRUE(std::isfinite(v) && v >= 0.0f && v <= kSqrt2 * RIG_GAIN_MAX) << round << " " << i;
                if (i >= m.channels) {
                    ASSERT_EQ(v, 0.0f);
                }
            }
        }
    }
    rig_scene_mix(nullptr, 4, 1.0f, nullptr);
}

TEST(SceneMix, SceneInputsPastTheDeviceOrTheSceneAreSilent)
{
    std::unique_ptr<RigDocument, void (*)(RigDocument*)> d(rig_doc_new(), rig_doc_free);
    rig_doc_init_for_device(d.get(), "wasapi:Mic", "wasapi", "Mic", 3, nullptr, "", 0.0);
    RigScene* s = &d->scenes[0];
    s->inputs[2].muted = 0;
    s->inputs[2].pan = -1.0f;
    s->master_gain = 0.5f;
    RigMix m;
    rig_scene_to_mix(s, 6, &m);
    EXPECT_EQ(m.channels, 6);
    EXPECT_EQ(m.master, 0.5f);
    EXPECT_EQ(m.left[0], 1.0f);
    EXPECT_EQ(m.right[1], 1.0f);
    EXPECT_EQ(m.left[2], kSqrt2);
    EXPECT_EQ(m.left[3] + m.right[3] + m.left[5] + m.right[5], 0.0f);
    // One channel open: the pair has no partner and plays as a single input.
    rig_scene_to_mix(s, 1, &m);
    EXPECT_EQ(m.channels, 1);
    EXPECT_EQ(m.left[0], 1.0f);
    EXPECT_EQ(m.right[0], 1.0f);
    rig_scene_to_mix(nullptr, 2, &m);
    EXPECT_EQ(m.channels, 2);
    EXPECT_EQ(m.master, 0.0f);
    EXPECT_EQ(m.left[0], 0.0f);
}

TEST(SceneMix, EqualityComparesGainsBelowTheCountAndMasters)
{
    RigMix a, b;
    rig_default_input_mix("wasapi", 4, &a);
    rig_default_input_mix("wasapi", 4, &b);
    EXPECT_TRUE(rig_mix_equal(&a, &b));
    b.left[10] = 5.0f;   // past the count
    EXPECT_TRUE(rig_mix_equal(&a, &b));
    b.right[3] = 0.5f;
    EXPECT_FALSE(rig_mix_equal(&a, &b));
    rig_default_input_mix("wasapi", 4, &b);
    a.master = b.master = NAN;
    EXPECT_FALSE(rig_mix_equal(&a, &b));
    EXPECT_TRUE(rig_mix_equal(&a, &a));
    EXPECT_FALSE(rig_mix_equal(&a, nullptr));
    EXPECT_FALSE(rig_mix_equal(nullptr, &a));
}

TEST(SceneMix, DefaultMixOfADeviceIsTheSceneMixOfItsDefaultInputs)
{
    const char* apis[] = {"asio", "wasapi", "ASIO", "jack", "alsa", nullptr};
    for (const char* api : apis) {
        for (int n = -3; n <= 70; n++) {
            RigMixInput inputs[RIG_MAX_INPUTS] = {};
            for (int i = 0; i < RIG_MAX_INPUTS; i++)
                inputs[i] = {1.0f, 0.0f, (uint8_t)(i >= 2), 0, 1};
            bool separate = api && (std::strcmp(api, "asio") == 0 || std::strcmp(api, "jack") == 0);
            inputs[0].link = n >= 2 && !separate;
            RigMix want, got;
            rig_scene_mix(inputs, n, 1.0f, &want);
            std::memset(&got, 0x55, sizeof got);
            rig_default_input_mix(api, n, &got);
            ASSERT_TRUE(rig_mix_equal(&got, &want)) << (api ? api : "null") << " " << n;
            // Past the count too, every entry is the same.
            ASSERT_EQ(std::memcmp(got.left, want.left, sizeof got.left), 0) << n;
            ASSERT_EQ(std::memcmp(got.right, want.right, sizeof got.right), 0) << n;
        }
    }
}

}  // namespace
