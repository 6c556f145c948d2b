// Loading WAV files into the loop: channel mapping, widths, cut files, the capacity,
// resampling to the engine's rate, and refusals that leave the loop alone.
#include <gtest/gtest.h>

#include "audio/engine.h"
#include "audio/loop_file.h"
#include "media_fixture.h"

using fixture::WavSpec;

static std::string put(const fixture::TempDir& dir, const char* name, const std::vector<uint8_t>& b)
{
    std::string p = dir.file(name);
    EXPECT_TRUE(fixture::write_file(p, b));
    return p;
}

// Frames i of channel c of an interleaved signal.
static float at(const std::vector<float>& x, int channels, int64_t i, int c)
{
    return x[(size_t)(i * channels + c)];
}

TEST(LoopLoadWav, MonoFillsBothSidesAndExtraChannelsArePassed)
{
    fixture::TempDir dir;
    fixture::LoopEngine eng;
    ASSERT_NE(eng.e, nullptr);
    WavSpec mono;
    mono.channels = 1;
    std::vector<float> m = fixture::signal(1, 48000, 1000);
    LoopLoadLoss loss{};
    ASSERT_TRUE(loop_load_wav(eng.e, put(dir, "m.wav", fixture::wav(mono, fixture::encode(m, 2, false))).c_str(), &loss));
    EXPECT_FALSE(loop_load_loss_any(&loss));   // saved back as stereo, nothing is lost
    ASSERT_EQ(eng.e->length.load(), 1000);
    EXPECT_EQ(eng.e->position.load(), 0);
    for (int i = 0; i < 1000; i++) {
        ASSERT_NEAR(eng.e->loop_left[i], m[i], 1e-4);
        ASSERT_EQ(eng.e->loop_left[i], eng.e->loop_right[i]);
    }

    std::vector<float> six(6 * 500);
    for (size_t i = 0; i < six.size(); i++)
        six[i] = (float)(i % 6) * 0.1f - 0.25f;
    WavSpec s6;
    s6.channels = 6;
    s6.tag = 0xFFFE;
    s6.sub_tag = 3;
    s6.bits = 32;
    ASSERT_TRUE(loop_load_wav(eng.e, put(dir, "six.wav", fixture::wav(s6, fixture::encode(six, 4, true))).c_str(), &loss));
    EXPECT_EQ(loss.channels, 6);
    ASSERT_EQ(eng.e->length.load(), 500);
    EXPECT_EQ(eng.e->loop_left[499], -0.25f);
    EXPECT_EQ(eng.e->loop_right[499], 0.1f - 0.25f);
}

TEST(LoopLoadWav, EightBitAndThirtyTwoBitTakesLoadTheirSamples)
{
    fixture::TempDir dir;
    fixture::LoopEngine eng;
    ASSERT_NE(eng.e, nullptr);
    std::vector<float> x = fixture::signal(2, 48000, 2000);
    for (uint32_t bits : {8u, 24u, 32u}) {
        WavSpec s;
        s.bits = bits;
        std::string p = put(dir, "w.wav", fixture::wav(s, fixture::encode(x, (int)bits / 8, false)));
        LoopLoadLoss loss{};
        ASSERT_TRUE(loop_load_wav(eng.e, p.c_str(), &loss)) << bits;
        EXPECT_EQ(loss.bits, bits > 24 ? (int32_t)bits : 0);   // float holds 24 bits exactly
        ASSERT_EQ(eng.e->length.load(), 2000);
        for (int i = 0; i < 2000; i++) {
            ASSERT_NEAR(eng.e->loop_left[i], at(x, 2, i, 0), 0.01) << bits << " " << i;
            ASSERT_NEAR(eng.e->loop_right[i], at(x, 2, i, 1), 0.01) << bits << " " << i;
        }
    }
    WavSpec f;
    f.tag = 3;
    f.bits = 64;
    LoopLoadLoss loss{};
    ASSERT_TRUE(loop_load_wav(eng.e, put(dir, "d.wav", fixture::wav(f, fixture::encode({NAN, 0.5f}, 8, true))).c_str(), &loss));
    EXPECT_EQ(loss.bits, 64);
    EXPECT_EQ(eng.e->loop_left[0], 0.0f);
    EXPECT_EQ(eng.e->loop_right[0], 0.5f);
}

