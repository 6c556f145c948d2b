// Real plug-ins from Debian's packages load, run and unload cleanly: an instrument
// with one output, a reverb that exports only "main", LSP plug-ins that ask for the
// time on every block or declare 18 outputs, and a library beside them that is no
// plug-in at all. Each test skips when its package is not installed.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "audio/vst.h"
#include "audio/vst_plugin.h"
#include "platform/plat_dir.h"
#include "vst_test_support.h"

namespace {

const int kBlock = 256;

struct Stereo {
    std::vector<float> left = std::vector<float>(kBlock, 0.0f);
    std::vector<float> right = std::vector<float>(kBlock, 0.0f);
    void clear()
    {
        std::fill(left.begin(), left.end(), 0.0f);
        std::fill(right.begin(), right.end(), 0.0f);
    }
    double energy() const
    {
        double e = 0.0;
        for (int i = 0; i < kBlock; i++)
            e += (double)left[(size_t)i] * left[(size_t)i] + (double)right[(size_t)i] * right[(size_t)i];
        return e;
    }
    bool finite() const
    {
        for (int i = 0; i < kBlock; i++)
            if (!std::isfinite(left[(size_t)i]) || !std::isfinite(right[(size_t)i]))
                return false;
        return true;
    }
};

VstPlugin* load_real(const char* path)
{
    char err[160] = {};
    VstPlugin* p = vst_load(path, 48000.0f, 4096, err, sizeof err);
    EXPECT_NE(p, nullptr) << path << ": " << err;
    return p;
}

}   // namespace

TEST(VstReal, KarsPlaysANoteOnBothSidesFromItsOneOutput)
{
    VST_REQUIRE_FILE(VST_REAL_KARS);
    VstPlugin* p = load_real(VST_REAL_KARS);
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(vst_is_synth(p));
    EXPECT_EQ(p->effect->num_outputs, 1);
    Stereo bus;
    vst_process(p, bus.left.data(), bus.right.data(), kBlock);
    EXPECT_EQ(bus.energy(), 0.0);
    ASSERT_TRUE(vst_midi_push(p, 0x90, 60, 110));
    double energy = 0.0;
    for (int block = 0; block < 20; block++) {
        bus.clear();
        vst_process(p, bus.left.data(), bus.right.data(), kBlock);
        ASSERT_TRUE(bus.finite());
        ASSERT_EQ(bus.left, bus.right);
        energy += bus.energy();
    }
    EXPECT_GT(energy, 1e-3);
    vst_unload(p);
}

TEST(VstReal, DragonflyHallLoadsThroughMainAndLeavesATail)
{
    VST_REQUIRE_FILE(VST_REAL_HALL);
    VstPlugin* p = load_real(VST_REAL_HALL);
    ASSERT_NE(p, nullptr);
    EXPECT_FALSE(vst_is_synth(p));
    Stereo bus;
    bus.left[0] = bus.right[0] = 1.0f;
    vst_process(p, bus.left.data(), bus.right.data(), kBlock);
    // From 0.1 s after the impulse on, only the reverb's tail can sound.
    double tail = 0.0;
    for (int block = 1; block < 100; block++) {
        bus.clear();
        vst_process(p, bus.left.data(), bus.right.data(), kBlock);
        ASSERT_TRUE(bus.finite());
        if (block * kBlock > 4800)
            tail += bus.energy();
    }
    EXPECT_GT(tail, 1e-6);
    vst_unload(p);
}

TEST(VstReal, LspCompressorIsAnsweredTheTimeOnEveryBlock)
{
    VST_REQUIRE_FILE(VST_REAL_COMPRESSOR);
    VstPlugin* p = load_real(VST_REAL_COMPRESSOR);
    ASSERT_NE(p, nullptr);
    Stereo bus;
    for (int block = 0; block < 40; block++) {
        for (int i = 0; i < kBlock; i++)
            bus.left[(size_t)i] = bus.right[(size_t)i] = 0.5f * std::sin(0.05f * (float)(block * kBlock + i));
        vst_process(p, bus.left.data(), bus.right.data(), kBlock);
        ASSERT_TRUE(bus.finite());
        // The time record is filled only when the plug-in asks for it.
        EXPECT_EQ(p->time_info.sample_pos, (double)(block * kBlock)) << "block " << block;
        EXPECT_EQ(p->time_info.flags, 1026);
    }
    vst_unload(p);
}

TEST(VstReal, LspCrossoverWithEighteenOutputsRunsClean)
{
    VST_REQUIRE_FILE(VST_REAL_CROSSOVER);
    VstPlugin* p = load_real(VST_REAL_CROSSOVER);
    ASSERT_NE(p, nullptr);
    EXPECT_GT(p->effect->num_outputs, 8);
    Stereo bus;
    for (int block = 0; block < 20; block++) {
        std::fill(bus.left.begin(), bus.left.end(), 0.25f);
        std::fill(bus.right.begin(), bus.right.end(), -0.25f);
        vst_process(p, bus.left.data(), bus.right.data(), kBlock);
        ASSERT_TRUE(bus.finite());
    }
    EXPECT_EQ(p->sample_pos.load(), 20.0 * kBlock);   // it ran every block
    vst_unload(p);
}

TEST(VstReal, TheLspCoreLibraryIsNoPlugin)
{
    std::string core;
    plat_dir_list(
        VST_REAL_LSP_DIR,
        [](void* ctx, const PlatDirEntry* e) {
            if (std::string(e->name).rfind("lsp-plugins-vst2-", 0) != 0)
                return true;
            *(std::string*)ctx = std::string(VST_REAL_LSP_DIR "/") + e->name;
            return false;
        },
        &core);
    if (core.empty())
        GTEST_SKIP() << "lsp-plugins-vst is not installed (tools/setup-deps.sh installs it)";
    char err[128];
    EXPECT_EQ(vst_load(core.c_str(), 48000.0f, 4096, err, sizeof err), nullptr);
    EXPECT_STREQ(err, "not a VST2 plugin (no VSTPluginMain)");
}
