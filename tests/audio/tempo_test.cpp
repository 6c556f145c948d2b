// Tempo and key analysis on takes made here: click tracks at known tempi and first beats,
// chords and scales in known keys, silence, noise, damaged samples, takes too short or
// too long, stepping by tiny and large budgets, and the time a step takes.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <complex>
#include <ctime>
#include <random>
#include <vector>

#include "audio/tempo.h"

namespace {

struct Take {
    std::vector<float> samples;
    int32_t channels = 1;
    double rate = 48000.0;
    int64_t frames() const { return (int64_t)samples.size() / channels; }
};

Take silent_take(double rate, int32_t channels, double seconds)
{
    return Take{std::vector<float>((size_t)(rate * seconds) * channels, 0.0f), channels, rate};
}

// Decaying noise bursts of 30 ms on every beat from `first` seconds, in channels 1 and 2.
void add_clicks(Take* t, double bpm, double first)
{
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
    int64_t len = (int64_t)(t->rate * 0.03);
    for (double at = first; at < (double)t->frames() / t->rate; at += 60.0 / bpm) {
        int64_t start = std::llround(at * t->rate);
        for (int64_t i = 0; i < len && start + i < t->frames(); i++) {
            float v = 0.8f * std::exp(-(float)i / (float)(t->rate * 0.004)) * noise(rng);
            for (int32_t c = 0; c < std::min(t->channels, 2); c++)
                t->samples[(start + i) * t->channels + c] += v;
        }
    }
}

using Chords = std::vector<std::vector<int>>;
const Chords kCMajorCadence = {{60, 64, 67}, {65, 69, 72}, {67, 71, 74}, {60, 64, 67}};
const Chords kAMinorCadence = {{57, 60, 64}, {62, 65, 69}, {64, 67, 71}, {57, 60, 64}};
const Chords kCMajorScale = {{60}, {62}, {64}, {65}, {67}, {69}, {71}, {72}};
const Chords kAMinorScale = {{57}, {59}, {60}, {62}, {64}, {65}, {67}, {69}};

// Sine chords of MIDI notes, each held half a second, the sequence repeated to the end.
void add_chords(Take* t, const Chords& chords, int transpose = 0)
{
    int64_t hold = (int64_t)(t->rate * 0.5);
    for (int64_t f = 0; f < t->frames(); f++) {
        const std::vector<int>& chord = chords[(size_t)(f / hold) % chords.size()];
        double s = (double)(f % hold) / t->rate;
        double fade = std::min(1.0, (double)std::min(f % hold, hold - f % hold) / (t->rate * 0.01));
        float v = 0.0f;
        for (int note : chord)
            v += (float)(0.2 * fade * std::sin(2.0 * M_PI * 440.0 * std::pow(2.0, (note + transpose - 69) / 12.0) * s));
        for (int32_t c = 0; c < t->channels; c++)
            t->samples[f * t->channels + c] += v;
    }
}

// Runs the analysis to its end in steps of `budget` windows.
TempoAnalysis analyse(const Take& t, int32_t budget = 64)
{
    TempoAnalysis a;
    tempo_analysis_begin(&a, t.samples.data(), t.channels, t.frames(), t.rate);
    while (!tempo_analysis_step(&a, budget)) {
    }
    EXPECT_TRUE(a.done && !a.running);
    return a;
}

void expect_nothing_found(const TempoAnalysis& a)
{
    EXPECT_EQ(a.tempo, 0.0f);
    EXPECT_EQ(a.first_beat, 0.0);
    EXPECT_EQ(a.key, -1);
}

// The found tempo within 0.2 % (a few of the 0.02-value period steps) and the first beat
// within one hop (and 2 ms) of a click.
void expect_beat(const TempoAnalysis& a, const Take& t, double bpm, double found_bpm, double first)
{
    EXPECT_NEAR(a.tempo, found_bpm, found_bpm * 0.002);
    double period = 60.0 / bpm;
    double off = std::fmod(a.first_beat - first + 100.0 * period, period);
    EXPECT_LT(std::min(off, period - off), 512.0 / t.rate + 0.002) << "first beat " << a.first_beat;
    EXPECT_LT(a.first_beat, 60.0 / a.tempo + 512.0 / t.rate);
    EXPECT_GT(a.tempo_confidence, 0.5f);
}

}  // namespace

