// router_jack_test.cpp - the router in the real engine on a JACK dummy server with four
// inputs, each fed a different tone: a published mix decides what reaches the output.
// Run through tools/with-jack.sh (ctest does); TESSEL_JACK_TONE names the tone client.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "audio/engine.h"
#include "platform/plat_time.h"
#include "rig/router.h"
#include "support/test_wait.h"
#include "support/wav_capture.h"

namespace {

const double kRate = 48000.0;
const double kTones[4] = {300.0, 500.0, 700.0, 1100.0};   // in_0 .. in_3
const float kAmplitude = 0.25f;

bool have_command(const char* name)
{
    std::string cmd = std::string("command -v ") + name + " >/dev/null 2>&1";
    return std::system(cmd.c_str()) == 0;
}


// Reads jack_rec's capture (16-bit stereo WAV) into one float vector per side.
// Amplitude of one frequency in count samples from `from` (Goertzel).
double goertzel(const std::vector<float>& x, size_t from, size_t count, double freq)
{
    double w = 2.0 * M_PI * freq / kRate, coeff = 2.0 * std::cos(w);
    double s1 = 0.0, s2 = 0.0;
    for (size_t i = from; i < from + count; i++) {
        double s0 = x[i] + coeff * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    double power = s1 * s1 + s2 * s2 - coeff * s1 * s2;
    return 2.0 * std::sqrt(std::fmax(power, 0.0)) / (double)count;
}

// The amplitude of a frequency over 50 ms windows (every tone fits a whole number of
// cycles in one), at a share of them from the quietest: a server under load drops or
// repeats periods, which breaks the windows they fall in, and on a busy machine that
// can be most of them. A tone that is there reads whole in the unbroken windows (share
// 0.9); one that is not stays out of them (share 0.1).
double tone_amplitude(const std::vector<float>& x, double freq, double share)
{
    const size_t window = 2400;
    std::vector<double> a;
    for (size_t from = window; from + window <= x.size(); from += window)
        a.push_back(goertzel(x, from, window, freq));
    if (a.empty())
        return 0.0;
    size_t at = std::min(a.size() - 1, (size_t)(share * (double)a.size()));
    std::nth_element(a.begin(), a.begin() + (long)at, a.end());
    return a[at];
}

// Polls the router's meters until every input shows a signal.
bool wait_for_inputs(RigRouter* r, int channels, double seconds)
{
    double end = plat_time_seconds() + std::max(seconds, (double)TEST_WAIT_SECONDS);
    float peak[RIG_MAX_INPUTS] = {};
    while (plat_time_seconds() < end) {
        RigMeters mt;
        rigroute_take_meters(r, &mt);
        int lit = 0;
        for (int c = 0; c < channels; c++) {
            peak[c] = std::fmax(peak[c], mt.input_peak[c]);
            lit += peak[c] > 0.0f;
        }
        if (lit == channels)
            return true;
        plat_sleep_ms(20);
    }
    return false;
}

}  // namespace

TEST(RouterJack, PublishedMixSendsOneInputToTheLeftOnly)
{
    if (!have_command("jackd") || !have_command("jack_rec"))
        GTEST_SKIP() << "JACK tools (jackd, jack_rec) are not installed";
    const char* server = std::getenv("JACK_DEFAULT_SERVER");
    const char* tone = std::getenv("TESSEL_JACK_TONE");
    ASSERT_TRUE(server && *server) << "run through tools/with-jack.sh -C 4";
    ASSERT_TRUE(tone && *tone) << "TESSEL_JACK_TONE must name the tone client";

    Engine* e = engine_instance();
    ASSERT_TRUE(engine_init(e)) << e->error_text;
    RigRouter* r = rigroute_new();
    ASSERT_NE(r, nullptr);
    e->router = r;
    ASSERT_TRUE(engine_start(e)) << e->error_text;
    ASSERT_STREQ(e->opened_device.api, "jack");
    ASSERT_EQ(e->input_channels, 4);

    // Four tones, one per input, playing on their own for longer than the test needs.
    char cmd[1024];
    std::snprintf(cmd, sizeof cmd,
                  "'%s' 12 %g %g:PortAudio:in_0 %g:PortAudio:in_1 %g:PortAudio:in_2 %g:PortAudio:in_3 &",
                  tone, kAmplitude, kTones[0], kTones[1], kTones[2], kTones[3]);
    ASSERT_EQ(std::system(cmd), 0);
    ASSERT_TRUE(wait_for_inputs(r, 4, 10.0)) << "the tones never reached the engine";

    // The second input alone, panned hard left.
    RigMix m;
    std::memset(&m, 0, sizeof m);
    m.channels = 4;
    m.master = 1.0f;
    m.left[1] = 1.0f;
    rigroute_publish_mix(r, &m, rig_fnv1a32(e->opened_device.key), 0.0f);
    // Applied once a stretch of blocks passes the second input alone.
    RigMeters mt;
    auto routed = [&] {
        rigroute_take_meters(r, &mt);
        return mt.blocks > 0 && mt.post_peak[1] > 0.0f && mt.post_peak[0] == 0.0f && mt.post_peak[2] == 0.0f &&
               mt.post_peak[3] == 0.0f;
    };
    ASSERT_TRUE(test_wait_until(routed, [] {}, 20)) << "the published mix never took over";

    std::string wav = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") + "/" + server + "-router.wav";
    std::snprintf(cmd, sizeof cmd, "jack_rec -f '%s' -d 2 PortAudio:out_0 PortAudio:out_1 >/dev/null 2>&1",
                  wav.c_str());
    int rec = std::system(cmd);
    rigroute_take_meters(r, &mt);
    engine_shutdown(e);
    rigroute_free(r);
    ASSERT_EQ(rec, 0) << "jack_rec failed";

    std::vector<float> L, R;
    bool read = wav_capture_read_stereo(wav, &L, &R);
    std::remove(wav.c_str());
    ASSERT_TRUE(read) << "could not read the capture " << wav;
    ASSERT_GE(L.size(), (size_t)kRate);

    EXPECT_NEAR(tone_amplitude(L, kTones[1], 0.9), kAmplitude, 0.01);
    for (int t : {0, 2, 3})
        EXPECT_LT(tone_amplitude(L, kTones[t], 0.1), 0.002) << kTones[t] << " Hz on the left";
    float right_peak = 0.0f;
    for (float v : R)
        right_peak = std::fmax(right_peak, std::fabs(v));
    EXPECT_LT(right_peak, 1e-4f) << "the right side is not silent";

    // Every input arrives, only the routed one passes its gains.
    for (int c = 0; c < 4; c++)
        EXPECT_NEAR(mt.input_peak[c], kAmplitude, 0.01) << "input " << c;
    EXPECT_NEAR(mt.post_peak[1], kAmplitude, 0.01);
    for (int c : {0, 2, 3})
        EXPECT_EQ(mt.post_peak[c], 0.0f) << "input " << c;
    EXPECT_EQ(mt.silent, 0);
    EXPECT_EQ(mt.fallback_in_use, 0);
}
