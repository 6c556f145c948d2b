// A stream whose stop never returns (its server has gone) is abandoned within the
// bound; a callback it still makes plays silence beside the next stream's, and
// shutdown leaves the audio library alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "audio/engine.h"
#include "platform/plat_audio_api.h"
#include "support/fake_audio.h"
#include "support/test_wait.h"
#include "support/watchdog.h"

TEST(EngineStop, AStopThatNeverReturnsIsAbandonedWithinTheBound)
{
    fake_audio_reset();
    FakeAudio& fa = fake_audio();
    fa.apis.push_back({13, "Windows WASAPI", 1, 0});
    fa.devices.push_back({"Speakers", 0, 0, 2, 48000.0, 0.003, 0.010});
    fa.devices.push_back({"Mic", 0, 2, 0, 48000.0, 0.003, 0.010});
    std::atomic<bool> release{false};
    std::atomic<int> stops{0};
    fa.on_stop = [&] {   // the first stop hangs until released, as on a server that has gone
        if (stops.fetch_add(1) == 0)
            while (!release.load())
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    engine_use_backend(fake_audio_backend(), plat_host_api_policy_windows());
    Engine* e = engine_instance();
    ASSERT_TRUE(engine_init(e));
    ASSERT_TRUE(engine_start(e));
    PaStreamCallback* old_cb = fa.callback;
    void* old_user = fa.user;
    {
        TEST_WATCHDOG(hung, "engine_stop waits for a stop that never returns", "", TEST_WAIT_SECONDS);
        engine_stop(e);
    }
    EXPECT_EQ(e->running, 0);
    EXPECT_EQ(e->streams_abandoned, 1u);

    ASSERT_TRUE(engine_start(e));
    std::atomic<int> loud{0};
    std::thread ghost([&] {
        float in[256], out[256];
        for (int k = 0; k < 200; k++) {
            std::fill(in, in + 256, 0.5f);
            out[0] = 1.0f;
            old_cb(in, out, 128, nullptr, 0, old_user);
            loud.fetch_add(out[0] != 0.0f);
        }
    });
    float in[256] = {}, out[256];
    for (int k = 0; k < 200; k++)
        fake_audio_pump(in, out, 128);
    ghost.join();
    EXPECT_EQ(loud.load(), 0);
    engine_shutdown(e);
    EXPECT_EQ(fa.terminates, 0);
    release.store(true);
    while (fa.closes.load() < 2)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    engine_use_backend(nullptr, nullptr);
}