TEST(TempoAnalysis, ClickTracksGiveTheirTempoAndFirstBeat)
{
    struct Case { double rate; int32_t channels; double bpm, first, found; };
    const Case cases[] = {
        {48000, 2, 90, 0.25, 90},   {48000, 1, 120, 0.31, 120}, {48000, 2, 128, 0.12, 128},
        {44100, 2, 174, 0.20, 174}, {22050, 1, 100, 0.40, 100}, {96000, 2, 128, 0.25, 128},
        {8000, 1, 90, 0.30, 90},
        // A plain click at 174 has as strong a pulse at 87, which lies nearer the
        // preferred 120: the half tempo is found (on either click of the pair).
        {48000, 2, 174, 0.25, 87},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rate << " Hz, " << c.channels << " ch, " << c.bpm << " BPM");
        Take t = silent_take(c.rate, c.channels, 20.0);
        add_clicks(&t, c.bpm, c.first);
        TempoAnalysis a = analyse(t);
        expect_beat(a, t, c.bpm, c.found, c.first);
    }
}

TEST(TempoAnalysis, ChannelsBeyondTheFirstTwoAreIgnored)
{
    Take stereo = silent_take(44100, 2, 12.0), quad = silent_take(44100, 4, 12.0);
    add_clicks(&stereo, 120, 0.2);
    add_clicks(&quad, 120, 0.2);
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
    for (int64_t f = 0; f < quad.frames(); f++)
        quad.samples[f * 4 + 2] = quad.samples[f * 4 + 3] = noise(rng);
    TempoAnalysis a = analyse(stereo), b = analyse(quad);
    EXPECT_TRUE(a.tempo == b.tempo && a.first_beat == b.first_beat && a.tempo_confidence == b.tempo_confidence);
    EXPECT_NEAR(a.tempo, 120.0, 0.24);
}

TEST(TempoAnalysis, ChordsAndScalesGiveTheirKey)
{
    struct Case { double rate; int32_t channels; const Chords* chords; int transpose; const char* key; };
    const Case cases[] = {
        {48000, 2, &kCMajorCadence, 0, "C MAJ"}, {48000, 2, &kAMinorCadence, 0, "A MIN"},
        {44100, 1, &kCMajorCadence, 2, "D MAJ"}, {44100, 1, &kAMinorCadence, 7, "E MIN"},
        {22050, 2, &kCMajorCadence, 5, "F MAJ"}, {8000, 1, &kAMinorCadence, 9, "F# MIN"},
        {48000, 1, &kCMajorScale, 0, "C MAJ"},   {48000, 1, &kAMinorScale, 0, "A MIN"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rate << " Hz, expecting " << c.key);
        Take t = silent_take(c.rate, c.channels, 12.0);
        add_chords(&t, *c.chords, c.transpose);
        TempoAnalysis a = analyse(t);
        EXPECT_STREQ(key_name(a.key), c.key);
        EXPECT_GE(a.key_confidence, 0.55f);
    }
}

TEST(TempoAnalysis, KeyDecisionOnGivenPitchClasses)
{
    TempoAnalysis a;
    a.chroma[0] = a.chroma[4] = a.chroma[7] = 1.0;   // C, E, G: 0.83 against 0.76 for E MIN
    key_estimate(&a);
    EXPECT_EQ(a.key, 0);
    EXPECT_NEAR(a.key_confidence, 0.834, 0.001);

    // One pitch class fits C major and C minor almost alike: no key, the correlation kept.
    TempoAnalysis one;
    one.chroma[0] = 1.0;
    key_estimate(&one);
    EXPECT_EQ(one.key, -1);
    EXPECT_NEAR(one.key_confidence, 0.68, 0.01);

    TempoAnalysis flat, none;
    for (double& c : flat.chroma)
        c = 3.0;
    key_estimate(&flat);
    key_estimate(&none);
    EXPECT_EQ(flat.key, -1);
    EXPECT_EQ(flat.key_confidence, 0.0f);
    EXPECT_EQ(none.key, -1);

    EXPECT_STREQ(key_name(13), "C# MIN");
    EXPECT_STREQ(key_name(24), "");
    EXPECT_STREQ(key_name(-1), "");
}

