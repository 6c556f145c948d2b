// Insert slot concurrency: the UI changes types, knobs and bypass while the audio
// thread runs the patches; only the shared atomics are touched by both.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

#include "audio/engine.h"
#include "audio/looper.h"

TEST(FxConc, UiChangesWhileTheAudioThreadRunsThePatches)
{
    Engine* e = new Engine();
    for (FxSlot& s : e->slots)
        ASSERT_EQ(fx_init(&s), 0);
    std::atomic<bool> stop{false}, finite{true};
    std::atomic<int> blocks{0};
    std::thread audio([&] {
        std::vector<float> l(128, 0.5f), r(128, -0.5f);
        while (!stop.load()) {
            fxpatch_process(e, 0, l.data(), r.data(), 128);
            fxpatch_process(e, 2, l.data(), r.data(), 128);
            for (int i = 0; i < 128; i++)
                finite.store(finite.load() && std::isfinite(l[i]) && std::isfinite(r[i]));
            blocks.fetch_add(1);
        }
    });
    testing::internal::CaptureStderr();
    for (int k = 0; k < 300; k++) {
        FxSlot* s = &e->slots[k % ENGINE_SLOTS];
        fx_set_type(s, (k * 7) % FX_TYPE_COUNT);
        s->knob1.store((float)(k % 11) / 10.0f, std::memory_order_relaxed);
        s->knob2.store((float)(k % 5) / 4.0f, std::memory_order_relaxed);
        s->bypass.store(k % 13 == 0, std::memory_order_relaxed);
        for (int seen = blocks.load(); blocks.load() < seen + 2;)
            std::this_thread::yield();   // a couple of blocks under each setting
    }
    stop.store(true);
    audio.join();
    testing::internal::GetCapturedStderr();
    EXPECT_TRUE(finite.load());
    for (FxSlot& s : e->slots)
        fx_free(&s);
    delete e;
}
