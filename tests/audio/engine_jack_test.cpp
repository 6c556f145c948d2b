// Real streams on the private JACK dummy server that tools/with-jack.sh starts (see
// tests/audio/CMakeLists.txt for each case's server): the engine opens PortAudio's
// JACK device at the server's rate and channel count, and a tone fed into the first
// input is recorded into the loop and played back out of the stream.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <jack/jack.h>

#include "audio/engine.h"
#include "audio/looper.h"
#include "platform/plat_jack.h"
#include "support/test_proc.h"
#include "support/test_wait.h"
#include "support/wav_capture.h"

namespace {

using Clock = std::chrono::steady_clock;

void sleep_ms(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

class EngineJack : public ::testing::Test {
protected:
    Engine* e = engine_instance();

    void SetUp() override
    {
        // Never fall back to a server this test did not start.
        const char* server = std::getenv("JACK_DEFAULT_SERVER");
        if (!server || !*server)
            GTEST_FAIL() << "no private JACK server: run under tools/with-jack.sh";
        engine_use_backend(nullptr, nullptr);
        ASSERT_TRUE(engine_init(e)) << e->error_text;
        ASSERT_TRUE(engine_start(e)) << e->error_text;
    }
    void TearDown() override { engine_shutdown(e); }

    // Waits until n more callbacks have run; false after a generous deadline.
    bool wait_blocks(uint32_t n)
    {
        uint32_t start = e->callback_count.load();
        return test_wait_until([&] { return e->callback_count.load() - start >= n; }, [] {}, 1);
    }
};

// Server: 48 kHz, 128 frames, 4 capture and 2 playback ports.
TEST_F(EngineJack, RunsAt48k)
{
    EXPECT_EQ(e->running, 1);
    EXPECT_STREQ(e->host_label, "JACK");
    EXPECT_STREQ(e->opened_device.api, "jack");
    EXPECT_STREQ(e->opened_device.key, "jack:system");
    EXPECT_EQ(e->sample_rate, 48000.0);
    EXPECT_EQ(e->input_channels, 4);
    EXPECT_EQ(e->opened_device.inputs_opened, 4);
    EXPECT_EQ(e->opened_device.inputs_on_device, 4);
    // A second of blocks of 128 frames (how fast they come is the server's business).
    EXPECT_TRUE(wait_blocks(375));
    EXPECT_EQ(e->block_frames.load(), 128);
}

// Server: 48 kHz. A graph client named with control characters is listed without them.
TEST_F(EngineJack, ControlCharactersInAClientNameNeverReachTheDeviceList)
{
    jack_client_t* c = jack_client_open("evil\nslot0_vstpath=/x.so\x1b", JackNoStartServer, nullptr);
    ASSERT_NE(c, nullptr);
    ASSERT_NE(jack_port_register(c, "out", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0), nullptr);
    plat_jack_refresh_devices();
    bool found = false;
    for (int i = 0; i < plat_jack_device_count(); i++)
        found = found || std::string(plat_jack_device(i)->name) == "evil?slot0_vstpath=/x.so?";
    EXPECT_TRUE(found);
    jack_client_close(c);
}

// Server: 44.1 kHz. The open at 48 kHz is refused and the device's own rate follows.
TEST_F(EngineJack, FallsBackToServerRate)
{
    EXPECT_EQ(e->running, 1);
    EXPECT_EQ(e->sample_rate, 44100.0);
    EXPECT_EQ(e->opened_device.sample_rate, 44100.0);
    EXPECT_TRUE(wait_blocks(100));
}

// Server: 70 capture ports; the stream opens the first 64.
TEST_F(EngineJack, ClampsTo64Inputs)
{
    EXPECT_EQ(e->running, 1);
    EXPECT_EQ(e->input_channels, 64);
    EXPECT_EQ(e->opened_device.inputs_opened, 64);
    EXPECT_EQ(e->opened_device.inputs_on_device, 64);
    EXPECT_TRUE(wait_blocks(100));
}

// ---------------------------------------------------------------------------
// The looper on a real stream
// ---------------------------------------------------------------------------

// Sums the squares of the left output while asked to: with the monitor on and no
// loop, that is the input's level. Asked to record n blocks, it starts the recording
// at the end of one block and ends it at the end of the nth after, so that exactly n
// blocks record whenever the test's thread gets to run.
struct LevelTap {
    Engine* engine = nullptr;
    std::atomic<int> measuring{0};
    std::atomic<double> sum{0.0};
    std::atomic<int64_t> frames{0};
    std::atomic<int> record_blocks{0};   // blocks still to record
    bool recording = false;              // the audio thread's own
};

void level_tap(void* ctx, const float* out, int32_t frames, int32_t)
{
    LevelTap* t = (LevelTap*)ctx;
    if (t->record_blocks.load(std::memory_order_relaxed) > 0) {
        if (!t->recording)
            t->engine->record.store(1);
        else if (t->record_blocks.fetch_sub(1) == 1)
            t->engine->record.store(0);
        t->recording = t->record_blocks.load(std::memory_order_relaxed) > 0;
    }
    if (!t->measuring.load(std::memory_order_relaxed))
        return;
    double s = 0.0;
    for (int32_t i = 0; i < frames; i++)
        s += (double)out[2 * i] * out[2 * i];
    t->sum.store(t->sum.load(std::memory_order_relaxed) + s, std::memory_order_relaxed);
    t->frames.store(t->frames.load(std::memory_order_relaxed) + frames, std::memory_order_relaxed);
}

double rms(const float* x, size_t n, size_t stride = 1)
{
    double s = 0.0;
    for (size_t i = 0; i < n; i++)
        s += (double)x[i * stride] * x[i * stride];
    return n ? std::sqrt(s / (double)n) : 0.0;
}

double peak(const float* x, size_t n, size_t stride = 1)
{
    double p = 0.0;
    for (size_t i = 0; i < n; i++)
        p = std::fmax(p, std::fabs((double)x[i * stride]));
    return p;
}

double db(double ratio)
{
    return 20.0 * std::log10(ratio);
}


class LooperJack : public EngineJack {};

// Server: 48 kHz, 128 frames. jack_simple_client plays a 240 Hz sine (peak 0.2) on
// output1, which goes into the stream's first input; the second input stays silent.
TEST_F(LooperJack, RecordsAToneForASecondAndPlaysItBack)
{
    for (const char* tool : {"jack_simple_client", "jack_connect", "jack_rec"})
        if (!testproc_available(tool))
            GTEST_SKIP() << tool << " is not installed";
    ASSERT_EQ(e->sample_rate, 48000.0);

    LevelTap tap;
    tap.engine = e;
    engine_set_output_tap(e, level_tap, &tap);
    // The tap goes before the record it writes to, on every way out of the test.
    struct TapOff {
        Engine* e;
        ~TapOff() { engine_clear_output_tap(e, TEST_WAIT_SECONDS * 1000); }
    } tap_off{e};
    const char* client[] = {"jack_simple_client", nullptr};
    TestChild tone(client);
    ASSERT_TRUE(tone.started());
    const char* connect[] = {"jack_connect", "jack_simple_client:output1", "PortAudio:in_0", nullptr};
    bool connected = false;
    for (int tries = 0; tries < 100 && !connected; tries++) {
        connected = testproc_run(connect, 5000) == 0;
        if (!connected)
            sleep_ms(50);
    }
    ASSERT_TRUE(connected) << "jack_connect never succeeded";
    test_wait_until([&] { return e->input_peak.load() >= 0.1f; }, [] {}, 5);
    ASSERT_GE(e->input_peak.load(), 0.1f) << "the tone never reached the input";

    // The source's level, heard through the monitor before anything is recorded.
    tap.measuring = 1;
    ASSERT_TRUE(wait_blocks(100));
    tap.measuring = 0;
    ASSERT_TRUE(engine_wait_blocks_passed(e, TEST_WAIT_SECONDS * 1000));
    ASSERT_GT(tap.frames.load(), 0);
    double source = std::sqrt(tap.sum.load() / (double)tap.frames.load());
    ASSERT_GT(source, 0.05);

    // One second of recording, measured in callbacks: 375 blocks of 128 frames.
    tap.record_blocks = 375;
    ASSERT_TRUE(test_wait_until([&] { return tap.record_blocks.load() == 0 && e->length.load() != 0; }, [] {}, 1))
        << "the recording did not close";
    int32_t len = e->length.load();
    std::printf("[ loop    ] %d frames (%+d against 48000)\n", len, len - 48000);
    EXPECT_NEAR(len, 48000, 128);
    ASSERT_GT(len, 24000);

    // Let the record ramp's fade-out finish at the loop's start, then copy the loop
    // with the callback held off it.
    e->monitor = 0;
    ASSERT_TRUE(wait_blocks(60));
    std::vector<float> left((size_t)len), right((size_t)len);
    loop_begin_write(e);
    std::copy(e->loop_left, e->loop_left + len, left.begin());
    std::copy(e->loop_right, e->loop_right + len, right.begin());
    loop_end_write(e);

    // Past the fade-in (the ramp is within 0.01 dB of 1 after about 4600 frames) the
    // loop holds the tone at the source's level; the silent input stays silent.
    const size_t skip = 6000;
    double held = rms(left.data() + skip, left.size() - skip);
    std::printf("[ level   ] source %.4f, loop %.4f (%+.3f dB)\n", source, held, db(held / source));
    EXPECT_NEAR(db(held / source), 0.0, 1.0);
    EXPECT_NEAR(peak(left.data() + skip, left.size() - skip), source * std::sqrt(2.0), 0.02);
    EXPECT_LT(peak(right.data(), right.size()), 1e-6);

    // With the monitor off only the loop can sound: capture a second of the output.
    std::string wav = ::testing::TempDir() + "tessel-looper-jack-" +
                      std::to_string(Clock::now().time_since_epoch().count()) + ".wav";
    const char* rec[] = {"jack_rec", "-f", wav.c_str(), "-d", "1", "PortAudio:out_0", "PortAudio:out_1", nullptr};
    ASSERT_EQ(testproc_run(rec, 20000), 0) << "jack_rec failed";
    int channels = 0;
    std::vector<float> pcm;
    bool read = wav_capture_read(wav, &channels, &pcm);
    std::remove(wav.c_str());
    ASSERT_TRUE(read) << "no 16-bit WAV from jack_rec";
    ASSERT_EQ(channels, 2);
    size_t frames = pcm.size() / 2;
    ASSERT_GE(frames, 24000u);
    double played = rms(pcm.data(), frames, 2);
    std::printf("[ playback] %zu frames, left %.4f (%+.3f dB), right peak %.6f\n", frames, played,
                db(played / source), peak(pcm.data() + 1, frames, 2));
    EXPECT_NEAR(db(played / source), 0.0, 1.0);
    EXPECT_LE(peak(pcm.data() + 1, frames, 2), 1.0 / 32768.0);
}

}  // namespace