TEST(TempoAnalysis, SilenceAndNoiseDecideNothingSound)
{
    TempoAnalysis s = analyse(silent_take(48000, 2, 10.0));
    expect_nothing_found(s);
    EXPECT_EQ(s.tempo_confidence, 0.0f);
    EXPECT_EQ(s.key_confidence, 0.0f);

    // Noise has no key. Its sparse flux peaks may still line up on some grid (the
    // decision has no stricter test), so of its tempo only sanity is checked.
    Take noise = silent_take(48000, 2, 15.0);
    std::mt19937 rng(11);
    std::normal_distribution<float> gauss(0.0f, 0.3f);
    for (float& v : noise.samples)
        v = gauss(rng);
    TempoAnalysis n = analyse(noise);
    EXPECT_EQ(n.key, -1);
    EXPECT_TRUE(n.tempo == 0.0f || (n.tempo > 68.0f && n.tempo < 188.0f)) << n.tempo;
    EXPECT_TRUE(std::isfinite(n.first_beat));
    EXPECT_LE(n.key_confidence, 1.0f);
}

// NaN and infinities in a damaged float file count as silence; absurd finite values are
// clipped. Neither may turn a result into NaN.
TEST(TempoAnalysis, DamagedSamplesDoNotPoisonTheResults)
{
    Take clean = silent_take(48000, 2, 15.0);
    add_chords(&clean, kCMajorCadence);
    add_clicks(&clean, 128, 0.1);
    Take damaged = clean, absurd = clean;
    std::mt19937 rng(5);
    const float bad[] = {NAN, INFINITY, -INFINITY};
    for (int i = 0; i < 60; i++) {
        size_t at = rng() % damaged.samples.size();
        damaged.samples[at] = bad[i % 3];
        absurd.samples[at] = i % 2 ? 3e38f : -1e30f;
    }
    TempoAnalysis c = analyse(clean), d = analyse(damaged), x = analyse(absurd);
    EXPECT_EQ(d.key, c.key);
    EXPECT_STREQ(key_name(d.key), "C MAJ");
    EXPECT_NEAR(d.tempo, c.tempo, 0.3);
    EXPECT_NEAR(d.first_beat, c.first_beat, 0.011);
    for (const TempoAnalysis& r : {d, x})
        EXPECT_TRUE(std::isfinite(r.tempo + r.first_beat + r.tempo_confidence + r.key_confidence));
}

TEST(TempoAnalysis, UnusableAndShortTakes)
{
    std::vector<float> buf(48000 * 2, 0.1f);
    struct Bad { const float* s; int32_t ch; int64_t frames; double rate; };
    const Bad bad[] = {{nullptr, 1, 48000, 48000}, {buf.data(), 0, 48000, 48000}, {buf.data(), 1, 1023, 48000},
                       {buf.data(), 1, 48000, 7999}, {buf.data(), 1, 48000, NAN},   {buf.data(), 1, 48000, INFINITY}};
    for (const Bad& b : bad) {
        TempoAnalysis a;
        a.tempo = 99.0f;
        tempo_analysis_begin(&a, b.s, b.ch, b.frames, b.rate);
        EXPECT_TRUE(a.done && !a.running);
        expect_nothing_found(a);
        EXPECT_EQ(tempo_analysis_step(&a, 8), 1);
        EXPECT_EQ(tempo_analysis_progress(&a), 1.0f);
    }

    // 1024 frames run two windows and decide nothing.
    TempoAnalysis tiny;
    tempo_analysis_begin(&tiny, buf.data(), 1, 1024, 48000);
    EXPECT_TRUE(tiny.running);
    EXPECT_EQ(tiny.hops_total, 2);
    EXPECT_EQ(tempo_analysis_step(&tiny, 100), 1);
    EXPECT_EQ(tiny.hops_done, 2);
    expect_nothing_found(tiny);

    // At 48 kHz a tempo needs 375 windows (4 s); a shorter take can still have a key.
    Take four = silent_take(48000, 1, 4.0), under = silent_take(48000, 1, 3.99);
    add_clicks(&four, 120, 0.25);
    add_clicks(&under, 120, 0.25);
    add_chords(&under, kCMajorCadence);
    TempoAnalysis f = analyse(four), u = analyse(under);
    EXPECT_EQ(f.hops_total, 375);
    EXPECT_NEAR(f.tempo, 120.0, 1.0);
    EXPECT_EQ(u.hops_total, 374);
    EXPECT_EQ(u.tempo, 0.0f);
    EXPECT_EQ(u.key, 0);
}

