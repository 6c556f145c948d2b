// Sample converter and sinks: scaling of every width, damaged values, buffer growth.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "audio/audiofile.h"
#include "audio/audiofile_sink.h"
#include "audio/sample_buffer.h"

static float convert_one(std::vector<uint8_t> bytes, int width, bool is_float)
{
    float out = 123.0f;
    audiofile_convert_samples(&out, bytes.data(), 1, width, is_float);
    return out;
}

TEST(SampleConverter, IntegerWidthsScaleToTheirFullRange)
{
    EXPECT_EQ(convert_one({255}, 1, false), 0.9921875f);
    EXPECT_EQ(convert_one({0}, 1, false), -1.0f);
    EXPECT_EQ(convert_one({128}, 1, false), 0.0f);
    EXPECT_EQ(convert_one({0x00, 0x80}, 2, false), -1.0f);
    EXPECT_EQ(convert_one({0xFF, 0x7F}, 2, false), 32767.0f / 32768.0f);
    EXPECT_EQ(convert_one({0x00, 0x00, 0x80}, 3, false), -1.0f);
    EXPECT_EQ(convert_one({0xFF, 0xFF, 0x7F}, 3, false), 8388607.0f / 8388608.0f);
    EXPECT_EQ(convert_one({0x00, 0x00, 0x00, 0x80}, 4, false), -1.0f);
    EXPECT_EQ(convert_one({0xFF, 0xFF, 0xFF, 0x7F}, 4, false), 1.0f);   // narrowed to float
    EXPECT_EQ(convert_one({0x01, 0x00, 0x00, 0x00}, 4, false), (float)(1.0 / 2147483648.0));
}

TEST(SampleConverter, FloatsAreCopiedOrNarrowedAndDamageBecomesZero)
{
    auto f32 = [](float x) {
        std::vector<uint8_t> b(4);
        std::memcpy(b.data(), &x, 4);
        return b;
    };
    auto f64 = [](double x) {
        std::vector<uint8_t> b(8);
        std::memcpy(b.data(), &x, 8);
        return b;
    };
    EXPECT_EQ(convert_one(f32(-0.3f), 4, true), -0.3f);
    EXPECT_EQ(convert_one(f32(NAN), 4, true), 0.0f);
    EXPECT_EQ(convert_one(f32(INFINITY), 4, true), 0.0f);
    EXPECT_EQ(convert_one(f32(-INFINITY), 4, true), 0.0f);
    EXPECT_EQ(convert_one(f64(0.1), 8, true), 0.1f);
    EXPECT_EQ(convert_one(f64(NAN), 8, true), 0.0f);
    EXPECT_EQ(convert_one(f64(-INFINITY), 8, true), 0.0f);
    EXPECT_EQ(convert_one(f64(1e300), 8, true), 0.0f);    // beyond float: damage too
}

TEST(BufferSink, GrowsByHalfFromAtLeast4096FramesAndKeepsEverySample)
{
    SampleBuffer b;
    AudioSink sink = audiofile_buffer_sink(&b);
    ASSERT_TRUE(audiofile_sink_begin(&sink, 2, 44100.0, -1));
    EXPECT_EQ(sink.capacity, 0);
    std::vector<int16_t> block(14);
    int64_t total = 0;
    int16_t next = 0;
    std::vector<int64_t> capacities;
    for (int i = 0; total < 20000; i++) {
        int frames = 1 + i % 7;
        for (int k = 0; k < frames * 2; k++)
            block[k] = next++;
        ASSERT_EQ(audiofile_sink_append(&sink, block.data(), frames, 2, 2, false), 1);
        total += frames;
        if (capacities.empty() || capacities.back() != sink.capacity)
            capacities.push_back(sink.capacity);
    }
    EXPECT_EQ(b.frames, total);
    for (int64_t i = 0; i < total * 2; i++)
        ASSERT_EQ(b.samples[i], (int16_t)i / 32768.0f) << i;
    ASSERT_GE(capacities.size(), 3u);
    EXPECT_EQ(capacities[0], 4096);
    EXPECT_EQ(capacities[1], 6144);
    EXPECT_EQ(capacities[2], 9216);
    sample_buffer_free(&b);
    EXPECT_EQ(b.samples, nullptr);
    EXPECT_EQ(sample_buffer_seconds(&b), 0.0);
}

// A container may claim any length: the first reservation stays bounded.
TEST(BufferSink, ReservationFromAClaimedLengthIsBounded)
{
    SampleBuffer b;
    AudioSink sink = audiofile_buffer_sink(&b);
    ASSERT_TRUE(audiofile_sink_begin(&sink, 2, 48000.0, 48000));
    EXPECT_EQ(sink.capacity, 48000 + 8192);
    ASSERT_TRUE(audiofile_sink_begin(&sink, 2, 48000.0, 10LL * 3600 * 48000));   // "10 hours"
    EXPECT_EQ(sink.capacity, 30LL * 60 * 48000 + 8192);
    ASSERT_TRUE(audiofile_sink_begin(&sink, 2, 4.0e9, 1LL << 40));                // absurd rate
    EXPECT_LE(sink.capacity * 2, (1LL << 28) + 16384);
    ASSERT_TRUE(audiofile_sink_begin(&sink, 65535, 48000.0, 4));                  // wide: small margin
    EXPECT_LE(sink.capacity, 4 + 1);
    sample_buffer_free(&b);
    audiofile_sink_release(&sink);
}

TEST(SampleBuffer, OverviewNormalisesPeaksAndLeavesEmptyColumnsZero)
{
    SampleBuffer b;
    b.channels = 2;
    b.sample_rate = 10.0;
    b.frames = 3;
    float s[6] = {0.1f, -0.2f, 0.0f, 0.05f, NAN, 0.4f};
    b.samples = s;
    float out[6];
    audiofile_overview(&b, out, 6);
    // Columns 0, 2 and 4 span no frame when there are fewer frames than columns.
    EXPECT_EQ(out[0], 0.0f);
    EXPECT_FLOAT_EQ(out[1], 0.5f);
    EXPECT_EQ(out[2], 0.0f);
    EXPECT_FLOAT_EQ(out[3], 0.125f);
    EXPECT_EQ(out[4], 0.0f);
    EXPECT_FLOAT_EQ(out[5], 1.0f);
    EXPECT_DOUBLE_EQ(sample_buffer_seconds(&b), 0.3);
    b.samples = nullptr;
    audiofile_overview(&b, out, 6);
    for (float v : out)
        EXPECT_EQ(v, 0.0f);
}
