// A plug-in runs in place on the bus: its channel counts decide what it reads and
// what comes back, MIDI from the UI reaches it in blocks of 64, and it is told the
// time it asks for.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "audio/vst.h"
#include "vst_test_support.h"

namespace {

struct Bus {
    std::vector<float> left, right;
    explicit Bus(int frames, float l = 0.2f, float r = -0.4f) : left((size_t)frames, l), right((size_t)frames, r) {}
};

}   // namespace

TEST(VstProcess, OutputsReachTheBusByTheDeclaredChannelCounts)
{
    VstMockLib mock("vst_mock.so");
    const int n = 256;

    // Stereo in and out.
    VstPlugin* p = mock.load();
    ASSERT_NE(p, nullptr);
    Bus bus(n);
    vst_process(p, bus.left.data(), bus.right.data(), n);
    EXPECT_FLOAT_EQ(bus.left[10], 0.1f);
    EXPECT_FLOAT_EQ(bus.right[10], -0.2f);
    // A block longer than the load's block size passes unchanged.
    std::vector<float> big_l(8192, 0.3f), big_r(8192, 0.3f);
    vst_process(p, big_l.data(), big_r.data(), 8192);
    EXPECT_EQ(big_l[0], 0.3f);
    vst_unload(p);

    // One input, one output: the right input is not read and the one output goes
    // to both sides.
    mock.config().inputs = 1;
    mock.config().outputs = 1;
    p = mock.load();
    ASSERT_NE(p, nullptr);
    Bus mono(n);
    vst_process(p, mono.left.data(), mono.right.data(), n);
    EXPECT_FLOAT_EQ(mono.left[5], 0.1f);
    EXPECT_FLOAT_EQ(mono.right[5], 0.1f);
    vst_unload(p);

    // No outputs: the bus stays as it was.
    mock.config().outputs = 0;
    p = mock.load();
    ASSERT_NE(p, nullptr);
    Bus none(n);
    vst_process(p, none.left.data(), none.right.data(), n);
    EXPECT_EQ(none.left[0], 0.2f);
    EXPECT_EQ(none.right[0], -0.4f);
    EXPECT_EQ(mock.stats().process_calls.load(), 3);
    vst_unload(p);

    vst_process(nullptr, none.left.data(), none.right.data(), n);
}

TEST(VstProcess, PluginsWithManyChannelsGetPointerArraysOfTheirSize)
{
    // 16 inputs and 18 outputs: the plug-in reads and writes every pointer it
    // declares (a host with arrays of 8 overruns them; the sanitizer sees it).
    VstMockLib mock("vst_mock.so");
    mock.config().inputs = 16;
    mock.config().outputs = 18;
    VstPlugin* p = mock.load();
    ASSERT_NE(p, nullptr);
    Bus bus(128);
    vst_process(p, bus.left.data(), bus.right.data(), 128);
    EXPECT_EQ(mock.stats().input_pointers_seen, 16);
    EXPECT_FLOAT_EQ(bus.left[0], 0.1f);
    EXPECT_FLOAT_EQ(bus.right[0], -0.2f);
    vst_unload(p);

    // Counts that grow when the plug-in is opened are honoured too.
    mock.config().inputs = 2;
    mock.config().outputs = 2;
    mock.config().outputs_after_open = 24;
    p = mock.load();
    ASSERT_NE(p, nullptr);
    vst_process(p, bus.left.data(), bus.right.data(), 128);
    EXPECT_EQ(mock.stats().process_calls.load(), 2);
    vst_unload(p);
}

TEST(VstProcess, AnInstrumentWithoutInputsIsFedSilenceOnAllEight)
{
    // Declares no inputs, reads eight anyway and writes into them: every block it
    // must find silence again.
    VstMockLib mock("vst_mock.so");
    mock.config().inputs = 0;
    mock.config().outputs = 2;
    mock.config().undeclared_inputs = 8;
    mock.config().flags |= VST_FLAG_IS_SYNTH;
    VstPlugin* p = mock.load();
    ASSERT_NE(p, nullptr);
    for (int block = 0; block < 2; block++) {
        Bus bus(64, 0.5f, 0.5f);
        vst_process(p, bus.left.data(), bus.right.data(), 64);
        EXPECT_EQ(bus.left[0], 0.0f) << "block " << block;
        EXPECT_EQ(bus.right[63], 0.0f) << "block " << block;
    }
    vst_unload(p);
}

TEST(VstProcess, NonFiniteOutputBecomesSilence)
{
    VstMockLib mock("vst_mock.so");
    mock.config().nan_output = true;
    VstPlugin* p = mock.load();
    ASSERT_NE(p, nullptr);
    Bus bus(64);
    vst_process(p, bus.left.data(), bus.right.data(), 64);
    for (int i = 0; i < 64; i++) {
        ASSERT_EQ(bus.left[(size_t)i], 0.0f);
        ASSERT_EQ(bus.right[(size_t)i], 0.0f);
    }
    vst_unload(p);
}

