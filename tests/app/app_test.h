// app_test.h - an AppState over an Engine from engine_init with the scripted audio
// library (no stream): tests set the engine's counters and flags or run its callback
// by hand, and read what the stand-ins were asked to do.
#pragma once
#include <gtest/gtest.h>

#include <vector>

#include "app/app_state.h"
#include "app/standins.h"
#include "audio/engine.h"
#include "audio/looper.h"
#include "platform/plat_audio_api.h"
#include "support/fake_audio.h"

// Starts the engine on the scripted audio library with two inputs at 48 kHz (no
// stream is opened); pair with app_test_engine_stop.
inline bool app_test_engine_start(Engine* e)
{
    fake_audio_reset();
    standin_reset();
    engine_use_backend(fake_audio_backend(), plat_host_api_policy_windows());
    if (!engine_init(e))
        return false;
    e->input_channels = 2;
    e->sample_rate = 48000.0;
    return true;
}
inline void app_test_engine_stop(Engine* e)
{
    engine_shutdown(e);
    engine_use_backend(nullptr, nullptr);
}
// Runs frames of constant stereo input through the callback in blocks of 128.
inline void app_test_run_callback(Engine* e, int frames, float level)
{
    std::vector<float> in, out;
    while (frames > 0) {
        int n = frames < 128 ? frames : 128;
        in.assign((size_t)n * 2, level);
        out.assign((size_t)n * 2, 0.0f);
        engine_audio_callback(in.data(), out.data(), (unsigned long)n, nullptr, 0, e);
        frames -= n;
    }
}

class AppTest : public ::testing::Test {
protected:
    Engine* e = engine_instance();
    AppState* app = app_instance();
    StandinLog* log = standin_log();

    void SetUp() override
    {
        ASSERT_TRUE(app_test_engine_start(e));
        app_init(app, e, "/opt/tessel");
    }
    void TearDown() override { app_test_engine_stop(e); }

    void run_callback(int frames, float level) { app_test_run_callback(e, frames, level); }
    void frames(int count, float dt = 0.05f)
    {
        for (int i = 0; i < count; i++)
            app_update(app, dt);
    }
    int live_particles() const
    {
        int n = 0;
        for (const Particle& p : app->particles.slots)
            n += p.active;
        return n;
    }
};
