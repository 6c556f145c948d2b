// Effect patch tests: the patch runner (bypass, fully wet slots one frame late, OFF
// slots that keep their tail) and the callback's crossfade and wet/dry.
#include <gtest/gtest.h>

#include <cstring>

#include "audio/engine.h"
#include "audio/looper.h"
#include "fx_testkit.h"

namespace {

// An engine with its buses and slots but no loop and no stream: playing is off, so
// the callback only monitors the input through the patches and the soft clipper.
struct PatchEngine {
    Engine* e = new Engine();
    std::vector<float> buses[6];

    PatchEngine()
    {
        float** b[6] = {&e->bus_left, &e->bus_right, &e->patch_a_left, &e->patch_a_right,
                        &e->patch_b_left, &e->patch_b_right};
        for (int i = 0; i < 6; i++) {
            buses[i].assign(ENGINE_MAX_BLOCK, 0.0f);
            *b[i] = buses[i].data();
        }
        for (FxSlot& s : e->slots)
            fx_init(&s);
        e->playing.store(0);
        e->input_channels = 2;
    }
    ~PatchEngine()
    {
        for (FxSlot& s : e->slots)
            fx_free(&s);
        delete e;
    }
    void set(int slot, int type, float k1, float k2)
    {
        e->slots[slot].effect_type.store(type);
        e->slots[slot].knob1.store(k1);
        e->slots[slot].knob2.store(k2);
    }
    // Runs slots 0-1 on a buffer pair with the patch runner; returns the left.
    std::vector<float> runner(std::vector<float> l)
    {
        std::vector<float> r = l;
        fxpatch_process(e, 0, l.data(), r.data(), (int)l.size());
        return l;
    }
    // Runs a mono input through the callback in 128-frame blocks; returns the left.
    std::vector<float> callback(const std::vector<float>& in)
    {
        std::vector<float> out, inter(256), outer(256);
        for (size_t at = 0; at + 128 <= in.size(); at += 128) {
            for (int i = 0; i < 128; i++)
                inter[2 * i] = inter[2 * i + 1] = in[at + i];
            engine_audio_callback(inter.data(), outer.data(), 128, nullptr, 0, e);
            for (int i = 0; i < 128; i++)
                out.push_back(outer[2 * i]);
        }
        return out;
    }
};

}  // namespace

TEST(FxPatch, BypassedSlotsPassTheSignalBitExactly)
{
    PatchEngine pe;
    FxtNoise noise;
    std::vector<float> l = noise.block(512), r = noise.block(512), l0 = l, r0 = r;
    pe.set(0, FX_HALL, 0.5f, 0.5f);
    pe.set(1, FX_BITCRUSH, 0.0f, 1.0f);
    pe.e->slots[0].bypass.store(1);
    pe.e->slots[1].bypass.store(1);
    // A bypassed slot never reaches its plug-in either.
    alignas(16) char dummy[64] = {};
    pe.e->slots[1].plugin.store(reinterpret_cast<VstPlugin*>(dummy));
    fxpatch_process(pe.e, 0, l.data(), r.data(), 512);
    EXPECT_EQ(0, std::memcmp(l.data(), l0.data(), 512 * sizeof(float)));
    EXPECT_EQ(0, std::memcmp(r.data(), r0.data(), 512 * sizeof(float)));
    pe.e->slots[1].plugin.store(nullptr);
}

TEST(FxPatch, ASlotIsFullyWetAndOneFrameLate)
{
    // Through the runner a 96-frame DELAY sounds at 97: the slot hands out the output
    // of the frame before. No dry signal is left.
    PatchEngine pe;
    pe.set(0, FX_DELAY, 0.0f, 0.0f);
    pe.runner(std::vector<float>(FX_FADE_FRAMES, 0.0f));   // once it has faded in
    std::vector<float> l = pe.runner(fxt_impulse(512));
    for (int i = 0; i < 512; i++)
        ASSERT_EQ(l[i], i == 97 ? 1.0f : 0.0f) << "frame " << i;
}

TEST(FxPatch, OffSlotIsSkippedAndResumesItsTail)
{
    // HALL -> OFF -> HALL: the OFF slot passes the signal as it is, and the returning
    // hall picks up the tail it left.
    PatchEngine pe;
    pe.set(0, FX_HALL, 1.0f, 0.2f);
    pe.runner(std::vector<float>(FX_FADE_FRAMES, 0.0f));
    pe.runner(fxt_impulse(4096));
    fx_set_type(&pe.e->slots[0], FX_OFF);
    std::vector<float> silence(4096, 0.0f);
    pe.runner(silence);   // the hall fades out
    EXPECT_EQ(pe.runner(silence), silence);
    fx_set_type(&pe.e->slots[0], FX_HALL);
    EXPECT_GT(fxt_rms(pe.runner(silence)), 0.01);
}

TEST(FxPatch, CrossfadeAndWetDryAreEqualGain)
{
    FxtNoise noise;
    std::vector<float> in = noise.block(4096, 0.3f);
    // Patch A: a 96-frame echo (97 through the runner); patch B: nothing (dry).
    for (float x : {0.0f, 0.3f, 1.0f})
        for (float w : {0.0f, 0.5f, 1.0f}) {
            PatchEngine pe;
            pe.set(0, FX_DELAY, 0.0f, 0.0f);
            pe.e->crossfade.store(x);
            pe.e->wet_dry.store(w);
            pe.callback(std::vector<float>(256, 0.0f));   // the slot fades in
            std::vector<float> out = pe.callback(in);
            for (size_t i = 0; i < out.size(); i++) {
                float a = i >= 97 ? in[i - 97] : 0.0f;
                float wet = x * a + (1.0f - x) * in[i];
                ASSERT_NEAR(out[i], w * wet + (1.0f - w) * in[i], 1e-6f)
                    << "crossfade " << x << ", wet " << w << ", frame " << i;
            }
        }
    // The same signal in both patches comes out at its own level at any crossfade.
    for (float x : {0.25f, 0.5f}) {
        PatchEngine pe;
        pe.set(0, FX_DELAY, 0.0f, 0.0f);
        pe.set(2, FX_DELAY, 0.0f, 0.0f);
        pe.e->crossfade.store(x);
        pe.callback(std::vector<float>(256, 0.0f));
        std::vector<float> out = pe.callback(in);
        for (size_t i = 97; i < out.size(); i++)
            ASSERT_NEAR(out[i], in[i - 97], 1e-6f) << "crossfade " << x << ", frame " << i;
    }
}