TEST(VstMidi, TheRingKeeps255AndBlocksDeliver64AtATime)
{
    VstMockLib mock("vst_mock_main.so");
    mock.config().inputs = 0;
    mock.config().flags |= VST_FLAG_IS_SYNTH;
    VstPlugin* p = mock.load();
    ASSERT_NE(p, nullptr);

    int kept = 0;
    for (int i = 0; i < 300; i++)
        kept += vst_midi_push(p, 0xB0, (uint8_t)(i & 0x7f), 5) ? 1 : 0;
    EXPECT_EQ(kept, 255);
    Bus bus(32);
    for (int block = 0; block < 5; block++)
        vst_process(p, bus.left.data(), bus.right.data(), 32);
    VstMockStats& st = mock.stats();
    ASSERT_EQ(st.event_calls, 4);   // nothing is sent for an empty ring
    EXPECT_EQ(st.events_per_call[0], 64);
    EXPECT_EQ(st.events_per_call[1], 64);
    EXPECT_EQ(st.events_per_call[2], 64);
    EXPECT_EQ(st.events_per_call[3], 63);
    EXPECT_EQ(st.last_midi[0], 0xB0);
    EXPECT_EQ(st.last_midi[1], 254 & 0x7f);
    EXPECT_EQ(st.last_midi[2], 5);
    EXPECT_EQ(st.last_delta, 0);

    // The ring is usable again once drained; a note sounds on both sides.
    EXPECT_TRUE(vst_midi_push(p, 0x90, 60, 100));
    vst_process(p, bus.left.data(), bus.right.data(), 32);
    EXPECT_FLOAT_EQ(bus.left[0], 0.25f);
    EXPECT_FLOAT_EQ(bus.right[31], 0.25f);
    EXPECT_TRUE(vst_midi_push(p, 0x80, 60, 0));
    vst_process(p, bus.left.data(), bus.right.data(), 32);
    EXPECT_EQ(bus.left[0], 0.0f);
    vst_unload(p);

    EXPECT_FALSE(vst_midi_push(nullptr, 0x90, 60, 100));
}

TEST(VstHost, CallbackAnswersAndTimeInformation)
{
    char text[VST_STRING_MAX] = {};
    EXPECT_EQ(vst_host_callback(nullptr, VST_HOST_VERSION, 0, 0, nullptr, 0.0f), 2400);
    EXPECT_EQ(vst_host_callback(nullptr, VST_HOST_GET_VENDOR_STRING, 0, 0, text, 0.0f), 1);
    EXPECT_STREQ(text, "tidecoil");
    EXPECT_EQ(vst_host_callback(nullptr, VST_HOST_GET_PRODUCT_STRING, 0, 0, text, 0.0f), 1);
    EXPECT_STREQ(text, "tessel");
    for (const char* yes : {"sendVstEvents", "sendVstMidiEvent", "sizeWindow"})
        EXPECT_EQ(vst_host_callback(nullptr, VST_HOST_CAN_DO, 0, 0, (void*)yes, 0.0f), 1) << yes;
    EXPECT_EQ(vst_host_callback(nullptr, VST_HOST_CAN_DO, 0, 0, (void*)"offline", 0.0f), 0);
    EXPECT_EQ(vst_host_callback(nullptr, VST_HOST_CAN_DO, 0, 0, nullptr, 0.0f), 0);
    // Without a plug-in there is no time record to give.
    EXPECT_EQ(vst_host_callback(nullptr, VST_HOST_GET_TIME, 0, 0, nullptr, 0.0f), 0);

    // Asked on every block: the position before the block, 120 BPM in 4/4, playing.
    VstMockLib mock("vst_mock.so");
    mock.config().ask_time = true;
    VstPlugin* p = mock.load(nullptr, 0, 48000.0f, 4096);
    ASSERT_NE(p, nullptr);
    Bus bus(256);
    for (int block = 0; block < 3; block++)
        vst_process(p, bus.left.data(), bus.right.data(), 256);
    VstMockStats& st = mock.stats();
    EXPECT_EQ(st.time_requests, 3);
    EXPECT_EQ(st.last_time.sample_pos, 512.0);
    EXPECT_EQ(st.last_time.sample_rate, 48000.0);
    EXPECT_DOUBLE_EQ(st.last_time.ppq_pos, 512.0 / 48000.0 * 2.0);
    EXPECT_EQ(st.last_time.tempo, 120.0);
    EXPECT_EQ(st.last_time.time_sig_numerator, 4);
    EXPECT_EQ(st.last_time.time_sig_denominator, 4);
    EXPECT_EQ(st.last_time.flags, 1026);
    vst_unload(p);
}