TEST(LoopLoadWav, CutFileSetsTheLengthToTheFramesPresent)
{
    fixture::TempDir dir;
    fixture::LoopEngine eng;
    ASSERT_NE(eng.e, nullptr);
    std::vector<uint8_t> full = fixture::wav(WavSpec{}, fixture::encode(fixture::signal(2, 48000, 4800), 2, false));
    full.resize(44 + 1234 * 4 + 2);
    ASSERT_TRUE(loop_load_wav(eng.e, put(dir, "cut.wav", full).c_str()));
    EXPECT_EQ(eng.e->length.load(), 1234);

    // A data size of 0 (as a writer leaves it before it knows the size) means up to
    // the end of the file.
    WavSpec zero;
    zero.data_size = 0;
    ASSERT_TRUE(loop_load_wav(eng.e, put(dir, "z.wav", fixture::wav(zero, std::vector<uint8_t>(400, 1))).c_str()));
    EXPECT_EQ(eng.e->length.load(), 100);
    EXPECT_EQ(eng.e->position.load(), 0);
    EXPECT_EQ(eng.e->loop_right[99], 257.0f / 32768.0f);
}

TEST(LoopLoadWav, LongFileIsCutAtTheLoopCapacity)
{
    fixture::TempDir dir;
    fixture::LoopEngine eng;
    ASSERT_NE(eng.e, nullptr);
    // 361 s of 8-bit mono at 48 kHz (17.3 MB).
    int64_t frames = ENGINE_LOOP_CAPACITY + 48000;
    WavSpec s;
    s.channels = 1;
    s.bits = 8;
    std::vector<uint8_t> data((size_t)frames, 128);
    data[(size_t)ENGINE_LOOP_CAPACITY - 1] = 255;
    data[(size_t)ENGINE_LOOP_CAPACITY] = 0;
    LoopLoadLoss loss{};
    ASSERT_TRUE(loop_load_wav(eng.e, put(dir, "long.wav", fixture::wav(s, data)).c_str(), &loss));
    EXPECT_TRUE(loss.capped);
    EXPECT_EQ(eng.e->length.load(), ENGINE_LOOP_CAPACITY);
    EXPECT_EQ(eng.e->loop_left[ENGINE_LOOP_CAPACITY - 1], 0.9921875f);
}

// Counts rising zero crossings of the left side to measure the frequency.
static double loop_frequency(const Engine* e, double rate)
{
    int32_t n = e->length.load();
    int first = -1, last = -1, count = 0;
    for (int32_t i = 1; i < n; i++) {
        if (e->loop_left[i - 1] < 0.0f && e->loop_left[i] >= 0.0f) {
            if (first < 0)
                first = i;
            last = i;
            count++;
        }
    }
    return count > 1 ? (count - 1) * rate / (last - first) : 0.0;
}

TEST(LoopLoadWav, TakeAtAnotherRateIsResampledToTheEngineRate)
{
    fixture::TempDir dir;
    fixture::LoopEngine eng;
    ASSERT_NE(eng.e, nullptr);
    eng.e->sample_rate = 48000.0;
    std::string p = dir.file("sine.wav");
    ASSERT_EQ(fixture::run("sox -n -r 44100 -c 2 -b 16 " + p + " synth 2 sine 997"), 0);
    LoopLoadLoss loss{};
    ASSERT_TRUE(loop_load_wav(eng.e, p.c_str(), &loss));
    EXPECT_EQ(loss.file_rate, 44100u);
    EXPECT_EQ(eng.e->length.load(), (int32_t)(88200 / (44100.0 / 48000.0)));
    EXPECT_NEAR(loop_frequency(eng.e, 48000.0), 997.0, 0.5);

    // Same rate: sample for sample.
    std::vector<float> x = fixture::signal(2, 48000, 300);
    ASSERT_TRUE(loop_load_wav(eng.e, put(dir, "same.wav", fixture::wav(WavSpec{}, fixture::encode(x, 2, false))).c_str(), &loss));
    EXPECT_FALSE(loop_load_loss_any(&loss));
    EXPECT_EQ(eng.e->length.load(), 300);
    EXPECT_EQ(eng.e->loop_left[123], std::llround(at(x, 2, 123, 0) * 32767.0) / 32768.0f);
}