TEST(TempoAnalysis, LongTakesAreAnalysedOverTheirFirstTenMinutes)
{
    // Eleven minutes whose clicks start only after the tenth: nothing is heard.
    Take t = silent_take(8000, 1, 660.0);
    Take minute = silent_take(8000, 1, 60.0);
    add_clicks(&minute, 120, 0.25);
    std::copy(minute.samples.begin(), minute.samples.end(), t.samples.begin() + 8000 * 600);
    TempoAnalysis a = analyse(t, 4096);
    EXPECT_EQ(a.frames, 8000 * 600);
    EXPECT_EQ(a.hops_total, 8000 * 600 / 512);
    EXPECT_EQ(a.tempo, 0.0f);
}

TEST(TempoAnalysis, TinyStepsGiveTheSameResultAsOneBigStep)
{
    Take t = silent_take(44100, 2, 30.0);
    add_chords(&t, kAMinorCadence, 2);
    add_clicks(&t, 96, 0.4);
    TempoAnalysis big, tiny;
    tempo_analysis_begin(&big, t.samples.data(), t.channels, t.frames(), t.rate);
    EXPECT_EQ(tempo_analysis_step(&big, INT32_MAX), 1);
    EXPECT_NEAR(big.tempo, 96.0, 0.2);
    EXPECT_STREQ(key_name(big.key), "B MIN");

    EXPECT_EQ(tempo_analysis_progress(&tiny), 0.0f);
    tempo_analysis_begin(&tiny, t.samples.data(), t.channels, t.frames(), t.rate);
    int64_t steps = 1;
    for (float last = 0.0f; !tempo_analysis_step(&tiny, 1); steps++) {
        ASSERT_GE(tempo_analysis_progress(&tiny), last);
        last = tempo_analysis_progress(&tiny);
    }
    EXPECT_GT(steps, tiny.hops_total + 1);   // the decision took steps of its own
    EXPECT_EQ(tempo_analysis_progress(&tiny), 1.0f);
    EXPECT_TRUE(tiny.samples == nullptr && tiny.envelope == nullptr);
    EXPECT_EQ(tiny.tempo, big.tempo);
    EXPECT_EQ(tiny.first_beat, big.first_beat);
    EXPECT_EQ(tiny.tempo_confidence, big.tempo_confidence);
    EXPECT_EQ(tiny.key, big.key);
    EXPECT_EQ(tiny.key_confidence, big.key_confidence);
}

// A two-minute take at 96 kHz: its tempo decision costs as much as hundreds of windows,
// and is spread over the steps like the windows are (bench_tempo prints what the
// slowest step costs against the budget).
TEST(TempoAnalysis, ALongDecisionIsSpreadOverManySteps)
{
    Take t = silent_take(96000, 1, 120.0);
    add_clicks(&t, 120, 0.25);
    const int32_t budget = 4;
    TempoAnalysis a;
    tempo_analysis_begin(&a, t.samples.data(), 1, t.frames(), t.rate);
    int64_t deciding = 0;
    for (bool ended = false; !ended;) {
        bool windows_left = a.hops_done < a.hops_total;
        ended = tempo_analysis_step(&a, budget);
        deciding += !windows_left;
    }
    EXPECT_NEAR(a.tempo, 120.0, 0.24);
    EXPECT_GT(deciding, 10) << "steps the decision took";
}

