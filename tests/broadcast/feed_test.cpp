// The output feed on its own: conversion to 48 kHz (frequency, level and seams), the
// rate tracker against a clock the test drives, and what bad input may not do. The
// station is marked on air without its thread; the test empties the ring itself.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "broadcast/tcstream.h"
#include "broadcast/tcstream_internal.h"

namespace {

const double kPi = 3.14159265358979323846;
const double kRate = TCSTREAM_RATE;   // the stream's rate, as a number

// Interleaved stereo: a sine of freq Hz at rate, left at amp, right at amp / 2.
std::vector<float> sine(int64_t frames, double rate, double freq, double amp)
{
    std::vector<float> v((size_t)frames * 2);
    for (int64_t n = 0; n < frames; n++) {
        double x = amp * std::sin(2.0 * kPi * freq * (double)n / rate);
        v[2 * n] = (float)x;
        v[2 * n + 1] = (float)(x / 2.0);
    }
    return v;
}

// The level of freq Hz in channel ch of 48 kHz frames first..first+count-1 (Goertzel).
double goertzel_level(const std::vector<float>& v, int64_t first, int64_t count, int ch, double freq)
{
    double w = 2.0 * kPi * freq / kRate;
    double c = 2.0 * std::cos(w), s1 = 0.0, s2 = 0.0;
    for (int64_t n = 0; n < count; n++) {
        double s0 = v[(size_t)(2 * (first + n) + ch)] + c * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    double power = s1 * s1 + s2 * s2 - c * s1 * s2;
    return 2.0 * std::sqrt(power) / (double)count;
}

class FeedTest : public ::testing::Test {
protected:
    std::unique_ptr<Station> station = std::make_unique<Station>();
    Station* s = station.get();
    int64_t now_ns = 1000;   // the station clock the tracker is shown

    void SetUp() override
    {
        ASSERT_EQ(tcstream_init(s, "tessel", "Tessel", "output", "out", 0, ""), 0);
        s->running.store(1);
    }
    void TearDown() override
    {
        s->running.store(0);
        tcstream_shutdown(s);
    }

    // A new station, on air, its clock back at the start.
    void fresh()
    {
        TearDown();
        station = std::make_unique<Station>();
        s = station.get();
        now_ns = 1000;
        SetUp();
    }
    // Feeds in (interleaved) in blocks cycling through sizes, as a device whose clock
    // delivers true_rate frames per second while it calls itself nominal.
    void feed(const std::vector<float>& in, const std::vector<int>& sizes, double nominal, double true_rate)
    {
        int64_t frames = (int64_t)in.size() / 2, at = 0;
        double clock = (double)now_ns;
        for (size_t k = 0; at < frames; k++) {
            int n = sizes[k % sizes.size()];
            if (n > frames - at)
                n = (int)(frames - at);
            clock += n * 1e9 / true_rate;
            now_ns = (int64_t)clock;
            tcstream_feed_at(s, in.data() + 2 * at, n, nominal, now_ns);
            at += n;
        }
    }
    // Everything written since the last take, as a station thread that keeps up.
    std::vector<float> take()
    {
        int64_t c = s->consumed.load(), w = s->written.load();
        std::vector<float> v;
        for (int64_t f = c; f < w; f++) {
            v.push_back(s->ring[2 * (f % TCSTREAM_RING_FRAMES)]);
            v.push_back(s->ring[2 * (f % TCSTREAM_RING_FRAMES) + 1]);
        }
        s->consumed.store(w);
        return v;
    }
    // Feeds and takes, in passes short enough for the ring.
    std::vector<float> convert(const std::vector<float>& in, const std::vector<int>& sizes, double rate)
    {
        std::vector<float> out;
        size_t pass = (size_t)rate;   // a second of input each time
        pass -= pass % 2;
        for (size_t at = 0; at < in.size(); at += 2 * pass) {
            size_t end = std::min(in.size(), at + 2 * pass);
            feed(std::vector<float>(in.begin() + (long)at, in.begin() + (long)end), sizes, rate, rate);
            std::vector<float> got = take();
            out.insert(out.end(), got.begin(), got.end());
        }
        return out;
    }
};

struct RateCase {
    double rate;
    std::vector<int> sizes;
};

// A 1 kHz sine at the device's rate arrives as a 1 kHz sine at 48 kHz with its
// level, and every output frame lies on the sine, the frames at block seams included:
// a seam made by holding the block's last frame would miss it by far more than the
// interpolation does. Blocks big enough at 22.05 kHz to need more than the scratch
// buffer are converted whole.
TEST_F(FeedTest, SineArrivesAt48kWithItsFrequencyLevelAndSmoothSeams)
{
    const RateCase cases[] = {{44100.0, {128, 1, 333, 4096, 7}}, {96000.0, {256, 1, 999, 4096}},
                              {22050.0, {4096, 4095, 64}}};
    for (const RateCase& rc : cases) {
        SCOPED_TRACE(rc.rate);
        fresh();
        const int64_t in_frames = (int64_t)rc.rate * 3;
        std::vector<float> out = convert(sine(in_frames, rc.rate, 1000.0, 0.5), rc.sizes, rc.rate);
        int64_t out_frames = (int64_t)out.size() / 2;
        EXPECT_NEAR((double)out_frames, (double)in_frames * kRate / rc.rate, 2.0);
        ASSERT_GE(out_frames, 2 * TCSTREAM_RATE);

        // One second holds whole cycles: a sine 1 Hz off would read near 0 here.
        EXPECT_NEAR(goertzel_level(out, TCSTREAM_RATE, TCSTREAM_RATE, 0, 1000.0), 0.5, 0.005);
        EXPECT_NEAR(goertzel_level(out, TCSTREAM_RATE, TCSTREAM_RATE, 1, 1000.0), 0.25, 0.003);
        EXPECT_LT(goertzel_level(out, TCSTREAM_RATE, TCSTREAM_RATE, 0, 1000.0 * kRate / rc.rate), 0.01);

        // Linear interpolation of this sine errs by at most A (wT)^2 / 8.
        double wt = 2.0 * kPi * 1000.0 / rc.rate;
        double bound = 0.5 * wt * wt / 8.0 + 1e-4;
        double worst = 0.0;
        int64_t worst_at = 0;
        for (int64_t k = 0; k < out_frames - 1; k++) {
            double ideal = 0.5 * std::sin(2.0 * kPi * 1000.0 * (double)k / kRate);
            double err = std::fabs(out[(size_t)(2 * k)] - ideal);
            if (err > worst) {
                worst = err;
                worst_at = k;
            }
        }
        EXPECT_LT(worst, bound) << "output frame " << worst_at;
        // The position stays within a frame of the block it belongs to.
        EXPECT_GE(s->phase, -1.0);
        EXPECT_LT(s->phase, rc.rate / kRate);
    }
}

// 48 kHz, and a rate within a frame a second of it, go through sample for sample.
TEST_F(FeedTest, FortyEightKilohertzGoesThroughUnchanged)
{
    std::vector<float> in = sine(4800, 48000.0, 997.0, 0.7);
    feed(in, {480, 17}, 48000.0, 48000.5);
    EXPECT_EQ(take(), in);
    feed(in, {480}, 48000.5, 48000.5);
    EXPECT_EQ(take(), in);
}

// A device that calls itself 48 kHz but delivers 44,150 frames a second: the nominal
// rate is used until two 2 s windows agree, then exactly 44.1 kHz. A stall of the
// stream resets the windows but keeps the lock.
TEST_F(FeedTest, TrackerSnapsAMeasuredRateOnceTwoWindowsAgree)
{
    std::vector<float> sec = sine(44150, 44150.0, 440.0, 0.5);
    // The first window closes just after 2 s, the second just after 4 s.
    for (int k = 0; k < 4; k++) {
        feed(sec, {256}, 48000.0, 44150.0);
        EXPECT_EQ(take().size(), 44150u * 2) << "passed through at the nominal rate";
    }
    EXPECT_EQ(s->windows, 1u);
    EXPECT_EQ(s->locked_rate, 0.0f);
    feed(sec, {256}, 48000.0, 44150.0);
    EXPECT_EQ(s->windows, 2u);
    EXPECT_EQ(s->locked_rate, 44100.0f);
    take();
    feed(sec, {256}, 48000.0, 44150.0);
    EXPECT_NEAR((double)take().size() / 2, 44150.0 * 48000.0 / 44100.0, 2.0);

    // Five minutes with one block in them measure a stall.
    now_ns += 300000000000;
    feed(sine(256, 44150.0, 440.0, 0.5), {256}, 48000.0, 44150.0);
    feed(sec, {256}, 48000.0, 44150.0);
    EXPECT_EQ(s->windows, 0u);
    EXPECT_EQ(s->prev_window_rate, 0.0);
    EXPECT_EQ(s->locked_rate, 44100.0f);
}

// A clock that drifts slowly (0.6 % over 40 s, off every standard rate) is followed
// window by window: the locked rate stays within a window's drift of the true rate,
// so the 48 kHz stream keeps to 48,000 frames a second instead of wandering off.
TEST_F(FeedTest, TrackerFollowsASlowlyDriftingClock)
{
    double rate = 50000.0;
    int64_t out_frames = 0;
    double out_seconds = 0.0;
    for (int sec = 0; sec < 40; sec++) {
        int frames = (int)rate;
        feed(sine(frames, rate, 440.0, 0.5), {512}, 50000.0, rate);
        int64_t got = (int64_t)take().size() / 2;
        if (sec >= 8) {
            ASSERT_GT(s->locked_rate, 0.0f);
            EXPECT_NEAR(s->locked_rate / rate, 1.0, 0.0004) << "second " << sec;
            out_frames += got;
            out_seconds += frames / rate;
        }
        rate *= 1.00015;
    }
    EXPECT_NEAR((double)out_frames / out_seconds, 48000.0, 48000.0 * 0.0004);
}

// A new nominal rate is a new device: the rate locked on the old one is dropped at
// once instead of playing the new device at the old speed for 4 s.
TEST_F(FeedTest, ChangeOfNominalRateDropsTheLockedRate)
{
    std::vector<float> sec48 = sine(48000, 48000.0, 440.0, 0.5);
    for (int k = 0; k < 5; k++)
        feed(sec48, {480}, 48000.0, 48000.0);
    ASSERT_EQ(s->locked_rate, 48000.0f);
    take();
    feed(sine(44100, 44100.0, 1000.0, 0.5), {441}, 44100.0, 44100.0);
    std::vector<float> out = take();
    EXPECT_EQ(s->locked_rate, 0.0f);
    EXPECT_NEAR((double)out.size() / 2, 48000.0, 2.0);
    EXPECT_NEAR(goertzel_level(out, 0, 24000, 0, 1000.0), 0.5, 0.01);
}

// NaN and infinite samples reach the ring as silence and do not spread to the next
// block through the frame kept for its seam; a rate that is no number is unknown.
TEST_F(FeedTest, NonFiniteSamplesAndRatesDoNoHarm)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    for (double rate : {48000.0, 44100.0}) {
        SCOPED_TRACE(rate);
        std::vector<float> in = sine(441, rate, 1000.0, 0.5);
        in[20] = nan;
        in[41] = -inf;
        in[2 * 440] = nan;
        feed(in, {441}, rate, rate);
        feed(sine(441, rate, 1000.0, 0.5), {441}, rate, rate);
        std::vector<float> out = take();
        ASSERT_FALSE(out.empty());
        for (size_t i = 0; i < out.size(); i++)
            ASSERT_TRUE(std::isfinite(out[i])) << "sample " << i;
        EXPECT_TRUE(std::isfinite(s->last_l) && std::isfinite(s->last_r));
    }
    std::vector<float> in = sine(300, 48000.0, 1000.0, 0.5);
    feed(in, {300}, std::numeric_limits<double>::quiet_NaN(), 48000.0);
    EXPECT_EQ(take(), in);
}

// A converted block the ring cannot take is dropped whole and raises the overflow flag;
// the position moves on, so the stream resumes on the sine once there is room.
TEST_F(FeedTest, ConvertedBlockThatDoesNotFitIsDroppedWhole)
{
    std::vector<float> in = sine(4410, 44100.0, 1000.0, 0.5);
    s->consumed.store(s->written.load() - TCSTREAM_RING_FRAMES + 100);
    int64_t before = s->written.load();
    feed(in, {441}, 44100.0, 44100.0);
    EXPECT_EQ(s->written.load(), before);
    EXPECT_EQ(s->overflow.load(), 1);
    EXPECT_GE(s->phase, -1.0);
    EXPECT_LT(s->phase, 0.0);
}

}  // namespace