TEST(LoopLoadWav, AbsurdRatesLoadWithinTheLoop)
{
    fixture::TempDir dir;
    fixture::LoopEngine eng;
    ASSERT_NE(eng.e, nullptr);
    std::vector<uint8_t> data = fixture::encode(fixture::signal(2, 48000, 1000), 2, false);
    WavSpec slow;
    slow.rate = 1;                     // every file frame becomes 48,000 loop frames
    ASSERT_TRUE(loop_load_wav(eng.e, put(dir, "slow.wav", fixture::wav(slow, data)).c_str()));
    EXPECT_EQ(eng.e->length.load(), ENGINE_LOOP_CAPACITY);
    // So fast that the file comes to no loop frame: refused, the loop kept.
    WavSpec fast;
    fast.rate = 0xFFFFFFFF;
    EXPECT_FALSE(loop_load_wav(eng.e, put(dir, "fast.wav", fixture::wav(fast, data)).c_str()));
    EXPECT_EQ(eng.e->length.load(), ENGINE_LOOP_CAPACITY);
}

TEST(LoopLoadWav, UnusableFilesLeaveTheLoopAsItWas)
{
    fixture::TempDir dir;
    fixture::LoopEngine eng;
    ASSERT_NE(eng.e, nullptr);
    eng.set_loop({0.1f, 0.2f, 0.3f}, {0.4f, 0.5f, 0.6f});
    eng.e->position.store(2);
    std::string src = dir.file("src.wav"), adpcm = dir.file("adpcm.wav");
    ASSERT_EQ(fixture::run("sox -n -r 48000 -c 2 -b 16 " + src + " synth 0.2 sine 997"), 0);
    ASSERT_EQ(fixture::run("ffmpeg -v error -y -i " + src + " -c:a adpcm_ms " + adpcm), 0);
    WavSpec f24;
    f24.tag = 3;
    f24.bits = 24;
    fixture::Bytes short_fmt;
    short_fmt.tag("RIFF").u32(0).tag("WAVE").tag("fmt ").u32(14).u16(1).u16(2).u32(48000).u32(0).u16(4);
    short_fmt.tag("data").u32(8).zeros(8);
    // 4,800 bytes of data declared, and the file cut before its first whole frame.
    WavSpec cut;
    cut.data_size = 4800;
    // A data size of 0 and no frames after it.
    WavSpec zero;
    zero.data_size = 0;
    std::string bad[] = {
        put(dir, "cut.wav", fixture::wav(cut, {0x12, 0x34})),
        put(dir, "zero.wav", fixture::wav(zero, {0x12, 0x34})),
        put(dir, "nibble.wav", fixture::wav(WavSpec{1, 1, 1, 48000, 4}, std::vector<uint8_t>(64, 0x7f))),   // 4-bit
        adpcm,
        put(dir, "f24.wav", fixture::wav(f24, std::vector<uint8_t>(60, 0))),
        put(dir, "short.wav", short_fmt.v),
        put(dir, "text.wav", {'n', 'o', 'p', 'e'}),
        dir.file("missing.wav"),
    };
    for (const std::string& p : bad) {
        EXPECT_FALSE(loop_load_wav(eng.e, p.c_str())) << p;
        EXPECT_EQ(eng.e->length.load(), 3) << p;
        EXPECT_EQ(eng.e->position.load(), 2) << p;
        EXPECT_EQ(eng.e->loop_left[1], 0.2f) << p;
    }
}

TEST(LoopLoadWav, ExportedLoopLoadsBackTheSameSamples)
{
    fixture::TempDir dir;
    fixture::LoopEngine eng;
    ASSERT_NE(eng.e, nullptr);
    std::vector<float> x = fixture::signal(2, 48000, 5000);
    std::vector<float> l(5000), r(5000);
    for (int i = 0; i < 5000; i++) {
        l[i] = at(x, 2, i, 0);
        r[i] = at(x, 2, i, 1);
    }
    eng.set_loop(l, r);
    std::string take = dir.file("take.wav"), pcm = dir.file("pcm.wav");
    ASSERT_TRUE(loop_write_wav_float(eng.e, take.c_str()));
    ASSERT_TRUE(loop_write_wav16(eng.e, pcm.c_str()));
    eng.e->length.store(0);
    ASSERT_TRUE(loop_load_wav(eng.e, take.c_str()));
    ASSERT_EQ(eng.e->length.load(), 5000);
    for (int i = 0; i < 5000; i++)
        ASSERT_EQ(eng.e->loop_right[i], r[i]);
    ASSERT_TRUE(loop_load_wav(eng.e, pcm.c_str()));
    ASSERT_EQ(eng.e->length.load(), 5000);
    for (int i = 0; i < 5000; i++)
        ASSERT_NEAR(eng.e->loop_left[i], l[i], 1.0 / 16384);
}
