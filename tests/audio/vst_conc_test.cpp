// Plug-ins in the running callback: a note from the UI thread sounds in the output,
// retiring a plug-in never unloads it while the audio thread is inside it (however
// long its processing takes), a plug-in the callback never lets go of is left loaded,
// and the MIDI ring hands every message across threads.
// The mock plug-in is linked in, so the thread sanitizer sees inside it too.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

#include "audio/engine.h"
#include "audio/engine_retire.h"
#include "audio/vst.h"
#include "platform/plat_time.h"
#include "support/test_wait.h"
#include "support/fake_audio.h"
#include "vst_mock_impl.h"

namespace {

const int kFrames = 256;

// An engine on the scripted audio library with one output device, started, so that
// the retire handshake sees a running stream. The test pumps the callback itself or
// lets a thread of its own pump it as an audio thread would.
struct PumpedEngine {
    Engine* e = nullptr;
    std::thread audio;
    std::atomic<bool> stop{false};
    std::vector<float> out = std::vector<float>(2 * kFrames, 0.0f);

    PumpedEngine()
    {
        fake_audio_reset();
        FakeAudio& fa = fake_audio();
        fa.apis = {{8 /* ALSA */, "ALSA", -1, 0}};
        fa.devices = {{"Speakers", 0, 0, 2, 48000.0, 0.005, 0.005}};
        fa.default_output = 0;
        engine_use_backend(fake_audio_backend(), nullptr);
        e = new Engine();
        EXPECT_TRUE(engine_init(e));
        EXPECT_TRUE(engine_start(e)) << e->error_text;
    }
    void run_audio_thread()
    {
        audio = std::thread([this] {
            std::vector<float> buf(2 * kFrames);
            while (!stop.load())
                fake_audio_pump(nullptr, buf.data(), kFrames);
        });
    }
    ~PumpedEngine()
    {
        stop.store(true);
        if (audio.joinable())
            audio.join();
        engine_retire_plugin(e, &e->instrument);
        for (FxSlot& s : e->slots)
            engine_retire_plugin(e, &s.plugin);
        engine_shutdown(e);
        delete e;
        engine_use_backend(nullptr, nullptr);
    }
};

VstPlugin* load_mock(const char* name)
{
    char err[128] = {};
    VstPlugin* p = vst_load_entry(name, vst_mock_entry, 48000.0f, 4096, err, sizeof err);
    EXPECT_NE(p, nullptr) << err;
    return p;
}

// The mock as an instrument without inputs, published as the engine's instrument.
VstPlugin* publish_mock_synth(PumpedEngine& pe)
{
    vst_mock_reset();
    g_vst_mock.config.inputs = 0;
    g_vst_mock.config.flags = VST_FLAG_CAN_REPLACE | VST_FLAG_IS_SYNTH;
    VstPlugin* synth = load_mock("synth");
    if (synth)
        engine_publish_plugin(pe.e, &pe.e->instrument, synth);
    return synth;
}

bool wait_for(const std::atomic<int32_t>& value, int want)
{
    double deadline = plat_time_seconds() + TEST_WAIT_SECONDS;
    while (value.load() != want)
        if (plat_time_seconds() > deadline)
            return false;
        else
            plat_sleep_ms(1);
    return true;
}

}   // namespace

TEST(VstEngine, ANoteFromTheUiSoundsInTheCallbacksOutput)
{
    PumpedEngine pe;
    VstPlugin* synth = publish_mock_synth(pe);
    ASSERT_NE(synth, nullptr);
    fake_audio_pump(nullptr, pe.out.data(), kFrames);
    EXPECT_EQ(pe.out[100], 0.0f);
    ASSERT_TRUE(vst_midi_push(synth, 0x90, 64, 100));
    fake_audio_pump(nullptr, pe.out.data(), kFrames);
    EXPECT_GT(pe.out[100], 0.1f);   // left
    EXPECT_GT(pe.out[101], 0.1f);   // right
    EXPECT_TRUE(engine_retire_plugin_within(pe.e, &pe.e->instrument, TEST_WAIT_SECONDS * 1000));
    EXPECT_EQ(pe.e->instrument.load(), nullptr);
    EXPECT_EQ(g_vst_mock.stats.alive.load(), 0);
}

TEST(VstEngine, RetireWaitsForTheAudioThreadToLeaveThePlugin)
{
    vst_mock_reset();
    PumpedEngine pe;
    pe.run_audio_thread();

    // Processing takes 60 ms: longer than any fixed wait shorter than a block.
    g_vst_mock.config.sleep_ms.store(60);
    VstPlugin* slow = load_mock("slow");
    ASSERT_NE(slow, nullptr);
    engine_publish_plugin(pe.e, &pe.e->instrument, slow);
    ASSERT_TRUE(wait_for(g_vst_mock.stats.in_process, 1));
    EXPECT_TRUE(engine_retire_plugin_within(pe.e, &pe.e->instrument, TEST_WAIT_SECONDS * 1000));
    EXPECT_EQ(g_vst_mock.stats.closed_while_processing.load(), 0);
    EXPECT_EQ(g_vst_mock.stats.alive.load(), 0);

    // Many short rounds through the slots and the instrument, retired at any moment.
    for (int round = 0; round < 40; round++) {
        g_vst_mock.config.sleep_ms.store(round % 3);
        std::atomic<VstPlugin*>* field = round % 5 == 0 ? &pe.e->instrument : &pe.e->slots[round % 4].plugin;
        VstPlugin* p = load_mock("busy");
        ASSERT_NE(p, nullptr);
        engine_publish_plugin(pe.e, field, p);
        plat_sleep_ms(round % 4);
        ASSERT_TRUE(engine_retire_plugin_within(pe.e, field, TEST_WAIT_SECONDS * 1000));
    }
    EXPECT_EQ(g_vst_mock.stats.closed_while_processing.load(), 0);
    EXPECT_EQ(g_vst_mock.stats.alive.load(), 0);
}

