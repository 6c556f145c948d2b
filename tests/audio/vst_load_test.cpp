// The plug-in host loads plug-ins by either entry point, refuses broken ones with
// their message and leaves nothing of them behind, and sets them up in order.
#include <gtest/gtest.h>

#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "audio/vst.h"
#include "platform/plat_dl.h"
#include "support/watchdog.h"
#include "vst_test_support.h"

TEST(VstLoad, FailuresGiveTheirTextAndLeaveNoLibraryMapped)
{
    char err[128];
    EXPECT_EQ(vst_load("/nonexistent/NoSuch.so", 48000.0f, 4096, err, sizeof err), nullptr);
    EXPECT_STREQ(err, "LoadLibrary failed (32-bit plugin in a 64-bit host?)");

    EXPECT_EQ(vst_load(vst_mock_path("vst_mock_noentry.so").c_str(), 48000.0f, 4096, err, sizeof err), nullptr);
    EXPECT_STREQ(err, "not a VST2 plugin (no VSTPluginMain)");
    EXPECT_FALSE(plat_dl_is_mapped("vst_mock_noentry.so"));

    {
        VstMockLib mock("vst_mock.so");
        ASSERT_NE(mock.state, nullptr);

        mock.config().return_null = true;
        EXPECT_EQ(mock.load(err, sizeof err), nullptr);
        EXPECT_STREQ(err, "plugin returned no effect");
        mock.config().return_null = false;

        // A wrong magic number: nothing of the record can be trusted, not even its
        // dispatcher, so the host calls nothing. The test closes it for the leak check.
        mock.config().magic = 0x12345678;
        EXPECT_EQ(mock.load(err, sizeof err), nullptr);
        EXPECT_STREQ(err, "plugin returned no effect");
        EXPECT_EQ(mock.calls(VST_EFF_CLOSE), 0);
        AEffect* stray = mock.stats().last_effect;
        stray->dispatcher(stray, VST_EFF_CLOSE, 0, 0, nullptr, 0.0f);
        mock.config().magic = VST_MAGIC;

        // A valid effect without processReplacing is alive: it is closed before its
        // library goes.
        mock.config().no_replacing = true;
        EXPECT_EQ(mock.load(err, sizeof err), nullptr);
        EXPECT_STREQ(err, "plugin lacks processReplacing");
        EXPECT_EQ(mock.calls(VST_EFF_CLOSE), 2);
        EXPECT_EQ(mock.calls(VST_EFF_OPEN), 0);
        EXPECT_EQ(mock.stats().alive.load(), 0);
        mock.config().no_replacing = false;

        mock.config().flags = VST_FLAG_HAS_EDITOR;   // no can-replace flag
        EXPECT_EQ(mock.load(err, sizeof err), nullptr);
        EXPECT_STREQ(err, "plugin lacks processReplacing");
        EXPECT_EQ(mock.stats().alive.load(), 0);
    }
    // Every failed load dropped its reference: with the test's own gone, the library is.
    EXPECT_FALSE(plat_dl_is_mapped("vst_mock.so"));

    EXPECT_EQ(vst_load(nullptr, 48000.0f, 4096, nullptr, 0), nullptr);

    // Only regular files are opened: the loader would wait on a FIFO for good.
    const std::string fifo = "/tmp/tessel-vst-load-" + std::to_string(getpid()) + ".so";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    {
        TEST_WATCHDOG(watchdog, "the loader waits on a FIFO", fifo, 5);
        EXPECT_EQ(vst_load(fifo.c_str(), 48000.0f, 4096, err, sizeof err), nullptr);
    }
    unlink(fifo.c_str());
}

TEST(VstLoad, EitherEntryPointLoadsAndANamelessPluginIsNamedByItsFile)
{
    char err[128] = "untouched";
    VstMockLib plugin_main("vst_mock.so");
    VstPlugin* a = plugin_main.load(err, sizeof err);
    ASSERT_NE(a, nullptr) << err;
    EXPECT_STREQ(err, "");
    EXPECT_STREQ(vst_name(a), "Mock Effect");
    EXPECT_EQ(std::string(vst_path(a)), plugin_main.path);

    // "main" only: found in the library itself, never the program's own main.
    VstMockLib only_main("vst_mock_main.so");
    only_main.config().flags |= VST_FLAG_IS_SYNTH;
    VstPlugin* b = only_main.load(err, sizeof err);
    ASSERT_NE(b, nullptr) << err;
    EXPECT_TRUE(vst_is_synth(b));
    EXPECT_FALSE(vst_is_synth(a));
    EXPECT_EQ(only_main.stats().alive.load(), 1);

    VstMockLib nameless("My.Synth.so");
    nameless.config().name[0] = '\0';
    VstPlugin* c = nameless.load(err, sizeof err);
    ASSERT_NE(c, nullptr) << err;
    EXPECT_STREQ(vst_name(c), "My.Synth");

    vst_unload(a);
    vst_unload(b);
    vst_unload(c);
    EXPECT_EQ(only_main.stats().alive.load(), 0);
    EXPECT_STREQ(vst_name(nullptr), "");
    EXPECT_STREQ(vst_path(nullptr), "");
    vst_unload(nullptr);
}

TEST(VstLoad, SetUpAndShutDownRunInOrderWithTheLoadsRateAndBlock)
{
    VstMockLib mock("vst_mock.so");
    VstPlugin* p = mock.load(nullptr, 0, 96000.0f, 512);
    ASSERT_NE(p, nullptr);
    // Asked inside the entry point, before the effect belongs to a plug-in record.
    EXPECT_EQ(mock.stats().entry_rate, 96000);
    EXPECT_EQ(mock.stats().entry_block, 512);
    EXPECT_EQ(mock.stats().entry_version, 2400);
    for (int op : {VST_EFF_OPEN, VST_EFF_SET_SAMPLE_RATE, VST_EFF_SET_BLOCK_SIZE, VST_EFF_MAINS_CHANGED,
                   VST_EFF_START_PROCESS, VST_EFF_GET_EFFECT_NAME})
        EXPECT_EQ(mock.calls(op), 1) << "opcode " << op;
    EXPECT_EQ(mock.calls(VST_EFF_STOP_PROCESS), 0);

    VstPlugin* q = mock.load(nullptr, 0, 44100.0f, 4096);
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(mock.stats().entry_rate, 44100);
    EXPECT_EQ(mock.stats().entry_block, 4096);

    vst_unload(p);
    vst_unload(q);
    EXPECT_EQ(mock.calls(VST_EFF_STOP_PROCESS), 2);
    EXPECT_EQ(mock.calls(VST_EFF_MAINS_CHANGED), 4);   // on, on, off, off
    EXPECT_EQ(mock.calls(VST_EFF_CLOSE), 2);
    EXPECT_EQ(mock.stats().alive.load(), 0);
}