TEST(TempoAnalysis, BeginAgainAndFree)
{
    Take first = silent_take(48000, 1, 8.0), second = silent_take(48000, 1, 8.0);
    add_clicks(&first, 90, 0.2);
    add_clicks(&second, 128, 0.2);
    TempoAnalysis a;
    tempo_analysis_begin(&a, first.samples.data(), 1, first.frames(), first.rate);
    tempo_analysis_step(&a, 100);
    // A new begin mid-way starts over on the new take.
    tempo_analysis_begin(&a, second.samples.data(), 1, second.frames(), second.rate);
    EXPECT_EQ(a.hops_done, 0);
    EXPECT_EQ(tempo_analysis_step(&a, INT32_MAX), 1);
    EXPECT_NEAR(a.tempo, 128.0, 0.3);
    // Free keeps finished results; mid-way it stops the analysis for good.
    tempo_analysis_free(&a);
    EXPECT_NEAR(a.tempo, 128.0, 0.3);
    tempo_analysis_begin(&a, first.samples.data(), 1, first.frames(), first.rate);
    tempo_analysis_step(&a, 10);
    tempo_analysis_free(&a);
    EXPECT_TRUE(!a.running && a.samples == nullptr);
    EXPECT_EQ(tempo_analysis_step(&a, 10), 0);
    EXPECT_EQ(tempo_analysis_progress(&a), 0.0f);

    EXPECT_EQ(tempo_analysis_step(nullptr, 1), 1);
    EXPECT_EQ(tempo_analysis_progress(nullptr), 0.0f);
    tempo_analysis_free(nullptr);
    tempo_analysis_begin(nullptr, first.samples.data(), 1, first.frames(), 48000);
}

TEST(TempoDsp, FftMatchesTheDefinition)
{
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    for (int32_t n : {2, 16, 1024, 16384}) {
        std::vector<float> re(n), im(n);
        for (int32_t i = 0; i < n; i++)
            re[i] = u(rng), im[i] = u(rng);
        std::vector<float> in_re = re, in_im = im;
        tempo_fft(re.data(), im.data(), n);
        for (int32_t k : {0, 1, n / 3, n / 2, n - 1}) {
            std::complex<double> sum = 0.0;
            for (int32_t i = 0; i < n; i++)
                sum += std::complex<double>(in_re[i], in_im[i]) * std::polar(1.0, -2.0 * M_PI * k * i / n);
            EXPECT_LT(std::abs(std::complex<double>(re[k], im[k]) - sum), 3e-3 * std::sqrt(n)) << n << " bin " << k;
        }
    }
    float re[6] = {1, 2, 3, 4, 5, 6}, im[6] = {};
    tempo_fft(re, im, 6);   // not a power of two: untouched
    EXPECT_EQ(re[5], 6.0f);
    EXPECT_EQ(im[0], 0.0f);
}

TEST(TempoDsp, EnvelopeMeanAlongAGrid)
{
    const float e[6] = {0, 10, 0, 10, 0, 10};
    EXPECT_DOUBLE_EQ(tempo_envelope_mean(e, 6, 2.0, 1.0), 10.0);   // 1, 3 (5 is the last)
    EXPECT_DOUBLE_EQ(tempo_envelope_mean(e, 6, 2.0, 0.5), 5.0);    // halfway between
    EXPECT_DOUBLE_EQ(tempo_envelope_mean(e, 6, 3.0, -2.0), 10.0 / 3.0);   // -2 taken at 0, then 1, 4
    EXPECT_DOUBLE_EQ(tempo_envelope_mean(e, 6, 1.0, 5.0), 0.0);    // no position
    EXPECT_DOUBLE_EQ(tempo_envelope_mean(e, 6, 2.0, -1e18), 0.0);  // far below 0: counted, not walked
    // A step that never advances would never end.
    EXPECT_EQ(tempo_envelope_mean(e, 6, 0.0, 1.0), 0.0);
    EXPECT_EQ(tempo_envelope_mean(e, 6, -1.0, 1.0), 0.0);
    EXPECT_EQ(tempo_envelope_mean(e, 6, NAN, 1.0), 0.0);
}