TEST(VstEngine, APluginTheCallbackNeverLeavesIsLeftLoaded)
{
    vst_mock_reset();
    PumpedEngine pe;
    pe.run_audio_thread();
    g_vst_mock.config.hold.store(true);
    VstPlugin* stuck = load_mock("stuck");
    ASSERT_NE(stuck, nullptr);
    engine_publish_plugin(pe.e, &pe.e->slots[0].plugin, stuck);
    ASSERT_TRUE(wait_for(g_vst_mock.stats.in_process, 1));

    EXPECT_FALSE(engine_retire_plugin_within(pe.e, &pe.e->slots[0].plugin, 100));
    EXPECT_EQ(pe.e->slots[0].plugin.load(), nullptr);
    EXPECT_EQ(g_vst_mock.stats.alive.load(), 1);
    EXPECT_EQ(g_vst_mock.stats.closed_while_processing.load(), 0);

    // Once the audio thread is back, the test unloads what the engine left.
    g_vst_mock.config.hold.store(false);
    ASSERT_TRUE(engine_wait_blocks_passed(pe.e, TEST_WAIT_SECONDS * 1000));
    vst_unload(stuck);
    EXPECT_EQ(g_vst_mock.stats.alive.load(), 0);
}

TEST(VstEngine, EveryMidiMessageCrossesToTheAudioThread)
{
    PumpedEngine pe;
    VstPlugin* synth = publish_mock_synth(pe);
    ASSERT_NE(synth, nullptr);
    pe.run_audio_thread();

    const int total = 3000;
    for (int i = 0; i < total; i++) {
        uint8_t status = i % 2 ? 0x80 : 0x90;
        while (!vst_midi_push(synth, status, (uint8_t)(i / 2 % 128), 100))
            std::this_thread::yield();
    }
    EXPECT_TRUE(wait_for(g_vst_mock.stats.midi_events, total));
    EXPECT_TRUE(engine_retire_plugin_within(pe.e, &pe.e->instrument, TEST_WAIT_SECONDS * 1000));
    EXPECT_EQ(g_vst_mock.stats.last_midi[0], 0x80);
    EXPECT_EQ(g_vst_mock.stats.last_midi[1], (total - 1) / 2 % 128);
}

TEST(VstEngine, TimeAskedByAnEditorThreadWhileTheAudioThreadAsksIsConsistent)
{
    // The plug-in asks for the time in every block on the audio thread while its
    // editor thread asks too: each gets a whole record of its own, no data race.
    vst_mock_reset();
    g_vst_mock.config.ask_time = true;
    PumpedEngine pe;
    VstPlugin* p = load_mock("timed");
    ASSERT_NE(p, nullptr);
    AEffect* fx = g_vst_mock.stats.last_effect;
    engine_publish_plugin(pe.e, &pe.e->slots[0].plugin, p);
    pe.run_audio_thread();

    int bad = 0, asked = 0;
    const int32_t calls_before = g_vst_mock.stats.process_calls.load();
    std::thread editor([&] {
        double last = -1.0;
        for (; asked < 3000 || g_vst_mock.stats.process_calls.load() < calls_before + 20; asked++) {
            const VstTimeInfo* t = (const VstTimeInfo*)g_vst_mock_host(fx, VST_HOST_GET_TIME, 0, 0, nullptr, 0.0f);
            if (!t) {
                bad++;
                continue;
            }
            VstTimeInfo seen = *t;
            bad += seen.sample_rate != 48000.0 || seen.ppq_pos != seen.sample_pos / 48000.0 * 2.0 ||
                   seen.tempo != 120.0 || seen.flags != (VST_TIME_TRANSPORT_PLAYING | VST_TIME_TEMPO_VALID) ||
                   seen.sample_pos < last || std::fmod(seen.sample_pos, kFrames) != 0.0;
            last = seen.sample_pos;
        }
    });
    editor.join();
    pe.stop.store(true);
    pe.audio.join();
    EXPECT_EQ(bad, 0) << "of " << asked;
    const VstTimeInfo& heard = g_vst_mock.stats.last_time;   // the audio thread's last answer
    EXPECT_EQ(heard.sample_rate, 48000.0);
    EXPECT_EQ(heard.ppq_pos, heard.sample_pos / 48000.0 * 2.0);
    EXPECT_GE(g_vst_mock.stats.time_requests, 20);   // at least the 20 blocks the editor waited for
}
