// The ring between the audio thread and the station thread: the engine's callback on a
// thread of its own feeds the station through its output tap, a listener checks every
// packet against what the tap was given, and the station goes on and off air while
// the tap keeps running.
#include <atomic>
#include <thread>

#include "audio/engine.h"
#include "audio/looper.h"
#include "platform/plat_audio_api.h"
#include "station_fixture.h"
#include "support/fake_audio.h"

namespace {

// The tap the shell installs: the station is the context.
void station_tap(void* ctx, const float* samples, int32_t frames, int32_t rate)
{
    tcstream_feed((Station*)ctx, samples, frames, (double)rate);
}

class StationEngineTest : public StationTest {
protected:
    Engine* e = engine_instance();

    void SetUp() override
    {
        StationTest::SetUp();
        fake_audio_reset();
        engine_use_backend(fake_audio_backend(), plat_host_api_policy_windows());
        ASSERT_TRUE(engine_init(e));
        e->input_channels = 2;
        e->sample_rate = 48000.0;
        engine_set_output_tap(e, station_tap, s);
    }
    void TearDown() override
    {
        engine_shutdown(e);
        engine_use_backend(nullptr, nullptr);
        StationTest::TearDown();
    }
};

TEST_F(StationEngineTest, ListenerHearsExactlyWhatTheTapWasGiven)
{
    start();
    TcClient c(s->port);
    ASSERT_TRUE(c.wait_for(TCSTREAM_HELLO, nullptr, TC_WAIT_MS));
    ASSERT_TRUE(listeners(1, 5000));

    // Three seconds of output in blocks of 128, kept as the callback wrote them. The
    // test's audio thread waits for room so that no block is dropped; the real one
    // never waits.
    const int block = 128;
    const int64_t total = 3 * 48000 / block * block;
    std::vector<float> output((size_t)total * 2);
    std::thread audio([&] {
        std::vector<float> in((size_t)block * 2);
        for (int64_t at = 0; at < total; at += block) {
            for (int i = 0; i < block; i++) {
                in[(size_t)i * 2] = 0.5f * tc_test_signal(at + i, 0);
                in[(size_t)i * 2 + 1] = 0.5f * tc_test_signal(at + i, 1);
            }
            while (s->written.load() - s->consumed.load() > TCSTREAM_RING_FRAMES / 2)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            engine_audio_callback(in.data(), output.data() + at * 2, (unsigned long)block, nullptr, 0, e);
        }
    });

    std::vector<TcFrame> packets;
    TcFrame f;
    while (c.wait_for(TCSTREAM_AUDIO, &f, TC_WAIT_MS)) {
        packets.push_back(f);
        if (packet_idx(f) + 480 >= (uint64_t)total)
            break;
    }
    audio.join();

    EXPECT_EQ(s->overflow.load(), 0);
    ASSERT_FALSE(packets.empty());
    EXPECT_EQ(packet_idx(packets.back()), (uint64_t)(total - 480));
    int checked = 0;
    for (const TcFrame& p : packets) {
        uint64_t idx = packet_idx(p);
        ASSERT_EQ(p.bytes.size(), (size_t)TCSTREAM_MAX_FRAME);
        for (int i = 0; i < 960; i++)
            ASSERT_EQ(packet_sample(p, i), tcstream_pcm16(output[idx * 2 + (size_t)i])) << "frame " << idx;
        checked++;
    }
    EXPECT_GT(checked, 100);
}

// n mod 1024 of the test signal frame whose left sample gave this PCM value, or -1.
int signal_phase(int16_t left)
{
    for (int q = 0; q < 1024; q++)
        if (expected_pcm(q, 0) == left)
            return q;
    return -1;
}

TEST_F(StationTest, GoingOnAndOffAirWhileTheTapRunsNeverTearsAPacket)
{
    // Before each stop the tap is given a block the ring cannot take: it is measured
    // and dropped, so nothing publishes what the measuring wrote. The request and its
    // answer are relaxed on purpose: they order nothing, so a start that touched the
    // feed's own state would race with that block every round, and the race detector
    // would see it. The dropped block does not move the signal on.
    std::atomic<bool> done{false};
    std::atomic<int> drop{0};
    std::vector<float> too_big((size_t)(TCSTREAM_RING_FRAMES + 1) * 2, 0.1f);
    std::thread audio([&] {
        int64_t at = 0;
        while (!done.load()) {
            if (drop.load(std::memory_order_relaxed) == 1) {
                tcstream_feed(s, too_big.data(), TCSTREAM_RING_FRAMES + 1, 48000.0);
                drop.store(2, std::memory_order_relaxed);
            }
            std::vector<float> b = tc_test_block(at, 128);
            tcstream_feed(s, b.data(), 128, 48000.0);
            at += 128;
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
    });

    for (int round = 0; round < 10; round++) {
        start();
        TcClient c(s->port);
        ASSERT_TRUE(c.wait_for(TCSTREAM_HELLO, nullptr, TC_WAIT_MS));
        for (int k = 0; k < 3; k++) {
            TcFrame f;
            ASSERT_TRUE(c.wait_for(TCSTREAM_AUDIO, &f, TC_WAIT_MS)) << "round " << round;
            if (k == 0) {
                EXPECT_EQ(packet_seq(f), 0u);
                EXPECT_EQ(packet_flags(f) & TCSTREAM_FLAG_RESYNC, TCSTREAM_FLAG_RESYNC);
            }
            // Whatever stretch of the signal a packet holds, it holds it unbroken.
            int q = signal_phase(packet_sample(f, 0));
            ASSERT_GE(q, 0);
            EXPECT_TRUE(packet_matches(f, q)) << "round " << round << " packet " << k;
        }
        drop.store(1, std::memory_order_relaxed);
        while (drop.load(std::memory_order_relaxed) != 2)
            std::this_thread::yield();
        drop.store(0, std::memory_order_relaxed);
        tcstream_stop(s);
        EXPECT_TRUE(c.wait_closed(TC_WAIT_MS));
    }
    done = true;
    audio.join();
}

}  // namespace
