// The engine's hooks taken back while the callback runs on another thread: after a
// clear returns, the old function is never called again and its context may be
// freed at once.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "audio/engine.h"
#include "audio/looper.h"
#include "platform/plat_audio_api.h"
#include "support/fake_audio.h"
#include "support/test_wait.h"

namespace {

const uint32_t kAlive = 0x600DF00Du;

struct HookContext {
    uint32_t magic = kAlive;
};

std::atomic<int> g_bad{0};
std::atomic<int> g_calls{0};

// Reads the context at the start and again after a short dwell, so a context freed
// while a block still runs the hook is seen (and reported by the sanitizers).
void check_context(void* ctx)
{
    const HookContext* c = (const HookContext*)ctx;
    if (!c || c->magic != kAlive) {
        g_bad.fetch_add(1);
        return;
    }
    auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(20);
    while (std::chrono::steady_clock::now() < until) {
    }
    if (c->magic != kAlive)
        g_bad.fetch_add(1);
    g_calls.fetch_add(1, std::memory_order_relaxed);
}

void render_hook(void* ctx, float*, float*, int32_t, double)
{
    check_context(ctx);
}

void output_tap(void* ctx, const float*, int32_t, int32_t)
{
    check_context(ctx);
}

TEST(EngineHooks, AClearedHookIsNeverCalledAgainAndItsContextMayBeFreed)
{
    fake_audio_reset();
    engine_use_backend(fake_audio_backend(), plat_host_api_policy_windows());
    Engine* e = engine_instance();
    ASSERT_TRUE(engine_init(e));
    e->input_channels = 2;
    // No real stream: the test's thread plays the audio thread, and the clear waits
    // on the block counters as it would with a stream running.
    e->running = 1;

    std::atomic<bool> stop{false};
    std::thread audio([&] {
        std::vector<float> in(2 * 64, 0.1f), out(2 * 64);
        while (!stop.load())
            engine_audio_callback(in.data(), out.data(), 64, nullptr, 0, e);
    });

    for (int i = 0; i < 300; i++) {
        HookContext* hc = new HookContext;
        HookContext* tc = new HookContext;
        engine_set_render_hook(e, render_hook, hc);
        engine_set_output_tap(e, output_tap, tc);
        int seen = g_calls.load();
        while (g_calls.load() < seen + 2)
            std::this_thread::yield();
        ASSERT_TRUE(engine_clear_render_hook(e, TEST_WAIT_SECONDS * 1000));
        hc->magic = 0;
        delete hc;
        ASSERT_TRUE(engine_clear_output_tap(e, TEST_WAIT_SECONDS * 1000));
        tc->magic = 0;
        delete tc;
    }
    stop = true;
    audio.join();
    EXPECT_EQ(g_bad.load(), 0);
    EXPECT_EQ(e->render_hook.load(), nullptr);
    EXPECT_EQ(e->render_hook_ctx.load(), nullptr);
    EXPECT_EQ(e->output_tap.load(), nullptr);
    EXPECT_EQ(e->output_tap_ctx.load(), nullptr);

    e->running = 0;
    engine_shutdown(e);
    engine_use_backend(nullptr, nullptr);
}

}  // namespace
