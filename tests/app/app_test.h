// app_test.h - an AppState over an Engine from engine_init with the scripted audio
// library (no stream): tests set the engine's counters and flags or run its callback
// by hand.
#pragma once
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/settings.h"
#include "app/session_take.h"
#include "app/take_wait.h"
#include "app/takes.h"
#include "app/video_player.h"
#include "audio/engine.h"
#include "audio/looper.h"
#include "platform/plat_audio_api.h"
#include "platform/plat_time.h"
#include "support/test_wait.h"
#include "support/fake_audio.h"

// How long a test waits for a write before it fails: generous, since a loaded machine
// may take long; a writer that never ends fails the test rather than hanging it.
constexpr int kWriteLimitMs = TEST_WAIT_SECONDS * 1000;

// Starts the engine on the scripted audio library with two inputs at 48 kHz (no
// stream is opened); pair with app_test_engine_stop.
inline bool app_test_engine_start(Engine* e)
{
    fake_audio_reset();
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

// A fresh folder under the temporary folder, named for the running test and removed
// with everything in it.
struct AppTestFolder {
    std::filesystem::path path;
    explicit AppTestFolder(const char* suffix = "")
    {
        const ::testing::TestInfo* t = ::testing::UnitTest::GetInstance()->current_test_info();
        path = std::filesystem::temp_directory_path() / (std::string("tessel-") + t->test_suite_name() + "-" +
                                                         t->name() + "-" + std::to_string(getpid()) + suffix);
        std::filesystem::remove_all(path);
        std::filesystem::create_directories(path);
    }
    ~AppTestFolder() { std::filesystem::remove_all(path); }
};

class AppTest : public ::testing::Test {
protected:
    Engine* e = engine_instance();
    AppState* app = app_instance();
    uint32_t saves_before = 0;
    AppTestFolder takes;
    AppTestFolder data{"-data"};

    void SetUp() override
    {
        ASSERT_TRUE(app_test_engine_start(e));
        app_init(app, e, "/opt/tessel");
        snprintf(app->takes_folder, sizeof app->takes_folder, "%s", takes.path.c_str());
        snprintf(app->data_folder, sizeof app->data_folder, "%s", data.path.c_str());
        saves_before = settings_save_count();
    }
    // The loop as it stands went to the session take's writer.
    bool saved() const { return app->session_gen_saved == e->content_generation.load(); }
    void TearDown() override
    {
        // A restored or opened video started a worker.
        video_player_destroy(app->video_player);
        app->video_player = nullptr;
        session_wav_test_hold(false);
        session_wav_wait(kWriteLimitMs);
        app_test_engine_stop(e);
    }

    // The session take written now; whether the write began and succeeded.
    bool save()
    {
        uint32_t failed = session_wav_writes_failed();
        return session_wav_save(app) && session_wav_wait(kWriteLimitMs) && session_wav_writes_failed() == failed;
    }
    // settings_save calls since the test began.
    int settings_saves() const { return (int)(settings_save_count() - saves_before); }

    void run_callback(int frames, float level) { app_test_run_callback(e, frames, level); }
    // Frames (and blocks of input at level while the stream runs) until n, a load or e
    // stops waiting for the loop to be secured, and the loader is idle; false when it
    // never stops.
    bool wait_ends(float level = 0.0f)
    {
        return test_wait_until([&] { return !take_waiting(app) && take_load_state() == 0; }, [&] {
            if (e->running)
                run_callback(128, level);
            app->ui_time += 0.001;
            app_update(app, 0.001f);
        }, 1);
    }
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
