// The loop shared between the UI thread and a running callback: loop writes from the
// UI under the hold, and one-shot requests raised while blocks run.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "audio/engine.h"
#include "audio/looper.h"
#include "platform/plat_audio_api.h"
#include "support/fake_audio.h"

namespace {

class LooperShared : public ::testing::Test {
protected:
    Engine* e = engine_instance();
    std::atomic<bool> stop{false};
    std::thread audio;

    void SetUp() override
    {
        fake_audio_reset();
        engine_use_backend(fake_audio_backend(), plat_host_api_policy_windows());
        ASSERT_TRUE(engine_init(e));
        e->input_channels = 2;
        e->sample_rate = 48000.0;
        e->running = 1;   // the hold waits only while a stream runs
    }
    void TearDown() override
    {
        stop_audio();
        e->running = 0;
        engine_shutdown(e);
        engine_use_backend(nullptr, nullptr);
    }
    void start_audio(float level)
    {
        audio = std::thread([this, level] {
            std::vector<float> in(256, level), out(256);
            while (!stop.load())
                engine_audio_callback(in.data(), out.data(), 128, nullptr, 0, e);
        });
    }
    void stop_audio()
    {
        stop = true;
        if (audio.joinable())
            audio.join();
    }
    void wait_blocks(uint32_t n)
    {
        uint32_t until = e->callback_count.load() + n;
        while (e->callback_count.load() < until)
            std::this_thread::yield();
    }
};

TEST_F(LooperShared, LoadingALoopDuringAFirstPassKeepsExactlyWhatWasLoaded)
{
    // Silence is recorded, so any first-pass write that slips past the hold zeroes
    // part of the loaded loop, and a stale length or position shows at once.
    e->record = 1;
    start_audio(0.0f);
    std::vector<float> l(10000), r(10000);
    for (int i = 0; i < 10000; i++) {
        l[(size_t)i] = 0.5f + i * 1e-5f;
        r[(size_t)i] = -0.5f - i * 1e-5f;
    }
    for (int round = 0; round < 20; round++) {
        e->clear_request = 1;
        wait_blocks(30 + round);   // a first pass of a few thousand frames runs
        loop_set_buffers(e, l.data(), r.data(), 10000);
        wait_blocks(3);
        loop_begin_write(e);
        ASSERT_EQ(e->length.load(), 10000) << round;
        for (int i = 0; i < 10000; i++) {
            ASSERT_EQ(e->loop_left[i], l[(size_t)i]) << round << " " << i;
            ASSERT_EQ(e->loop_right[i], r[(size_t)i]) << round << " " << i;
        }
        loop_end_write(e);
    }
}

TEST_F(LooperShared, AFirstPassClosedFromTheUiBecomesTheLoopOnce)
{
    start_audio(0.1f);
    for (int round = 0; round < 40; round++) {
        e->clear_request = 1;
        e->record = 1;
        wait_blocks(50 + round);   // longer than a dropped take
        uint32_t sets = e->loop_set_count.load();
        e->record = round % 2;
        ASSERT_TRUE(loop_close_open_pass(e));
        EXPECT_GT(e->length.load(), 4800) << round;
        wait_blocks(2);
        EXPECT_EQ(e->loop_set_count.load(), sets + 1) << round;
    }
}

TEST_F(LooperShared, RequestsRaisedWhileBlocksRunAreAppliedExactlyOnce)
{
    start_audio(0.1f);
    const int kRequests = 2000;
    for (int i = 0; i < kRequests; i++) {
        e->length_request.store(1000 + (i % 7) * 100);
        while (e->length_request.load() != 0)
            std::this_thread::yield();
        e->seek_request.store(i % 900);
        while (e->seek_request.load() != -1)
            std::this_thread::yield();
    }
    EXPECT_EQ(e->loop_set_count.load(), (uint32_t)kRequests);
    e->clear_request = 1;
    while (e->clear_request.load())
        std::this_thread::yield();
    wait_blocks(2);
    EXPECT_EQ(e->length.load(), 0);
}

}  // namespace
